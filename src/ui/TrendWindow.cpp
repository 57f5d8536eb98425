#include "ui/TrendWindow.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include "ui/TrendChartView.h"
#include "ui/TrendWindowParts.h"

using namespace QtCharts;
using movra::trend::Quantity;

namespace {

struct Look
{
    const char *key;
    QColor color;
};

const Look &lookOf(Quantity q)
{
    static const Look looks[] = {
        {"temperature", QColor(0xc6, 0x28, 0x28)},
        {"humidity", QColor(0x15, 0x65, 0xc0)},
    };
    return looks[int(q)];
}

QAreaSeries *makeBand(const QColor &color, const QString &key, const QString &name)
{
    auto *upper = new QLineSeries;
    auto *lower = new QLineSeries;
    auto *band = new QAreaSeries(upper, lower);
    upper->setParent(band);
    lower->setParent(band);
    band->setObjectName(key + QStringLiteral("Band"));
    band->setName(name);
    QColor fill = color;
    fill.setAlpha(40);
    band->setBrush(fill);
    QColor edge = color;
    edge.setAlpha(120);
    QPen pen(edge, 1, Qt::DashLine);
    pen.setCosmetic(true);
    band->setPen(pen);
    return band;
}

QScatterSeries *makeMarkers(const QColor &color, const QString &key, const QString &name)
{
    auto *marks = new QScatterSeries;
    marks->setObjectName(key + QStringLiteral("Outside"));
    marks->setName(name);
    marks->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    marks->setMarkerSize(9);
    marks->setColor(Qt::white);
    QPen ring(color.darker(130), 1);
    ring.setCosmetic(true);
    marks->setPen(ring);
    return marks;
}

QString defaultFileName(QWidget *parent, const QString &caption, const QString &suggested,
                        const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, caption, suggested, filter);
}

} // namespace

TrendWindow::TrendWindow(movra::trend::TrendHistory &history, const QString &stationIniPath,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_history(history), m_stationIni(stationIniPath),
      m_fileName(defaultFileName)
{
    setWindowTitle(tr("趋势与统计"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildChart();

    m_stability = new movra::trendui::StabilityPanel(this);
    m_linkPanel = new movra::trendui::LinkStatsPanel(this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("trendStatus"));

    auto *panels = new QHBoxLayout;
    panels->addWidget(m_stability, 3);
    panels->addWidget(m_linkPanel, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildToolBar());
    layout->addWidget(m_view, 1);
    layout->addLayout(panels);
    layout->addWidget(m_status);

    // The window shows what Station.ini holds, even when the caller did not
    // load it into the history at start.
    if (!m_stationIni.isEmpty()) {
        const auto saved = movra::trend::StabilitySettings::load(m_stationIni);
        if (saved != m_history.settings())
            m_history.setSettings(saved);
    }
    m_stability->showSettings(m_history.settings());
    connect(m_stability, &movra::trendui::StabilityPanel::settingsEdited, this,
            &TrendWindow::settingsEdited);

    m_look.setSingleShot(true);
    m_look.setTimerType(Qt::PreciseTimer);
    connect(&m_look, &QTimer::timeout, this, &TrendWindow::look);
    resize(1000, 720);
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::buildChart()
{
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_chart->setBackgroundRoundness(0);
    m_chart->setBackgroundBrush(Qt::white);
    // Ticks where the time is round, whatever the ends of the span.
    m_time = new QCategoryAxis(m_chart);
    m_time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    m_time->setTitleText(tr("时间"));
    m_chart->addAxis(m_time, Qt::AlignBottom);
    addPlot(Quantity::Temperature, Qt::AlignLeft);
    addPlot(Quantity::Humidity, Qt::AlignRight);
    for (QAbstractAxis *axis : m_chart->axes()) {
        QPen grid = axis->gridLinePen();
        grid.setCosmetic(true);
        axis->setGridLinePen(grid);
    }

    m_view = new TrendChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("trendChart"));
    m_view->setMinimumSize(480, 300);
    connect(m_view, &TrendChartView::zoomRequested, this, &TrendWindow::zoom);
    connect(m_view, &TrendChartView::panRequested, this, &TrendWindow::pan);
    connect(m_view, &TrendChartView::dragStarted, this, &TrendWindow::dragStarted);
    connect(m_view, &TrendChartView::dragged, this, &TrendWindow::dragged);
    connect(m_view, &TrendChartView::homeRequested, this, &TrendWindow::resetView);
}

void TrendWindow::attach(QAbstractSeries *series, const Plot &p)
{
    m_chart->addSeries(series);
    series->attachAxis(m_time);
    series->attachAxis(p.axis);
}

void TrendWindow::addPlot(Quantity q, Qt::Alignment side)
{
    const Look &look = lookOf(q);
    const QString key = QLatin1String(look.key);
    const bool temperature = q == Quantity::Temperature;
    Plot &p = m_plots[size_t(q)];

    p.axis = new QValueAxis(m_chart);
    p.axis->setTitleText(temperature ? tr("温度 (℃)") : tr("湿度 (%RH)"));
    p.axis->setLabelFormat(QStringLiteral("%.1f"));
    p.axis->setLinePenColor(look.color);
    p.axis->setLabelsColor(look.color);
    m_chart->addAxis(p.axis, side);

    // Added first, so the readings lie on top of their band.
    p.band = makeBand(look.color, key, temperature ? tr("温度参考 ± 容差") : tr("湿度参考 ± 容差"));
    // One pixel: wider pens have Qt stroke the whole path as an outline.
    p.pen = QPen(look.color, 1);
    p.pen.setCosmetic(true);
    auto *line = new QLineSeries;
    line->setObjectName(key);
    line->setName(temperature ? tr("温度") : tr("湿度"));
    line->setPen(p.pen);
    p.lines.append(line);
    p.outside = makeMarkers(look.color, key, temperature ? tr("温度超差") : tr("湿度超差"));

    for (QAbstractSeries *s : std::initializer_list<QAbstractSeries *>{p.band, line, p.outside})
        attach(s, p);
    p.band->setVisible(false);
    p.outside->setVisible(false);
}

QWidget *TrendWindow::buildToolBar()
{
    auto *bar = new QWidget(this);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    m_followBox = new QCheckBox(tr("跟随"), bar);
    m_followBox->setObjectName(QStringLiteral("follow"));
    m_followBox->setChecked(m_follow);
    m_followBox->setToolTip(tr("最新读数始终在右端"));
    connect(m_followBox, &QCheckBox::toggled, this, &TrendWindow::setFollow);
    auto *hint = new QLabel(tr("滚轮缩放，拖动平移；← → 平移，+ − 缩放，Home 回到最近一小时"), bar);
    hint->setEnabled(false);
    auto *png = new QPushButton(tr("导出图片…"), bar);
    png->setObjectName(QStringLiteral("exportPng"));
    connect(png, &QPushButton::clicked, this, &TrendWindow::exportPngAsked);
    auto *csv = new QPushButton(tr("导出 CSV…"), bar);
    csv->setObjectName(QStringLiteral("exportCsv"));
    connect(csv, &QPushButton::clicked, this, &TrendWindow::exportCsvAsked);
    row->addWidget(m_followBox);
    row->addWidget(hint, 1);
    row->addWidget(png);
    row->addWidget(csv);
    return bar;
}

void TrendWindow::setBand(Quantity q, const movra::trend::Band &band)
{
    m_bands[size_t(q)] = band;
    requestRedraw();
}

void TrendWindow::setLinkStatsProvider(LinkStatsProvider provider)
{
    m_linkStats = std::move(provider);
}

void TrendWindow::setFileNameProvider(FileNameProvider provider)
{
    m_fileName = provider ? std::move(provider) : FileNameProvider(defaultFileName);
}

// Where a followed axis ends: some room past the newest reading.
qint64 TrendWindow::followedToMs() const
{
    const qint64 newest = m_history.newestMs();
    return (newest != 0 ? newest : QDateTime::currentMSecsSinceEpoch()) + roomMs(m_spanMs);
}

qint64 TrendWindow::visibleToMs() const
{
    if (m_follow && (m_place || m_history.newestMs() > m_toMs))
        return followedToMs();
    return m_toMs;
}

qint64 TrendWindow::visibleFromMs() const
{
    return visibleToMs() - m_spanMs;
}

void TrendWindow::setFollow(bool on)
{
    if (on != m_follow) {
        m_toMs = visibleToMs();
        m_place = on;
    }
    m_follow = on;
    const QSignalBlocker block(m_followBox);
    m_followBox->setChecked(on);
    requestRedraw();
}

void TrendWindow::setVisibleRange(qint64 fromMs, qint64 toMs)
{
    setFollow(false);
    m_spanMs = qBound(kMinSpanMs, toMs - fromMs, kMaxSpanMs);
    m_toMs = fromMs + m_spanMs;
    requestRedraw();
}

void TrendWindow::zoom(double factor, double at)
{
    if (factor <= 0.0)
        return;
    const qint64 from = visibleFromMs();
    const qint64 to = visibleToMs();
    const qint64 span = qBound(kMinSpanMs, qint64(double(m_spanMs) / factor), kMaxSpanMs);
    if (m_follow) {
        const qint64 newest = m_history.newestMs();
        m_toMs = to;
        m_place = newest == 0 || to - newest > 2 * roomMs(span);
    } else {
        const double anchor = double(from) + at * double(m_spanMs);
        m_toMs = qint64(anchor - at * double(span)) + span;
    }
    m_spanMs = span;
    requestRedraw();
}

void TrendWindow::pan(double fraction)
{
    setFollow(false);
    m_toMs += qint64(fraction * double(m_spanMs));
    requestRedraw();
}

void TrendWindow::dragStarted()
{
    m_dragFromMs = visibleToMs();
}

void TrendWindow::dragged(double fraction)
{
    setFollow(false);
    m_toMs = m_dragFromMs - qint64(fraction * double(m_spanMs));
    requestRedraw();
}

void TrendWindow::resetView()
{
    m_spanMs = kFirstSpanMs;
    m_place = true;
    setFollow(true);
}

void TrendWindow::settingsEdited(const movra::trend::StabilitySettings &settings)
{
    m_history.setSettings(settings);
    if (!m_stationIni.isEmpty() && !m_history.settings().save(m_stationIni))
        status(tr("无法保存到 %1").arg(QDir::toNativeSeparators(m_stationIni)));
    requestRedraw();
}

void TrendWindow::status(const QString &text)
{
    m_status->setText(text);
}
