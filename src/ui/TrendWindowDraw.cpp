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
// redraws are never closer than that, however late the event loop runs.
void TrendWindow::look()
{
    if (m_linkStats)
        m_linkPanel->showStats(m_linkStats());
    if (m_history.revision() != m_drawnRevision)
        m_dirty = true;
    if (m_dirty && (!m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= kRedrawIntervalMs))
        redraw();
    if (isVisible())
        m_look.start(kRedrawIntervalMs);
}

// A change made by the operator shows at once, unless the chart was drawn
// less than an interval ago; then the next look draws it.
void TrendWindow::requestRedraw()
{
    m_dirty = true;
    if (isVisible() && (!m_sinceRedraw.isValid() || m_sinceRedraw.elapsed() >= kRedrawIntervalMs))
        redraw();
}

void TrendWindow::redrawNow()
{
    redraw();
}

void TrendWindow::redraw()
{
    m_sinceRedraw.start();
    m_dirty = false;
    m_drawnRevision = m_history.revision();

    const qint64 to = visibleToMs();
    const qint64 from = to - m_spanMs;
    m_time->setFormat(timeFormat(m_spanMs));
    m_time->setRange(QDateTime::fromMSecsSinceEpoch(from), QDateTime::fromMSecsSinceEpoch(to));
    // About two points per pixel: each bucket keeps its lowest and highest.
    const int buckets = qMax(50, int(m_chart->plotArea().width()));
    for (Quantity q : movra::trend::kQuantities)
        drawPlot(q, from, to, buckets);
    m_stability->showVerdicts(m_history);
    ++m_redraws;
    emit redrawn();
}

void TrendWindow::drawPlot(Quantity q, qint64 from, qint64 to, int buckets)
{
    const TrendSeries &s = m_history.series(q);
    const movra::trend::Band &band = m_bands[size_t(q)];
    Plot &p = m_plots[size_t(q)];
    const int first = s.lowerBound(from);
    const int end = s.upperBound(to);

    // One point beyond each edge, so the line runs to the plot's borders.
    const QVector<QPointF> points =
        movra::trend::decimate(s, first - 1, end + 1, from, to, buckets);
    p.line->replace(points);

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
        movra::trend::Decimator outside(from, to, buckets);
        for (int i = first; i < end; ++i)
            if (band.marks(double(s.valueAt(i))))
                outside.add(s.timeAt(i), double(s.valueAt(i)));
        p.outside->replace(outside.finish());
    } else {
        p.outside->clear();
    }

    // Without readings, the usual room; with them, never closer than about
    // the verdict's bands, so noise does not fill the plot's height.
    const bool temperature = q == Quantity::Temperature;
    const double minPad = temperature ? 0.5 : 2.0;
    if (extent.empty()) {
        p.axis->setRange(0.0, temperature ? 40.0 : 100.0);
    } else {
        const double pad = qMax(minPad, 0.1 * (extent.high - extent.low));
        p.axis->setRange(extent.low - pad, extent.high + pad);
        p.axis->applyNiceNumbers();
    }
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
    const bool ok = file.open(QIODevice::WriteOnly) &&
                    movra::trend::writeCsv(file, movra::trend::csvRows(m_history)) && file.commit();
    status(ok ? QStringLiteral("已导出 CSV：%1").arg(QDir::toNativeSeparators(path))
              : QStringLiteral("无法写入 %1").arg(QDir::toNativeSeparators(path)));
    return ok;
}
