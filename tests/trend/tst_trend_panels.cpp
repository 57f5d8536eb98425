// The trend window's panels and exports, offscreen: the verdicts and their
// saved rule, the link statistics, the PNG and the CSV.
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>

#include "TrendWindowRig.h"
#include "trend/CsvRows.h"
#include "ui/TrendChartView.h"

using namespace movra::trend;
using namespace QtCharts;
using namespace trendtest;

class TrendPanelsTest : public WindowTest
{
    Q_OBJECT
private slots:
    void verdictsAndTheirEditors();
    void linkStatsFromTheEngine();
    void exportsWriteValidFiles();
    void exportsCanBeCancelledOrFail();
};

void TrendPanelsTest::verdictsAndTheirEditors()
{
    QFile ini(m_rig.station);
    QVERIFY(ini.open(QIODevice::WriteOnly));
    const QByteArray records = "[records]\nlastFolder=D:/记录\n";
    ini.write(records);
    ini.close();

    QVERIFY(m_rig.open());
    m_rig.window->redrawNow();
    // Settled since 3660 s, an hour and a minute before the newest reading.
    QCOMPARE(labelText(m_rig.window.get(), "temperatureVerdict"), QStringLiteral("稳定"));
    QCOMPARE(labelText(m_rig.window.get(), "temperatureVerdictDetail"),
             QStringLiteral("已稳定 58 分 59 秒（60 s 内跨度 0.1 ℃）"));
    // Humidity wanders 0.2 %RH: stable under 1.0, not under 0.1.
    QCOMPARE(labelText(m_rig.window.get(), "humidityVerdict"), QStringLiteral("稳定"));
    child<QDoubleSpinBox>(m_rig.window.get(), "humidityBand")->setValue(0.1);
    QCOMPARE(m_rig.history.settings().humidityBand, 0.1);
    QTRY_COMPARE(labelText(m_rig.window.get(), "humidityVerdict"), QStringLiteral("未稳定"));
    QCOMPARE(labelText(m_rig.window.get(), "humidityVerdictDetail"),
             QStringLiteral("60 s 内跨度 0.2 %RH，超过 0.1 %RH"));

    child<QSpinBox>(m_rig.window.get(), "stabilityWindow")->setValue(120);
    QCOMPARE(m_rig.history.settings().windowSeconds, 120);
    QCOMPARE(StabilitySettings::load(m_rig.station).windowSeconds, 120);
    QCOMPARE(StabilitySettings::load(m_rig.station).humidityBand, 0.1);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().startsWith(records + "\n[trend]\n"));
    ini.close();

    // The next window, and the history it judges, take the saved rule.
    m_rig.window.reset();
    TrendHistory fresh;
    TrendWindow again(fresh, m_rig.station);
    QCOMPARE(fresh.settings().windowSeconds, 120);
    QCOMPARE(child<QSpinBox>(&again, "stabilityWindow")->value(), 120);
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QCOMPARE(labelText(&again, "temperatureVerdictDetail"), QStringLiteral("尚无读数"));
}

void TrendPanelsTest::linkStatsFromTheEngine()
{
    QVERIFY(m_rig.open());
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
    m_rig.window->setLinkStatsProvider([&] {
        ++asked;
        return stats;
    });
    QTRY_VERIFY(asked > 0);
    const auto lines = [this] {
        QStringList l;
        for (const char *name :
             {"linkCounts", "linkFaults", "linkCauses", "linkTimes", "linkTimesTail"})
            l << labelText(m_rig.window.get(), name);
        return l;
    };
    QCOMPARE(lines(), QStringList({QStringLiteral("请求 7　应答 5　超时 1"),
                                   QStringLiteral("异常应答 1　无法识别 3"),
                                   QStringLiteral("过短 0　校验错 2　未知功能码 0　不符请求 1"),
                                   QStringLiteral("响应时间　最小 20 ms　平均 30.0 ms"),
                                   QStringLiteral("　　　　　P95 40 ms　最大 40 ms")}));

    // Polled live: a new request shows without anyone pushing it.
    stats.requests = 8;
    QTRY_VERIFY(labelText(m_rig.window.get(), "linkCounts").startsWith(QStringLiteral("请求 8　")));

    m_rig.window->setLinkStatsProvider([] { return movra::LinkStats{}; });
    QTRY_COMPARE(lines().mid(3), QStringList({QStringLiteral("响应时间　尚无应答"), QString()}));
}

void TrendPanelsTest::exportsWriteValidFiles()
{
    QVERIFY(m_rig.open());
    m_rig.window->setBand(Quantity::Temperature, Band{true, 25.0, 0.1});
    QStringList asked;
    QString answer;
    m_rig.window->setFileNameProvider(
        [&](QWidget *, const QString &caption, const QString &suggested, const QString &filter) {
            asked << caption + QLatin1Char('|') + suggested + QLatin1Char('|') + filter;
            return answer;
        });

    answer = m_rig.dir.filePath(QStringLiteral("chart.png"));
    child<QPushButton>(m_rig.window.get(), "exportPng")->click();
    QImage picture(answer);
    QVERIFY(!picture.isNull());
    const QSize viewSize = child<TrendChartView>(m_rig.window.get(), "trendChart")->size();
    QCOMPARE(picture.size(), viewSize);
    // Not blank: the band and both lines have colour.
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); y += 3)
        for (int x = 0; x < picture.width(); x += 3)
            colours.insert(picture.pixel(x, y));
    QVERIFY(colours.size() > 20);

    answer = m_rig.dir.filePath(QStringLiteral("series.csv"));
    child<QPushButton>(m_rig.window.get(), "exportCsv")->click();
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

void TrendPanelsTest::exportsCanBeCancelledOrFail()
{
    QVERIFY(m_rig.open());
    m_rig.window->setFileNameProvider(
        [](QWidget *, const QString &, const QString &, const QString &) { return QString(); });
    const QStringList before = QDir(m_rig.dir.path()).entryList(QDir::Files);
    child<QPushButton>(m_rig.window.get(), "exportPng")->click();
    child<QPushButton>(m_rig.window.get(), "exportCsv")->click();
    QCOMPARE(QDir(m_rig.dir.path()).entryList(QDir::Files), before);
    QCOMPARE(labelText(m_rig.window.get(), "trendStatus"), QString());

    const QString nowhere = m_rig.dir.filePath(QStringLiteral("missing/x.png"));
    QVERIFY(!m_rig.window->exportPng(nowhere));
    QVERIFY(labelText(m_rig.window.get(), "trendStatus").startsWith(QStringLiteral("无法写入")));
    QVERIFY(!m_rig.window->exportCsv(m_rig.dir.filePath(QStringLiteral("missing/x.csv"))));
}

QTEST_MAIN(TrendPanelsTest)
#include "tst_trend_panels.moc"
