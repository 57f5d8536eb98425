// The trend window, offscreen: what it draws from a history, how it moves,
// what it saves and exports, and how often it redraws.
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtTest>
#include <memory>

#include "trend/CsvRows.h"
#include "ui/TrendChartView.h"
#include "ui/TrendWindow.h"
#include "ui/TrendWindowParts.h"

using namespace movra::trend;
using namespace QtCharts;

namespace {

constexpr qint64 kT0 = 1700000000000LL;
constexpr qint64 kHour = 3600 * 1000;

// Two hours once a second: temperature settles from 20 to 25, humidity
// stays near 50.
void fill(TrendHistory &h, qint64 seconds = 7200)
{
    for (qint64 t = 0; t < seconds; ++t) {
        const double temperature = t < 3600 ? 20.0 : 25.0 + (t % 2) / 10.0;
        h.append(Quantity::Temperature, kT0 + t * 1000, temperature);
        h.append(Quantity::Humidity, kT0 + t * 1000 + 400, 50.0 + (t % 3) / 10.0);
    }
}

template <typename T> T *child(QObject *parent, const char *name)
{
    T *c = parent->findChild<T *>(QLatin1String(name));
    if (!c)
        qWarning("no child %s", name);
    return c;
}

QString labelText(QWidget *w, const char *name)
{
    if (auto *steady = w->findChild<movra::trendui::SteadyLabel *>(QLatin1String(name)))
        return steady->text();
    QLabel *l = child<QLabel>(w, name);
    return l ? l->text() : QString();
}

qint64 axisMin(TrendWindow &w)
{
    return qobject_cast<QDateTimeAxis *>(w.chart()->axes(Qt::Horizontal).first())
        ->min()
        .toMSecsSinceEpoch();
}

} // namespace

class TrendWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readingsShowInTheirSeries();
    void bandDrawnOnlyWhenOn_data();
    void bandDrawnOnlyWhenOn();
    void viewMoves_data();
    void viewMoves();
    void verdictsAndTheirEditors();
    void linkStatsFromTheEngine();
    void exportsWriteValidFiles();
    void exportsCanBeCancelledOrFail();
    void burstsOfReadingsCoalesce();
    void steadyReadingsMoveTheChartByPixels();
    void hiddenWindowStaysIdle();

private:
    void open();

    QTemporaryDir m_dir;
    QString m_station;
    TrendHistory m_history;
    std::unique_ptr<TrendWindow> m_window;
};

void TrendWindowTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TrendWindowTest::init()
{
    m_station = m_dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentTestFunction()));
    m_history = TrendHistory();
    fill(m_history);
}

void TrendWindowTest::cleanup()
{
    m_window.reset();
}

void TrendWindowTest::open()
{
    m_window = std::make_unique<TrendWindow>(m_history, m_station);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TrendWindowTest::readingsShowInTheirSeries()
{
    open();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("趋势与统计"));
    QVERIFY(!m_window->isModal());
    QVERIFY(m_window->follows());
    m_window->redrawNow();

    // The last hour, ending at the newest reading, which was taken before
    // the window opened.
    const qint64 newest = m_history.newestMs();
    QCOMPARE(axisMin(*m_window), newest - kHour);
    const int width = int(m_window->chart()->plotArea().width());
    QVERIFY(width > 100);
    for (const char *name : {"temperature", "humidity"}) {
        const auto *line = child<QLineSeries>(m_window->chart(), name);
        QVERIFY(line);
        const QVector<QPointF> points = line->pointsVector();
        QVERIFY2(points.size() > 2 * 60 && points.size() <= 2 * width + 4,
                 qPrintable(QString::number(points.size())));
        QVERIFY(points.first().x() <= double(newest - kHour));
        QVERIFY(points.last().x() >= double(newest - 400));
    }
    const auto *temperature = child<QLineSeries>(m_window->chart(), "temperature");
    QCOMPARE(temperature->pointsVector().last().y(),
             double(m_history.series(Quantity::Temperature).last().value));

    // A new reading shows at the next look, and following keeps it at the right.
    m_history.append(Quantity::Temperature, newest + 1000, 31.0);
    QTRY_COMPARE(temperature->pointsVector().last(), QPointF(double(newest + 1000), 31.0));
    QCOMPARE(axisMin(*m_window), newest + 1000 - kHour);
}

void TrendWindowTest::bandDrawnOnlyWhenOn_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<int>("outside"); // readings of the last hour outside the band

    // In the last hour the readings are 25.0 and 25.1 in turn (1800 each).
    QTest::newRow("off") << false << 25.0 << 0.1 << 0;
    QTest::newRow("on, every other reading out") << true << 25.0 << 0.1 << 1800;
    QTest::newRow("on, all inside") << true << 25.0 << 0.5 << 0;
    QTest::newRow("on, three spikes") << true << 25.0 << 0.5 << 3;
    QTest::newRow("on, all out") << true << 30.0 << 1.0 << 3600;
}

void TrendWindowTest::bandDrawnOnlyWhenOn()
{
    QFETCH(bool, enabled);
    QFETCH(double, reference);
    QFETCH(double, tolerance);
    QFETCH(int, outside);
    if (QByteArray(QTest::currentDataTag()).contains("spikes")) {
        // The last 400 s at 25.0, with three spikes two minutes apart: far
        // enough for each to have its own marker.
        m_history = TrendHistory();
        fill(m_history, 7200 - 400);
        qint64 t = m_history.newestMs();
        for (int i = 0; i < 400; ++i)
            m_history.append(Quantity::Temperature, t += 1000,
                             i == 100   ? 27.0
                             : i == 220 ? 23.0
                             : i == 340 ? 26.0
                                        : 25.0);
    }
    open();
    m_window->setBand(Quantity::Temperature, Band{enabled, reference, tolerance});
    m_window->redrawNow();

    auto *band = child<QAreaSeries>(m_window->chart(), "temperatureBand");
    auto *marks = child<QScatterSeries>(m_window->chart(), "temperatureOutside");
    QVERIFY(band && marks);
    QCOMPARE(band->isVisible(), enabled);
    QCOMPARE(marks->isVisible(), enabled);
    QCOMPARE(m_window->chart()->legend()->markers(band).first()->isVisible(), enabled);
    // The humidity's band was never switched on.
    QVERIFY(!child<QAreaSeries>(m_window->chart(), "humidityBand")->isVisible());
    if (!enabled) {
        QCOMPARE(marks->count(), 0);
        return;
    }
    const qint64 to = m_history.newestMs();
    const QVector<QPointF> upper = band->upperSeries()->pointsVector();
    const QVector<QPointF> lower = band->lowerSeries()->pointsVector();
    QCOMPARE(upper, QVector<QPointF>({{double(to - kHour), reference + tolerance},
                                      {double(to), reference + tolerance}}));
    QCOMPARE(lower, QVector<QPointF>({{double(to - kHour), reference - tolerance},
                                      {double(to), reference - tolerance}}));

    // Every marker is a reading outside the band; with more outside readings
    // than the plot has room for, they are thinned like the line.
    const QVector<QPointF> marked = marks->pointsVector();
    const Band b{true, reference, tolerance};
    const TrendSeries &series = m_history.series(Quantity::Temperature);
    for (const QPointF &p : marked) {
        QVERIFY(b.marks(p.y()));
        const int i = series.lowerBound(qint64(p.x()));
        QVERIFY(i < series.size() && double(series.timeAt(i)) == p.x());
        QCOMPARE(double(series.valueAt(i)), p.y());
    }
    const int buckets = int(m_window->chart()->plotArea().width()) / TrendWindow::kMarkerSpacingPx;
    if (outside <= buckets)
        QCOMPARE(marked.size(), outside);
    else
        QVERIFY2(marked.size() >= buckets / 2 && marked.size() <= 2 * buckets + 2,
                 qPrintable(QString::number(marked.size())));
}

void TrendWindowTest::viewMoves_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("span");  // hours
    QTest::addColumn<double>("shift"); // of the right edge from the newest, in spans
    QTest::addColumn<bool>("follows");

    QTest::newRow("wheel up") << "wheel+" << 1 / 1.25 << 0.0 << true;
    QTest::newRow("wheel down") << "wheel-" << 1.25 << 0.0 << true;
    QTest::newRow("plus") << "key+" << 1 / 1.25 << 0.0 << true;
    QTest::newRow("minus") << "key-" << 1.25 << 0.0 << true;
    QTest::newRow("left") << "left" << 1.0 << -0.1 << false;
    QTest::newRow("left, right") << "left right" << 1.0 << 0.0 << false;
    QTest::newRow("drag right by a quarter") << "drag" << 1.0 << -0.25 << false;
    QTest::newRow("left, then Home") << "left key- home" << 1.0 << 0.0 << true;
    QTest::newRow("left, follow ticked") << "left follow" << 1.0 << 0.0 << true;
}

void TrendWindowTest::viewMoves()
{
    QFETCH(QString, action);
    QFETCH(double, span);
    QFETCH(double, shift);
    QFETCH(bool, follows);
    open();
    m_window->redrawNow();
    auto *view = child<TrendChartView>(m_window.get(), "trendChart");
    QVERIFY(view);
    view->setFocus();
    const QRectF plot = m_window->chart()->plotArea();
    const QPoint middle = view->mapFromScene(plot.center());

    for (const QString &step : action.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1String("wheel"))) {
            const int delta = step.endsWith(QLatin1Char('+')) ? 120 : -120;
            QWheelEvent wheel(middle, view->viewport()->mapToGlobal(middle), QPoint(),
                              QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(view->viewport(), &wheel);
        } else if (step == QLatin1String("key+")) {
            QTest::keyClick(view, Qt::Key_Plus);
        } else if (step == QLatin1String("key-")) {
            QTest::keyClick(view, Qt::Key_Minus);
        } else if (step == QLatin1String("left")) {
            QTest::keyClick(view, Qt::Key_Left);
        } else if (step == QLatin1String("right")) {
            QTest::keyClick(view, Qt::Key_Right);
        } else if (step == QLatin1String("home")) {
            QTest::keyClick(view, Qt::Key_Home);
        } else if (step == QLatin1String("follow")) {
            child<QCheckBox>(m_window.get(), "follow")->click();
        } else if (step == QLatin1String("drag")) {
            const QPoint to = middle + QPoint(int(plot.width() / 4), 0);
            // QTest's own moves go through the cursor, which offscreen has none.
            QTest::mousePress(view->viewport(), Qt::LeftButton, {}, middle);
            for (const QPoint &at : {middle + QPoint(10, 0), to}) {
                QMouseEvent move(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(view->viewport(), &move);
            }
            QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, to);
        }
    }
    m_window->redrawNow();

    const qint64 spanMs = qint64(span * kHour);
    const qint64 newest = m_history.newestMs();
    QCOMPARE(m_window->follows(), follows);
    QCOMPARE(child<QCheckBox>(m_window.get(), "follow")->isChecked(), follows);
    QVERIFY(qAbs(m_window->visibleToMs() - m_window->visibleFromMs() - spanMs) <= 1);
    // A drag is in whole pixels.
    const qint64 slack = action == QLatin1String("drag") ? qint64(spanMs / plot.width()) + 1 : 1;
    QVERIFY2(qAbs(m_window->visibleToMs() - (newest + qint64(shift * spanMs))) <= slack,
             qPrintable(QString::number(m_window->visibleToMs() - newest)));
    QCOMPARE(axisMin(*m_window), m_window->visibleFromMs());
}

void TrendWindowTest::verdictsAndTheirEditors()
{
    QFile ini(m_station);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    const QByteArray records = "[records]\nlastFolder=D:/记录\n";
    ini.write(records);
    ini.close();

    open();
    m_window->redrawNow();
    // Settled since 3660 s, an hour and a minute before the newest reading.
    QCOMPARE(labelText(m_window.get(), "temperatureVerdict"), QStringLiteral("稳定"));
    QCOMPARE(labelText(m_window.get(), "temperatureVerdictDetail"),
             QStringLiteral("已稳定 58 分 59 秒（60 s 内跨度 0.1 ℃）"));
    // Humidity wanders 0.2 %RH: stable under 1.0, not under 0.1.
    QCOMPARE(labelText(m_window.get(), "humidityVerdict"), QStringLiteral("稳定"));
    child<QDoubleSpinBox>(m_window.get(), "humidityBand")->setValue(0.1);
    QCOMPARE(m_history.settings().humidityBand, 0.1);
    QTRY_COMPARE(labelText(m_window.get(), "humidityVerdict"), QStringLiteral("未稳定"));
    QCOMPARE(labelText(m_window.get(), "humidityVerdictDetail"),
             QStringLiteral("60 s 内跨度 0.2 %RH，超过 0.1 %RH"));

    child<QSpinBox>(m_window.get(), "stabilityWindow")->setValue(120);
    QCOMPARE(m_history.settings().windowSeconds, 120);
    QCOMPARE(StabilitySettings::load(m_station).windowSeconds, 120);
    QCOMPARE(StabilitySettings::load(m_station).humidityBand, 0.1);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().startsWith(records + "\n[trend]\n"));
    ini.close();

    // The next window, and the history it judges, take the saved rule.
    m_window.reset();
    TrendHistory fresh;
    TrendWindow again(fresh, m_station);
    QCOMPARE(fresh.settings().windowSeconds, 120);
    QCOMPARE(child<QSpinBox>(&again, "stabilityWindow")->value(), 120);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(labelText(&again, "temperatureVerdictDetail"), QStringLiteral("尚无读数"));
}

void TrendWindowTest::linkStatsFromTheEngine()
{
    open();
    movra::LinkStats stats;
    stats.requests = 7;
    stats.replies = 5;
    stats.timeouts = 1;
    stats.exceptions = 1;
    stats.notRecognised[size_t(movra::BlockCause::BadCrc)] = 2;
    stats.notRecognised[size_t(movra::BlockCause::Unexpected)] = 1;
    for (quint32 ticks : {2u, 3u, 4u, 3u})
        stats.response.add(ticks);
    int asked = 0;
    m_window->setLinkStatsProvider([&] {
        ++asked;
        return stats;
    });
    QTRY_VERIFY(asked > 0);
    QCOMPARE(labelText(m_window.get(), "linkCounts"),
             QStringLiteral("请求 7　应答 5　超时 1　异常应答 1"));
    QCOMPARE(labelText(m_window.get(), "linkUnrecognised"),
             QStringLiteral("无法识别 3（过短 0，校验错 2，未知功能码 0，不符请求 1）"));
    QCOMPARE(labelText(m_window.get(), "linkTimes"),
             QStringLiteral("响应时间　最小 20 ms　平均 30.0 ms　P95 40 ms　最大 40 ms"));

    // Polled live: a new request shows without anyone pushing it.
    stats.requests = 8;
    QTRY_VERIFY(labelText(m_window.get(), "linkCounts").startsWith(QStringLiteral("请求 8　")));

    m_window->setLinkStatsProvider(nullptr);
    m_window->setLinkStats(movra::LinkStats{});
    QCOMPARE(labelText(m_window.get(), "linkTimes"), QStringLiteral("响应时间　尚无应答"));
}

void TrendWindowTest::exportsWriteValidFiles()
{
    open();
    m_window->setBand(Quantity::Temperature, Band{true, 25.0, 0.1});
    QStringList asked;
    QString answer;
    m_window->setFileNameProvider(
        [&](QWidget *, const QString &caption, const QString &suggested, const QString &filter) {
            asked << caption + QLatin1Char('|') + suggested + QLatin1Char('|') + filter;
            return answer;
        });

    answer = m_dir.filePath(QStringLiteral("chart.png"));
    child<QPushButton>(m_window.get(), "exportPng")->click();
    QImage picture(answer);
    QVERIFY(!picture.isNull());
    const QSize viewSize = child<TrendChartView>(m_window.get(), "trendChart")->size();
    QCOMPARE(picture.size(), viewSize);
    // Not blank: the band and both lines have colour.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() > 20);

    answer = m_dir.filePath(QStringLiteral("series.csv"));
    child<QPushButton>(m_window.get(), "exportCsv")->click();
    QFile csv(answer);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const QByteArray bytes = csv.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"
                             "时间,量,值\r\n"));
    const QList<QByteArray> lines = bytes.mid(3).split('\n');
    QCOMPARE(lines.size(), 1 + 2 * 7200 + 1); // header, readings, empty after the last CRLF
    QVERIFY(lines.last().isEmpty());
    for (int i = 0; i + 1 < lines.size(); ++i)
        QVERIFY(lines[i].endsWith('\r'));
    QCOMPARE(QString::fromUtf8(lines[1]), isoLocalTime(kT0) + QStringLiteral(",温度(℃),20.0\r"));
    QCOMPARE(QString::fromUtf8(lines[2]),
             isoLocalTime(kT0 + 400) + QStringLiteral(",湿度(%RH),50.0\r"));

    QCOMPARE(asked, QStringList({QStringLiteral("导出图片|趋势.png|PNG 图片 (*.png)"),
                                 QStringLiteral("导出 CSV|趋势.csv|CSV 文件 (*.csv)")}));
}

void TrendWindowTest::exportsCanBeCancelledOrFail()
{
    open();
    m_window->setFileNameProvider(
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    const QStringList before = QDir(m_dir.path()).entryList(QDir::Files);
    child<QPushButton>(m_window.get(), "exportPng")->click();
    child<QPushButton>(m_window.get(), "exportCsv")->click();
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), before);
    QCOMPARE(labelText(m_window.get(), "trendStatus"), QString());

    const QString nowhere = m_dir.filePath(QStringLiteral("missing/x.png"));
    QVERIFY(!m_window->exportPng(nowhere));
    QVERIFY(labelText(m_window.get(), "trendStatus").startsWith(QStringLiteral("无法写入")));
    QVERIFY(!m_window->exportCsv(m_dir.filePath(QStringLiteral("missing/x.csv"))));
}

// Readings, each beyond what the chart shows, arrive every 10 ms for over a
// second: the chart follows them, but never redraws twice within 250 ms.
void TrendWindowTest::burstsOfReadingsCoalesce()
{
    open();
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> redraws;
    connect(m_window.get(), &TrendWindow::redrawn, this, [&] { redraws << clock.elapsed(); });
    QTest::qWait(300); // past the redraw the window did when shown
    redraws.clear();
    const qint64 start = clock.elapsed();
    qint64 t = m_history.newestMs();
    for (int i = 0; i < 120; ++i) {
        m_history.append(Quantity::Temperature, t += 1000, 26.0 + i / 10.0);
        QTest::qWait(10);
    }
    QTRY_VERIFY(!redraws.isEmpty() &&
                m_window->chart()
                        ->findChild<QLineSeries *>(QStringLiteral("temperature"))
                        ->pointsVector()
                        .last()
                        .x() == double(t));
    const qint64 elapsed = clock.elapsed() - start;
    QVERIFY2(redraws.size() >= 2, "the chart did not follow the readings");
    QVERIFY2(redraws.size() <= elapsed / TrendWindow::kRedrawIntervalMs + 1,
             qPrintable(QStringLiteral("%1 redraws in %2 ms").arg(redraws.size()).arg(elapsed)));
    for (int i = 1; i < redraws.size(); ++i)
        QVERIFY2(redraws[i] - redraws[i - 1] >= TrendWindow::kRedrawIntervalMs - 2,
                 qPrintable(QStringLiteral("%1 ms apart").arg(redraws[i] - redraws[i - 1])));

    // Nothing new: no more redraws.
    const int settled = redraws.size();
    QTest::qWait(600);
    QCOMPARE(redraws.size(), settled);
}

// Readings like those already at the right edge move a followed chart only
// once they have moved it kFollowStepPx pixels; the verdict follows each of
// them.
void TrendWindowTest::steadyReadingsMoveTheChartByPixels()
{
    open();
    m_window->redrawNow();
    const int before = m_window->redrawCount();
    const double msPerPixel = double(kHour) / int(m_window->chart()->plotArea().width());
    QVERIFY(msPerPixel > 2000); // at least two readings a pixel
    const QString detail = labelText(m_window.get(), "temperatureVerdictDetail");

    // The last readings were 25.0 and 25.1 in turn, temperature at whole
    // seconds and humidity 400 ms later.
    const qint64 newest = m_history.newestMs();
    qint64 t = newest - 400 + 1000;
    const qint64 step = qCeil(TrendWindow::kFollowStepPx * msPerPixel);
    for (; t + 400 < newest + step; t += 1000) {
        m_history.append(Quantity::Temperature, t, 25.0);
        m_history.append(Quantity::Humidity, t + 400, 50.1);
    }
    QTRY_VERIFY(labelText(m_window.get(), "temperatureVerdictDetail") != detail);
    QTest::qWait(2 * TrendWindow::kRedrawIntervalMs);
    QCOMPARE(m_window->redrawCount(), before);

    m_history.append(Quantity::Temperature, newest + step, 25.1);
    QTRY_COMPARE(m_window->redrawCount(), before + 1);
    QCOMPARE(m_window->visibleToMs(), newest + step);
}

void TrendWindowTest::hiddenWindowStaysIdle()
{
    open();
    m_window->hide();
    const int before = m_window->redrawCount();
    m_history.append(Quantity::Temperature, m_history.newestMs() + 1000, 26.0);
    QTest::qWait(600);
    QCOMPARE(m_window->redrawCount(), before);
    m_window->show();
    QTRY_VERIFY(m_window->redrawCount() > before);
}

QTEST_MAIN(TrendWindowTest)
#include "tst_trend_window.moc"
