// The trend window's drawing, its timing and its exports.
#include "ui/TrendWindow.h"

#include <QDateTime>
#include <QDir>
#include <QPixmap>
#include <QSaveFile>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <cmath>

#include "records/Csv.h"
#include "trend/CsvRows.h"
#include "trend/Decimator.h"
#include "trend/TimeTicks.h"
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

QString timeFormat(qint64 stepMs, qint64 spanMs)
{
    if (stepMs < 60 * 1000)
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
// redraws are never closer than that, however late the event loop runs.
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
    const qint64 wait = m_dirty ? kRedrawIntervalMs : newIntervalMs();
    if ((m_dirty || m_newer) && (!m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= wait))
        redraw();
    if (isVisible())
        m_look.start(int(m_dirty ? kRedrawIntervalMs : lookIntervalMs() + kFedSlackMs));
}

// A look that is (nearly) due runs in the wake-up that brought the
// readings, so that while readings come the timer adds none of its own.
void TrendWindow::historyFed()
{
    if (!isVisible() || m_dirty)
        return; // a redraw is armed for its time
    if (!m_sinceLook.isValid() || m_sinceLook.elapsed() >= lookIntervalMs() - kFedSlackMs)
        look();
}

qint64 TrendWindow::newIntervalMs() const
{
    const int pixels = qMax(50, int(m_chart->plotArea().width()));
    return qBound<qint64>(kRedrawIntervalMs, m_spanMs / pixels, kMaxNewWaitMs);
}

qint64 TrendWindow::lookIntervalMs() const
{
    return qMin<qint64>(newIntervalMs(), kStatsIntervalMs);
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

    // Each change of an axis has Qt Charts rebuild the path of every line on
    // it: the lines are emptied first and filled last, so each is built once.
    for (Plot &p : m_plots)
        for (QLineSeries *line : p.lines)
            if (line->count() > 0)
                line->clear();
    const qint64 to = visibleToMs();
    const qint64 from = to - m_spanMs;
    m_toMs = to;
    m_place = false;
    setTimeAxis(from, to);
    std::array<QVector<QVector<QPointF>>, movra::trend::kQuantityCount> lines;
    std::array<QVector<QPointF>, movra::trend::kQuantityCount> marks;
    for (Quantity q : movra::trend::kQuantities)
        preparePlot(q, from, to, &lines[size_t(q)], &marks[size_t(q)]);
    for (Quantity q : movra::trend::kQuantities) {
        showLines(q, lines[size_t(q)]);
        m_plots[size_t(q)].outside->replace(marks[size_t(q)]);
    }
    m_stability->showVerdicts(m_history);
    ++m_redraws;
    emit redrawn();
}

void TrendWindow::setTimeAxis(qint64 from, qint64 to)
{
    const int pixels = qMax(50, int(m_chart->plotArea().width()));
    const QFontMetrics metrics(m_time->labelsFont());
    const int label = metrics.horizontalAdvance(QStringLiteral("00:00:00")) + kTickGapPx;
    const qint64 step = movra::trend::tickStepMs(to - from, qMax(2, pixels / label));
    const qint64 offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(from).offsetFromUtc()) * 1000;
    const QVector<qint64> ticks = movra::trend::timeTicks(from, to, step, offsetMs);
    const QString format = timeFormat(step, to - from);
    for (const QString &old : m_time->categoriesLabels())
        m_time->remove(old);
    m_time->setRange(double(from), double(to));
    m_time->setStartValue(double(from));
    m_ticks.clear();
    for (qint64 t : ticks) {
        if (t > from) { // a category ends after its start
            m_time->append(QDateTime::fromMSecsSinceEpoch(t).toString(format), double(t));
            m_ticks.append(t);
        }
    }
}

// One line for each run of readings. Lines are added as more runs show,
// and kept empty when fewer do; only the first has a legend entry.
void TrendWindow::showLines(Quantity q, const QVector<QVector<QPointF>> &runs)
{
    Plot &p = m_plots[size_t(q)];
    bool added = false;
    while (p.lines.size() < runs.size()) {
        auto *line = new QLineSeries;
        line->setPen(p.pen);
        attach(line, p);
        setLegendShown(m_chart, line, false);
        p.lines.append(line);
        added = true;
    }
    if (added) {
        // The out-of-band marks stay on top of the lines.
        m_chart->removeSeries(p.outside);
        attach(p.outside, p);
        setLegendShown(m_chart, p.outside, m_bands[size_t(q)].enabled);
    }
    for (int i = 0; i < p.lines.size(); ++i) {
        QLineSeries *line = p.lines.at(i);
        const QVector<QPointF> run = runs.value(i);
        // A lone reading has no line to show it: a dot does.
        const bool lone = run.size() == 1;
        if (line->pointsVisible() != lone) {
            QPen pen = p.pen;
            pen.setWidth(lone ? 4 : 1);
            line->setPen(pen);
            line->setPointsVisible(lone);
        }
        if (!run.isEmpty())
            line->replace(run);
    }
}

QVector<QVector<QPointF>> TrendWindow::shownLines(Quantity q) const
{
    QVector<QVector<QPointF>> shown;
    for (const QLineSeries *line : m_plots[size_t(q)].lines)
        if (line->count() > 0)
            shown.append(line->pointsVector());
    return shown;
}

// The lines' and the markers' points; the band and the value axis are set
// here.
void TrendWindow::preparePlot(Quantity q, qint64 from, qint64 to, QVector<QVector<QPointF>> *lines,
                              QVector<QPointF> *marks)
{
    const TrendSeries &s = m_history.series(q);
    const movra::trend::Band &band = m_bands[size_t(q)];
    Plot &p = m_plots[size_t(q)];
    const int first = s.lowerBound(from);
    const int end = s.upperBound(to);
    // About two points per pixel: each bucket keeps its lowest and highest.
    const int buckets = qMax(50, int(m_chart->plotArea().width()));

    // One point beyond each edge, so the lines run to the plot's borders.
    *lines = movra::trend::decimateRuns(s, first - 1, end + 1, from, to, buckets);

    Extent extent;
    for (const QVector<QPointF> &line : *lines)
        for (const QPointF &pt : line)
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
        p.band->upperSeries()->replace(edge(band.upper()));
        p.band->lowerSeries()->replace(edge(band.lower()));
        extent.take(band.lower());
        extent.take(band.upper());
        // Each marker is an item of its own to Qt Charts: one per
        // kMarkerSpacingPx pixels at most.
        *marks =
            movra::trend::outsideBand(s, first, end, band, from, to, buckets / kMarkerSpacingPx);
    }

    // Without readings, the usual room; with them, some room around them,
    // so a tenth of noise does not fill the plot's height.
    const bool temperature = q == Quantity::Temperature;
    const double minPad = temperature ? 0.5 : 2.0;
    const double pad = extent.empty() ? 0.0 : qMax(minPad, 0.1 * (extent.high - extent.low));
    const Scale scale = extent.empty() ? niceScale(0.0, temperature ? 40.0 : 100.0)
                                       : niceScale(extent.low - pad, extent.high + pad);
    // Every change lays out the axis' labels again: only real ones are made.
    if (p.axis->min() != scale.low || p.axis->max() != scale.high)
        p.axis->setRange(scale.low, scale.high);
    if (p.axis->tickCount() != scale.ticks)
        p.axis->setTickCount(scale.ticks);
}

void TrendWindow::exportPngAsked()
{
    const QString path = m_fileName(this, tr("导出图片"), tr("趋势.png"), tr("PNG 图片 (*.png)"));
    if (!path.isEmpty())
        exportPng(path);
}

void TrendWindow::exportCsvAsked()
{
    const QString path = m_fileName(this, tr("导出 CSV"), tr("趋势.csv"), tr("CSV 文件 (*.csv)"));
    if (!path.isEmpty())
        exportCsv(path);
}

bool TrendWindow::exportPng(const QString &path)
{
    redraw();
    const QPixmap picture = m_view->grab();
    QSaveFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly) && picture.save(&file, "PNG") && file.commit();
    status(ok ? tr("已导出图片：%1").arg(QDir::toNativeSeparators(path))
              : tr("无法写入 %1").arg(QDir::toNativeSeparators(path)));
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
    status(ok ? tr("已导出 CSV：%1").arg(QDir::toNativeSeparators(path))
              : tr("无法写入 %1").arg(QDir::toNativeSeparators(path)));
    return ok;
}
