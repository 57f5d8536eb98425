// "趋势与统计": both quantities over time with their bands, the stability
// verdicts and the link statistics. Non-modal.
//
// It reads a TrendHistory that the caller feeds and owns; feeding it never
// touches the window. While shown, the window looks at the history once a
// second, or more often when the chart could move by a pixel sooner: the
// verdicts follow the new readings, and the chart is redrawn at most once a
// look, never more than four times a second. While following, the time axis
// reaches some room past the newest reading and holds still until a reading
// passes its right edge.
#pragma once

#include <QElapsedTimer>
#include <QPen>
#include <QPointF>
#include <QTimer>
#include <QVector>
#include <QWidget>
#include <array>
#include <functional>

#include "engine/LinkStats.h"
#include "trend/Band.h"
#include "trend/TrendHistory.h"

class QCheckBox;
class QLabel;
class TrendChartView;

namespace QtCharts {
class QAbstractSeries;
class QAreaSeries;
class QCategoryAxis;
class QChart;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
} // namespace QtCharts

namespace movra::trendui {
class LinkStatsPanel;
class StabilityPanel;
} // namespace movra::trendui

class TrendWindow : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kRedrawIntervalMs = 250;
    static constexpr int kStatsIntervalMs = 1000; // and the verdicts, at the latest
    // A look runs with new readings up to this much before its time; the
    // timer waits this much past it.
    static constexpr int kFedSlackMs = 250;
    static constexpr int kMarkerSpacingPx = 12; // at most one out-of-band mark in as many pixels
    // While following, the axis reaches a twentieth of the readings' span
    // past the newest one: an hour's readings and three minutes of room.
    static constexpr qint64 kRoomParts = 20;
    static constexpr qint64 kFirstSpanMs = 3600 * 1000 * (kRoomParts + 1) / kRoomParts;
    static constexpr qint64 roomMs(qint64 spanMs) { return spanMs / (kRoomParts + 1); }
    // New readings show once a pixel's worth of time has passed since the
    // last redraw, or this long at most.
    static constexpr int kMaxNewWaitMs = 4000;
    // The time axis' labels keep this much room between them.
    static constexpr int kTickGapPx = 24;
    static constexpr qint64 kMinSpanMs = 10 * 1000;
    static constexpr qint64 kMaxSpanMs = 26LL * 3600 * 1000;

    // Asks where to save; an empty answer cancels. Same arguments as
    // QFileDialog::getSaveFileName.
    using FileNameProvider = std::function<QString(
        QWidget *parent, const QString &caption, const QString &suggested, const QString &filter)>;
    using LinkStatsProvider = std::function<movra::LinkStats()>;

    // The stability settings are read from and saved to `stationIniPath`
    // (group [trend]); an empty path keeps them in memory only.
    TrendWindow(movra::trend::TrendHistory &history, const QString &stationIniPath,
                QWidget *parent = nullptr);
    ~TrendWindow() override;

    // The qualification band of a quantity, as the main window's check has it.
    void setBand(movra::trend::Quantity q, const movra::trend::Band &band);
    movra::trend::Band band(movra::trend::Quantity q) const { return m_bands[int(q)]; }

    // The window polls the figures at each of its looks at the history.
    void setLinkStatsProvider(LinkStatsProvider provider);
    void setFileNameProvider(FileNameProvider provider);

    bool follows() const { return m_follow; }
    void setFollow(bool on);
    // Stops following.
    void setVisibleRange(qint64 fromMs, qint64 toMs);
    // The time axis' ends, as the next draw sets them.
    qint64 visibleFromMs() const;
    qint64 visibleToMs() const;
    // factor > 1 zooms in around `at` (share of the plot's width). While
    // following, the right edge stays unless that leaves more than twice
    // the usual room past the newest reading; then the newest gets its room.
    void zoom(double factor, double at);
    // By a share of the visible span; stops following.
    void pan(double fraction);
    // The last hour, following.
    void resetView();

    // False, with the reason shown in the window, when the file cannot be written.
    bool exportPng(const QString &path);
    bool exportCsv(const QString &path);

    // Draws now, whatever the timer says: before a grab, and for tests.
    void redrawNow();
    // Whoever feeds the history calls this after new readings: a look that
    // is due, or nearly, runs now instead of in a wake-up of its own.
    void historyFed();
    // How long new readings may wait to show: a pixel's worth of time, at
    // least kRedrawIntervalMs, at most kMaxNewWaitMs.
    qint64 newIntervalMs() const;
    // How often the window looks at the history while nothing waits to be
    // drawn: newIntervalMs(), at most kStatsIntervalMs.
    qint64 lookIntervalMs() const;
    int redrawCount() const { return m_redraws; }
    QtCharts::QChart *chart() const { return m_chart; }
    // The lines a quantity shows now: one for each run of readings.
    QVector<QVector<QPointF>> shownLines(movra::trend::Quantity q) const;
    // The time axis' ticks as the last redraw set them.
    QVector<qint64> timeTicks() const { return m_ticks; }

public slots:
    void exportPngAsked();
    void exportCsvAsked();

signals:
    void redrawn();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Plot
    {
        // The first carries the legend's entry; each run of readings has its own.
        QVector<QtCharts::QLineSeries *> lines;
        QtCharts::QAreaSeries *band = nullptr;
        QtCharts::QScatterSeries *outside = nullptr;
        QtCharts::QValueAxis *axis = nullptr;
        QPen pen;
    };

    void buildChart();
    QWidget *buildToolBar();
    void addPlot(movra::trend::Quantity q, Qt::Alignment side);
    void attach(QtCharts::QAbstractSeries *series, const Plot &p);

    void look();
    qint64 followedToMs() const;
    void requestRedraw();
    void redraw();
    void setTimeAxis(qint64 from, qint64 to);
    void preparePlot(movra::trend::Quantity q, qint64 from, qint64 to,
                     QVector<QVector<QPointF>> *lines, QVector<QPointF> *marks);
    void showLines(movra::trend::Quantity q, const QVector<QVector<QPointF>> &runs);
    void settingsEdited(const movra::trend::StabilitySettings &settings);
    void dragStarted();
    void dragged(double fraction);
    void status(const QString &text);

    movra::trend::TrendHistory &m_history;
    QString m_stationIni;
    std::array<movra::trend::Band, movra::trend::kQuantityCount> m_bands{};
    std::array<Plot, movra::trend::kQuantityCount> m_plots{};
    LinkStatsProvider m_linkStats;
    FileNameProvider m_fileName;

    QtCharts::QChart *m_chart = nullptr;
    QtCharts::QCategoryAxis *m_time = nullptr;
    QVector<qint64> m_ticks;
    TrendChartView *m_view = nullptr;
    QCheckBox *m_followBox = nullptr;
    movra::trendui::StabilityPanel *m_stability = nullptr;
    movra::trendui::LinkStatsPanel *m_linkPanel = nullptr;
    QLabel *m_status = nullptr;

    bool m_follow = true;
    qint64 m_spanMs = kFirstSpanMs;
    qint64 m_toMs = 0;   // right edge; while following, as last drawn
    bool m_place = true; // while following: the next draw gives the newest its room
    qint64 m_dragFromMs = 0;

    QTimer m_look;
    QElapsedTimer m_sinceRedraw;
    QElapsedTimer m_sinceStats;
    QElapsedTimer m_sinceLook;
    bool m_dirty = true;  // the view or a setting changed
    bool m_newer = false; // readings came since the last redraw
    quint64 m_seenRevision = ~quint64(0);
    int m_redraws = 0;
};
