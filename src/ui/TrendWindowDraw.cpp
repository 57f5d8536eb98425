// The trend window's drawing, its timing and its exports.
#include "ui/TrendWindow.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QPixmap>
#include <QSaveFile>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "records/Csv.h"
#include "trend/CsvRows.h"
#include "trend/Decimator.h"
#include "ui/TrendChartView.h"
#include "ui/TrendWindowParts.h"

using namespace QtCharts;
using movra::trend::Quantity;
using movra::trend::TrendSeries;

namespace {

struct Extent
{
    double low = qInf();
    double high = -qInf();
    void take(double v)
    {
        low = qMin(low, v);
        high = qMax(high, v);
    }
    bool empty() const { return low > high; }
};

void setLegendShown(QChart *chart, QAbstractSeries *series, bool shown)
{
    for (QLegendMarker *m : chart->legend()->markers(series))
        m->setVisible(shown);
}

struct Scale
{
    double low, high;
    int ticks;
};

// Ends and ticks on steps of 1, 2 or 5 times a power of ten, four to six
// intervals in all.
Scale niceScale(double low, double high)
{
    const double span = qMax(high - low, 1e-6);
    const double power = std::pow(10.0, std::floor(std::log10(span / 5.0)));
    double step = power;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * power;
        if (span / step <= 5.0)
            break;
    }
    const double niceLow = std::floor(low / step) * step;
    const double niceHigh = std::ceil(high / step) * step;
    return {niceLow, niceHigh, int(std::lround((niceHigh - niceLow) / step)) + 1};
}

QString timeFormat(qint64 spanMs)
{
    if (spanMs <= 10 * 60 * 1000)
        return QStringLiteral("HH:mm:ss");
    if (spanMs <= 20LL * 3600 * 1000)
        return QStringLiteral("HH:mm");
    return QStringLiteral("MM-dd HH:mm");
}

} // namespace

void TrendWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_dirty = true;
    look();
}

void TrendWindow::hideEvent(QHideEvent *event)
{
    m_look.stop();
    QWidget::hideEvent(event);
}

void TrendWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    requestRedraw();
}

// Each look starts the next one a full interval after it ends, so two
// changes of the chart are never closer than that, however late the event
// loop runs. Each look wakes the whole program, which costs about as much
// as a small repaint: a look comes as often as the chart could move by a
// pixel, and once a second for the verdicts and the link statistics.
void TrendWindow::look()
{
    m_sinceLook.start();
    // A request and its reply change them twice a second.
    if (m_linkStats && (!m_sinceStats.isValid() ||
                        m_sinceStats.elapsed() >= kStatsIntervalMs - kRedrawIntervalMs / 2)) {
        m_sinceStats.start();
        m_linkPanel->showStats(m_linkStats());
    }
    if (m_history.revision() != m_seenRevision) {
        m_seenRevision = m_history.revision();
        m_stability->showVerdicts(m_history);
        m_newer = true;
    }
    const qint64 wait = m_dirty ? kRedrawIntervalMs : tailIntervalMs();
    if ((m_dirty || m_newer) && (!m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= wait)) {
        if (m_dirty || !extend())
            redraw();
    }
    if (isVisible())
        m_look.start(int(m_dirty ? kRedrawIntervalMs : lookIntervalMs() + kFedSlackMs));
}

// Readings come in a wake-up of their own: a look that is (nearly) due runs
// in it, and the timer waits a little past the next reading's time, so that
// while readings come it never wakes the program by itself.
void TrendWindow::historyFed()
{
    if (!isVisible() || m_dirty)
        return; // a redraw is armed for its time
    if (!m_sinceLook.isValid() || m_sinceLook.elapsed() >= lookIntervalMs() - kFedSlackMs)
        look();
}

qint64 TrendWindow::tailIntervalMs() const
{
    const int pixels = qMax(50, int(m_chart->plotArea().width()));
    return qBound<qint64>(kRedrawIntervalMs, m_spanMs / pixels, kMaxTailWaitMs);
}

qint64 TrendWindow::lookIntervalMs() const
{
    return qMin<qint64>(tailIntervalMs(), kStatsIntervalMs);
}

// A change made by the operator shows at once, unless the chart changed
// less than an interval ago; then a look draws it when the interval ends.
void TrendWindow::requestRedraw()
{
    m_dirty = true;
    if (!isVisible())
        return;
    const qint64 since = m_sinceRedraw.isValid() ? m_sinceRedraw.elapsed() : kRedrawIntervalMs;
    if (since >= kRedrawIntervalMs)
        redraw();
    else if (!m_look.isActive() || m_look.remainingTime() > kRedrawIntervalMs - since)
        m_look.start(int(kRedrawIntervalMs - since));
}

void TrendWindow::redrawNow()
{
    redraw();
}

void TrendWindow::redraw()
{
    m_sinceRedraw.start();
    m_dirty = false;
    m_newer = false;
    m_seenRevision = m_history.revision();

    // Each change of an axis makes Qt Charts rebuild and stroke the path of
    // every line on it: the lines are emptied first and filled last, so each
    // path is built once. The markers stay: moving them twice costs less
    // than Qt Charts deleting and making their items again.
    for (Plot &p : m_plots) {
        p.line->clear();
        if (p.tail->count() > 0)
            p.tail->clear();
    }
    const qint64 to = visibleToMs();
    const qint64 from = to - m_spanMs;
    m_toMs = to;
    m_place = false;
    m_time->setFormat(timeFormat(m_spanMs));
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    // About two points per pixel: each bucket keeps its lowest and highest.
    m_buckets = qMax(50, int(m_chart->plotArea().width()));
    m_drawnFromMs = from;
    m_drawnToMs = to;
    std::array<QVector<QPointF>, movra::trend::kQuantityCount> lines, marks;
    for (Quantity q : movra::trend::kQuantities)
        preparePlot(q, from, to, m_buckets, &lines[size_t(q)], &marks[size_t(q)]);
    for (Quantity q : movra::trend::kQuantities) {
        m_plots[size_t(q)].line->replace(lines[size_t(q)]);
        m_plots[size_t(q)].outside->replace(marks[size_t(q)]);
        setLegendShown(m_chart, m_plots[size_t(q)].tail, false);
    }
    m_stability->showVerdicts(m_history);
    ++m_redraws;
    emit redrawn();
}

// The line's and the markers' points; the band and the value axis are set
// here.
void TrendWindow::preparePlot(Quantity q, qint64 from, qint64 to, int buckets,
                              QVector<QPointF> *line, QVector<QPointF> *marks)
{
    const TrendSeries &s = m_history.series(q);
    const movra::trend::Band &band = m_bands[size_t(q)];
    Plot &p = m_plots[size_t(q)];
    const int first = s.lowerBound(from);
    const int end = s.upperBound(to);

    // One point beyond each edge, so the line runs to the plot's borders.
    *line = movra::trend::decimate(s, first - 1, end + 1, from, to, buckets);
    const QVector<QPointF> &points = *line;

    Extent extent;
    for (const QPointF &pt : points)
        if (pt.x() >= double(from) && pt.x() <= double(to))
            extent.take(pt.y());

    p.band->setVisible(band.enabled);
    p.outside->setVisible(band.enabled);
    setLegendShown(m_chart, p.band, band.enabled);
    setLegendShown(m_chart, p.outside, band.enabled);
    if (band.enabled) {
        const auto edge = [from, to](double y) {
            return QVector<QPointF>{{double(from), y}, {double(to), y}};
        };
        p.bandUpper->replace(edge(band.upper()));
        p.bandLower->replace(edge(band.lower()));
        extent.take(band.lower());
        extent.take(band.upper());
        // Each marker is an item of its own to Qt Charts, which costs far
        // more than a point of a line: one per kMarkerSpacingPx pixels.
        *marks =
            movra::trend::outsideBand(s, first, end, band, from, to, buckets / kMarkerSpacingPx);
    }
    const int drawnEnd = qMin(end + 1, s.size());
    m_drawn[size_t(q)] = Drawn{s.firstNumber(), s.firstNumber() + quint64(drawnEnd), end < s.size(),
                               int(marks->size())};

    // Without readings, the usual room; with them, some room around them,
    // so a tenth of noise does not fill the plot's height.
    const bool temperature = q == Quantity::Temperature;
    const double minPad = temperature ? 0.5 : 2.0;
    const double pad = extent.empty() ? 0.0 : qMax(minPad, 0.1 * (extent.high - extent.low));
    const Scale scale = extent.empty() ? niceScale(0.0, temperature ? 40.0 : 100.0)
                                       : niceScale(extent.low - pad, extent.high + pad);
    // Every change relays out the axis' labels: only real ones are made.
    if (p.axis->min() != scale.low || p.axis->max() != scale.high)
        p.axis->setRange(scale.low, scale.high);
    if (p.axis->tickCount() != scale.ticks)
        p.axis->setTickCount(scale.ticks);
}

// What a quantity's tail would show now: its readings since the last
// redraw, thinned on the redraw's buckets and joined to the line's end, and
// their out-of-band marks.
bool TrendWindow::tailOf(Quantity q, Tail *tail) const
{
    const TrendSeries &s = m_history.series(q);
    const Drawn &d = m_drawn[size_t(q)];
    const Plot &p = m_plots[size_t(q)];
    if (d.upTo > d.first && s.firstNumber() >= d.upTo)
        return false; // all that was drawn is gone: cleared, or outrun
    const int begin = int(qMax(d.upTo, s.firstNumber()) - s.firstNumber());
    if (d.pastEdge || begin >= s.size())
        return true; // nothing newer could show
    const qint64 from = m_drawnFromMs, to = m_drawnToMs;
    const int shownBegin = qMax(begin, s.lowerBound(from));
    const int shownEnd = s.upperBound(to);
    for (int i = shownBegin; i < shownEnd; ++i) {
        const double v = double(s.valueAt(i));
        if (v < p.axis->min() || v > p.axis->max())
            return false; // the value axis must grow
    }
    // On to the first reading past the right edge, as the line does.
    tail->line = movra::trend::decimate(s, begin, shownEnd + 1, from, to, m_buckets);
    if (tail->line.size() > 2 * m_buckets / kTailParts)
        return false;
    if (p.line->count() > 0)
        tail->line.prepend(p.line->at(p.line->count() - 1));
    tail->marks = movra::trend::outsideBand(s, shownBegin, shownEnd, m_bands[size_t(q)], from, to,
                                            m_buckets / kMarkerSpacingPx);
    return true;
}

// Shows the readings that came since the last redraw without redrawing.
// The markers change only when a reading needs a new one: each change makes
// Qt Charts move and repaint all of them. Until its bucket of the plot is
// done, a marker stays on the first reading that needed it; then it moves to
// the farthest.
bool TrendWindow::extend()
{
    m_newer = false;
    if (m_follow && m_history.newestMs() > m_drawnToMs)
        return false; // the axis moves on
    std::array<Tail, movra::trend::kQuantityCount> tails;
    for (Quantity q : movra::trend::kQuantities)
        if (!tailOf(q, &tails[size_t(q)]))
            return false;
    bool changed = false;
    for (Quantity q : movra::trend::kQuantities) {
        Plot &p = m_plots[size_t(q)];
        const Tail &t = tails[size_t(q)];
        if (t.line != p.tail->pointsVector()) {
            p.tail->replace(t.line);
            changed = true;
        }
        const int marks = m_drawn[size_t(q)].marks;
        if (t.marks.size() != p.outside->count() - marks) {
            p.outside->replace(p.outside->pointsVector().mid(0, marks) + t.marks);
            changed = true;
        }
    }
    if (changed) {
        m_sinceRedraw.start();
        ++m_extends;
        emit extended();
    }
    return true;
}

void TrendWindow::exportPngAsked()
{
    const QString path = m_fileName(this, QStringLiteral("导出图片"), QStringLiteral("趋势.png"),
                                    QStringLiteral("PNG 图片 (*.png)"));
    if (!path.isEmpty())
        exportPng(path);
}

void TrendWindow::exportCsvAsked()
{
    const QString path = m_fileName(this, QStringLiteral("导出 CSV"), QStringLiteral("趋势.csv"),
                                    QStringLiteral("CSV 文件 (*.csv)"));
    if (!path.isEmpty())
        exportCsv(path);
}

bool TrendWindow::exportPng(const QString &path)
{
    redraw();
    const QPixmap picture = m_view->grab();
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit();
    status(ok ? QStringLiteral("已导出图片：%1").arg(QDir::toNativeSeparators(path))
              : QStringLiteral("无法写入 %1").arg(QDir::toNativeSeparators(path)));
    return ok;
}

bool TrendWindow::exportCsv(const QString &path)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        const QVector<QStringList> rows = movra::trend::csvRows(m_history);
        movra::csv::Writer csv(&file);
        ok = csv.begin(rows.value(0));
        for (int i = 1; ok && i < rows.size(); ++i)
            ok = csv.write(rows.at(i));
        ok = ok && file.commit();
    }
    status(ok ? QStringLiteral("已导出 CSV：%1").arg(QDir::toNativeSeparators(path))
              : QStringLiteral("无法写入 %1").arg(QDir::toNativeSeparators(path)));
    return ok;
}
