// "趋势与统计": both quantities over time with their bands, the stability
// verdicts and the link statistics. Non-modal.
//
// It reads a TrendHistory that the caller feeds and owns; feeding it never
// touches the window. While shown, the window looks at the history every
// 250 ms: the verdicts follow every new reading, the chart redraws only when
// new readings would change what it shows, never more than four times a
// second, so a burst of readings costs one redraw. A redraw costs
// milliseconds (Qt Charts rebuilds and strokes every line), so steady
// readings move a followed chart only every kFollowStepPx pixels.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <QtNumeric>
#include <array>
#include <functional>

#include "engine/LinkStats.h"
#include "trend/Band.h"
#include "trend/TrendHistory.h"

class QCheckBox;
class QLabel;
class TrendChartView;

namespace QtCharts {
class QAreaSeries;
class QChart;
class QDateTimeAxis;
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
    static constexpr int kMarkerSpacingPx = 12; // at most one out-of-band mark in as many pixels
    // While following, steady readings move the chart once they have moved
    // it this far; a reading beyond what the right edge shows moves it at once.
    static constexpr int kFollowStepPx = 4;
    static constexpr qint64 kFirstSpanMs = 3600 * 1000;
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

    // Either hand over figures when they change, or let the window poll a
    // provider at each of its looks at the history.
    void setLinkStats(const movra::LinkStats &stats);
    void setLinkStatsProvider(LinkStatsProvider provider);
    void setFileNameProvider(FileNameProvider provider);

    bool follows() const { return m_follow; }
    void setFollow(bool on);
    // Stops following.
    void setVisibleRange(qint64 fromMs, qint64 toMs);
    qint64 visibleFromMs() const;
    qint64 visibleToMs() const;
    // factor > 1 zooms in around `at` (share of the plot's width); while
    // following, the newest reading stays at the right edge.
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
    int redrawCount() const { return m_redraws; }
    QtCharts::QChart *chart() const { return m_chart; }

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
        QtCharts::QLineSeries *line = nullptr;
        QtCharts::QLineSeries *bandUpper = nullptr;
        QtCharts::QLineSeries *bandLower = nullptr;
        QtCharts::QAreaSeries *band = nullptr;
        QtCharts::QScatterSeries *outside = nullptr;
        QtCharts::QValueAxis *axis = nullptr;
    };

    void buildChart();
    QWidget *buildToolBar();
    void addPlot(movra::trend::Quantity q, Qt::Alignment side);
    // What the last redraw drew of one quantity, to tell whether newer
    // readings would change anything on the screen.
    struct Drawn
    {
        quint64 first = 0; // the series' numbers at the redraw
        quint64 appended = 0;
        qint64 toMs = 0;
        double msPerPixel = 0.0;
        // The readings drawn in the last kFollowStepPx pixels; none: low > high.
        double edgeLow = qInf(), edgeHigh = -qInf();
    };

    void look();
    bool readingsWouldShow() const;
    void requestRedraw();
    void redraw();
    void preparePlot(movra::trend::Quantity q, qint64 from, qint64 to, int buckets,
                     QVector<QPointF> *line, QVector<QPointF> *marks);
    void settingsEdited(const movra::trend::StabilitySettings &settings);
    void dragStarted();
    void dragged(double fraction);
    void status(const QString &text);

    movra::trend::TrendHistory &m_history;
    QString m_stationIni;
    std::array<movra::trend::Band, movra::trend::kQuantityCount> m_bands{};
    std::array<Plot, movra::trend::kQuantityCount> m_plots{};
    std::array<Drawn, movra::trend::kQuantityCount> m_drawn{};
    LinkStatsProvider m_linkStats;
    FileNameProvider m_fileName;

    QtCharts::QChart *m_chart = nullptr;
    QtCharts::QDateTimeAxis *m_time = nullptr;
    TrendChartView *m_view = nullptr;
    QCheckBox *m_followBox = nullptr;
    movra::trendui::StabilityPanel *m_stability = nullptr;
    movra::trendui::LinkStatsPanel *m_linkPanel = nullptr;
    QLabel *m_status = nullptr;

    bool m_follow = true;
    qint64 m_spanMs = kFirstSpanMs;
    qint64 m_toMs = 0; // right edge when not following
    qint64 m_dragFromMs = 0;

    QTimer m_look;
    QElapsedTimer m_sinceRedraw;
    bool m_dirty = true;
    quint64 m_seenRevision = ~quint64(0);
    int m_redraws = 0;
};
