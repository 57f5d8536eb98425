// Measurement polling and intake, the qualification lines, and the batch
// read and write sequencers driven tick by tick with no port open.

#include <QAbstractButton>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>

#include "Bytes.h"
#include "Dialogs.h"
#include "TestSupport.h"

using A = MovraTestAccess;

namespace {

using movratest::Dialogs;
using movratest::hex;
using movratest::logFor;
using movratest::logOf;
using movratest::makeWindow;
using movratest::withCrc;

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

// A window that believes it is connected, with the link's buttons enabled.
std::unique_ptr<MovraTestTool> makeConnectedWindow()
{
    auto w = makeWindow();
    A::linkState(*w) = MovraTestTool::LinkConnected;
    A::refreshControls(*w);
    A::periodTicks(*w) = 0;
    A::secondTicks(*w) = 0;
    return w;
}

// Drives the window tick by tick and notes, with the tick count, every new
// non-empty log line, every change of the pending request and every new
// frame. `device` may answer each new frame with bytes for the receive buffer.
class Recorder
{
public:
    explicit Recorder(MovraTestTool &w)
        : m_w(w), m_pending(A::pendingRequest(w)), m_frame(A::lastRequest(w))
    {
        m_lines = currentLines().size();
    }

    std::function<QByteArray(const QByteArray &)> device;
    QStringList events;
    int now = 0;

    void run(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            movratest::tick(m_w);
            ++now;
            collect();
        }
    }

    void click(QAbstractButton *button)
    {
        button->click();
        collect();
    }

    void collect()
    {
        const QStringList lines = currentLines();
        for (int i = m_lines; i < lines.size(); ++i) {
            if (!lines.at(i).isEmpty())
                events << QStringLiteral("%1 log %2").arg(now).arg(lines.at(i).mid(2));
        }
        m_lines = lines.size();
        if (A::pendingRequest(m_w) != m_pending) {
            m_pending = A::pendingRequest(m_w);
            events << QStringLiteral("%1 pending %2").arg(now).arg(m_pending);
        }
        if (A::lastRequest(m_w) != m_frame) {
            m_frame = A::lastRequest(m_w);
            events << QStringLiteral("%1 sent %2").arg(now).arg(hexOf(m_frame));
            if (device) {
                const QByteArray answer = device(m_frame);
                if (!answer.isEmpty())
                    A::feed(m_w, answer);
            }
        }
    }

private:
    QStringList currentLines() const
    {
        const QString text = logOf(m_w);
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    MovraTestTool &m_w;
    int m_lines = 0;
    qint32 m_pending = 0;
    QByteArray m_frame;
};

// Enables exactly the given write items (codes 200..204).
void enableWriteItems(MovraTestTool &w, std::initializer_list<int> codes)
{
    auto on = [&](int code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    };
    A::tempOffsetChecked(w) = on(200);
    A::humiOffsetChecked(w) = on(201);
    A::tempHumiRevertChecked(w) = on(202);
    A::devNumChecked(w) = on(203);
    A::braudRateChecked(w) = on(204);
}

const QByteArray kReadAddress = withCrc(hex("000301000001"));
const QByteArray kReadBaud = hex("FDFDFD0000E988");
const QByteArray kReadTempOffset = hex("00030050000185CA");
const QByteArray kReadHumiOffset = withCrc(hex("000300510001"));
const QByteArray kReadOrder = withCrc(hex("000300520001"));
const QByteArray kWriteAddress5 = hex("00060100000549E4");
const QByteArray kRestart = hex("000601040000C826");

} // namespace

class TestMeasure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void pollMeasurement_data();
    void pollMeasurement();
    void pollOnlyWhileConnected_data();
    void pollOnlyWhileConnected();
    void manualRead_data();
    void manualRead();

    void applyMeasurement_data();
    void applyMeasurement();
    void oneStampHumidityFirst();
    void qualificationLine_data();
    void qualificationLine();

    void batchReadSilentDevice();
    void batchReadAnswered();
    void batchReadPausesWhileNotConnected();
    void batchWriteNothingEnabled();
    void batchWriteStationAddress();
    void batchWriteBaudRateRestarts();
    void batchWriteRejectedEcho();
    void batchWriteSilentDevice();
    void batchWriteSecondClickRestarts();
    void batchStartSwitchesOffPeriodicReading_data();
    void batchStartSwitchesOffPeriodicReading();
};

void TestMeasure::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestMeasure::cleanup()
{
    movratest::removeSettings();
}

void TestMeasure::pollMeasurement_data()
{
    QTest::addColumn<bool>("autoTemp");
    QTest::addColumn<bool>("autoHumi");
    QTest::addColumn<int>("tempInterval");
    QTest::addColumn<int>("humiInterval");
    QTest::addColumn<uint>("tempSeconds");
    QTest::addColumn<uint>("humiSeconds");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<uint>("tempSecondsAfter");
    QTest::addColumn<uint>("humiSecondsAfter");

    // One code per second, "-" for none.
    QTest::newRow("temperature 3 s, humidity 2 s")
        << true << true << 3 << 2 << 0u << 0u << "- 3 4 3 - 5 - 3 4 3 - 5" << 0u << 0u;
    QTest::newRow("both every second")
        << true << true << 1 << 1 << 0u << 0u << "5 5 5 5" << 0u << 0u;
    QTest::newRow("temperature every second")
        << true << false << 1 << 1 << 0u << 0u << "4 4 4" << 0u << 0u;
    QTest::newRow("humidity 1 s, temperature 3 s")
        << true << true << 3 << 1 << 0u << 0u << "3 3 5 3 3 5" << 0u << 0u;
    QTest::newRow("humidity only, 5 s, temperature counter left at 2")
        << false << true << 3 << 5 << 2u << 0u << "- - - - 3 - - - - 3" << 2u << 0u;
    QTest::newRow("temperature only, humidity counter left at 1")
        << true << false << 2 << 2 << 0u << 1u << "- 4 - 4" << 0u << 1u;
    QTest::newRow("counters out of step")
        << true << true << 2 << 2 << 1u << 0u << "4 3 4 3" << 1u << 0u;
    QTest::newRow("counter beyond a shortened interval")
        << true << false << 3 << 3 << 7u << 0u << "4 - - 4" << 0u << 0u;
    QTest::newRow("both off") << false << false << 1 << 1 << 4u << 6u << "- - -" << 4u << 6u;
}

void TestMeasure::pollMeasurement()
{
    QFETCH(bool, autoTemp);
    QFETCH(bool, autoHumi);
    QFETCH(int, tempInterval);
    QFETCH(int, humiInterval);
    QFETCH(uint, tempSeconds);
    QFETCH(uint, humiSeconds);
    QFETCH(QString, codes);
    QFETCH(uint, tempSecondsAfter);
    QFETCH(uint, humiSecondsAfter);

    auto w = makeConnectedWindow();
    A::devAddress(*w) = 7;
    A::autoReadTemp(*w) = autoTemp;
    A::autoReadHumi(*w) = autoHumi;
    A::tempInterval(*w) = tempInterval;
    A::humiInterval(*w) = humiInterval;
    A::tempSeconds(*w) = tempSeconds;
    A::humiSeconds(*w) = humiSeconds;

    const QMap<int, QByteArray> frames{{3, withCrc(hex("070300000001"))},
                                       {4, withCrc(hex("070300010001"))},
                                       {5, withCrc(hex("070300000002"))}};
    QStringList sent;
    for (int second = 0; second < codes.split(QLatin1Char(' ')).size(); ++second) {
        A::pendingRequest(*w) = 0;
        A::lastRequest(*w).clear();
        A::pollMeasurement(*w);
        const int code = A::pendingRequest(*w);
        sent << (code ? QString::number(code) : QStringLiteral("-"));
        QCOMPARE(hexOf(A::lastRequest(*w)), hexOf(frames.value(code)));
    }
    QCOMPARE(sent.join(QLatin1Char(' ')), codes);
    QCOMPARE(uint(A::tempSeconds(*w)), tempSecondsAfter);
    QCOMPARE(uint(A::humiSeconds(*w)), humiSecondsAfter);
    QCOMPARE(logOf(*w), QString());
}

void TestMeasure::pollOnlyWhileConnected_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("sends");

    QTest::newRow("idle") << 0 << false;
    QTest::newRow("connected") << 3 << true;
    QTest::newRow("failed") << 4 << false;
    QTest::newRow("disconnected") << 5 << false;
}

void TestMeasure::pollOnlyWhileConnected()
{
    QFETCH(int, state);
    QFETCH(bool, sends);

    auto w = makeConnectedWindow();
    A::linkState(*w) = state;
    A::autoReadTemp(*w) = true;
    A::autoReadHumi(*w) = true;
    A::tempInterval(*w) = 1;
    A::humiInterval(*w) = 1;

    movratest::tick(*w, 99);
    QVERIFY(A::lastRequest(*w).isEmpty());
    movratest::tick(*w);
    QCOMPARE(hexOf(A::lastRequest(*w)), sends ? QStringLiteral("010300000002c40b") : QString());
    QCOMPARE(A::pendingRequest(*w), sends ? 5 : 0);
}

void TestMeasure::manualRead_data()
{
    QTest::addColumn<int>("state");

    QTest::newRow("idle") << 0;
    QTest::newRow("connected") << 3;
    QTest::newRow("failed") << 4;
    QTest::newRow("disconnected") << 5;
}

void TestMeasure::manualRead()
{
    QFETCH(int, state);

    auto w = makeWindow();
    A::linkState(*w) = state;
    A::pendingRequest(*w) = 102; // a batch request it replaces
    // The slot itself, whether or not the button is enabled.
    QVERIFY(QMetaObject::invokeMethod(w.get(), "onmanualReadButtonClicked"));

    if (state == MovraTestTool::LinkConnected) {
        QCOMPARE(logOf(*w), logFor({QStringLiteral("正在手动读取温湿度值")}));
        QCOMPARE(A::pendingRequest(*w), 5);
        QCOMPARE(hexOf(A::lastRequest(*w)), QStringLiteral("010300000002c40b"));
    } else {
        QCOMPARE(logOf(*w), QString());
        QCOMPARE(A::pendingRequest(*w), 102);
        QVERIFY(A::lastRequest(*w).isEmpty());
    }
}

void TestMeasure::applyMeasurement_data()
{
    QTest::addColumn<int>("rawTemp");
    QTest::addColumn<int>("rawHumi");
    QTest::addColumn<bool>("tempValid");
    QTest::addColumn<bool>("humiValid");
    QTest::addColumn<QString>("labelTemp");
    QTest::addColumn<QString>("labelHumi");
    QTest::addColumn<QStringList>("log");

    // Both labels start at "0" and the members at 7 (0.7), so a dropped
    // value is told apart from a taken one.
    QTest::newRow("humidity 1000") << 0 << 1000 << false << true << "0"
                                   << "100.0" << QStringList{"湿度:100.0 %"};
    QTest::newRow("humidity 1001 dropped") << 0 << 1001 << false << true << "0"
                                           << "0" << QStringList();
    QTest::newRow("humidity 65535 dropped") << 0 << 65535 << false << true << "0"
                                            << "0" << QStringList();
    QTest::newRow("humidity 0") << 0 << 0 << false << true << "0"
                                << "0.0" << QStringList{"湿度:0.0 %"};
    QTest::newRow("temperature 1000") << 1000 << 0 << true << false << "100.0"
                                      << "0" << QStringList{"温度:100.0 ℃"};
    QTest::newRow("temperature 1001 dropped") << 1001 << 0 << true << false << "0"
                                              << "0" << QStringList();
    QTest::newRow("temperature -550") << -550 << 0 << true << false << "-55.0"
                                      << "0" << QStringList{"温度:-55.0 ℃"};
    QTest::newRow("temperature -551 dropped") << -551 << 0 << true << false << "0"
                                              << "0" << QStringList();
    QTest::newRow("temperature -32768 dropped") << -32768 << 0 << true << false << "0"
                                                << "0" << QStringList();
    QTest::newRow("temperature -5") << -5 << 0 << true << false << "-0.5"
                                    << "0" << QStringList{"温度:-0.5 ℃"};
    QTest::newRow("temperature -125") << -125 << 0 << true << false << "-12.5"
                                      << "0" << QStringList{"温度:-12.5 ℃"};
    QTest::newRow("temperature 0") << 0 << 0 << true << false << "0.0"
                                   << "0" << QStringList{"温度:0.0 ℃"};
    QTest::newRow("both, humidity out of range") << 231 << 1200 << true << true << "23.1"
                                                 << "0" << QStringList{"温度:23.1 ℃"};
    QTest::newRow("both, temperature out of range") << 1200 << 455 << true << true << "0"
                                                    << "45.5" << QStringList{"湿度:45.5 %"};
    QTest::newRow("values without their flags") << 231 << 455 << false << false << "0"
                                                << "0" << QStringList();
}

void TestMeasure::applyMeasurement()
{
    QFETCH(int, rawTemp);
    QFETCH(int, rawHumi);
    QFETCH(bool, tempValid);
    QFETCH(bool, humiValid);
    QFETCH(QString, labelTemp);
    QFETCH(QString, labelHumi);
    QFETCH(QStringList, log);

    auto w = makeWindow();
    A::temperature(*w) = 7;
    A::humidity(*w) = 7;
    A::applyMeasurement(*w, qint16(rawTemp), quint16(rawHumi), tempValid, humiValid);

    QCOMPARE(A::ui(*w).label_Temp->text(), labelTemp);
    QCOMPARE(A::ui(*w).label_Humidy->text(), labelHumi);
    QCOMPARE(int(A::temperature(*w)), labelTemp == QLatin1String("0") ? 7 : rawTemp);
    QCOMPARE(int(A::humidity(*w)), labelHumi == QLatin1String("0") ? 7 : rawHumi);
    QCOMPARE(logOf(*w), logFor(log));
}

void TestMeasure::oneStampHumidityFirst()
{
    auto w = makeWindow();
    A::checkTemp(*w) = true;
    A::baseTemp(*w) = 230;
    A::checkOffsetTemp(*w) = 5;
    A::checkHumi(*w) = true;
    A::baseHumi(*w) = 600;
    A::checkOffsetHumi(*w) = 5;

    A::applyMeasurement(*w, 231, 600, true, true);

    const QStringList lines = movratest::logLines(*w);
    QCOMPARE(lines.size(), 4); // each passing line leaves an empty one
    const QString stamp = lines.at(0).section(QLatin1Char('\t'), 0, 0);
    QCOMPARE(lines.at(0), stamp + QStringLiteral("\t湿度:60.0 %\t误差：0.0 %小于0.5合格"));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), stamp + QStringLiteral("\t温度:23.1 ℃\t误差：0.1 ℃小于0.5合格"));
    QCOMPARE(lines.at(3), QString());
}

void TestMeasure::qualificationLine_data()
{
    QTest::addColumn<bool>("humidity");
    QTest::addColumn<bool>("checkOn");
    QTest::addColumn<qint64>("reference");
    QTest::addColumn<qint64>("tolerance");
    QTest::addColumn<int>("reading");
    QTest::addColumn<QString>("line");

    const qint64 i32min = std::numeric_limits<qint32>::min();
    const qint64 i32max = std::numeric_limits<qint32>::max();
    const qint64 u32max = std::numeric_limits<quint32>::max();

    QTest::newRow("25.3 vs 25.0 tol 0.5") << false << true << qint64(250) << qint64(5) << 253
                                          << "\t温度:25.3 ℃\t误差：0.3 ℃小于0.5合格\r\n";
    QTest::newRow("25.3 vs 25.0 tol 0.3, equal fails")
        << false << true << qint64(250) << qint64(3) << 253
        << "\t温度:25.3 ℃\t误差：0.3 ℃大于0.3不合格";
    QTest::newRow("25.3 vs 26.0 tol 1.0") << false << true << qint64(260) << qint64(10) << 253
                                          << "\t温度:25.3 ℃\t误差：0.7 ℃小于1.0合格\r\n";
    QTest::newRow("temperature check off")
        << false << false << qint64(250) << qint64(5) << 253 << "\t温度:25.3 ℃";
    QTest::newRow("-0.5 check off")
        << false << false << qint64(0) << qint64(0) << -5 << "\t温度:-0.5 ℃";
    QTest::newRow("-12.3 vs -12.0 tol 0.5") << false << true << qint64(-120) << qint64(5) << -123
                                            << "\t温度:-12.3 ℃\t误差：0.3 ℃小于0.5合格\r\n";
    QTest::newRow("temperature tolerance 0") << false << true << qint64(250) << qint64(0) << 250
                                             << "\t温度:25.0 ℃\t误差：0.0 ℃大于0.0不合格";
    QTest::newRow("reference far below")
        << false << true << i32min << u32max << 1000
        << "\t温度:100.0 ℃\t误差：214748464.8 ℃小于429496729.5合格\r\n";
    QTest::newRow("reference far above") << false << true << i32max << qint64(0) << -550
                                         << "\t温度:-55.0 ℃\t误差：214748419.7 ℃大于0.0不合格";

    QTest::newRow("45.0 vs 50.0 tol 5.0") << true << true << qint64(500) << qint64(50) << 450
                                          << "\t湿度:45.0 %\t误差：5.0 %大于5.0不合格";
    QTest::newRow("50.1 vs 50.0 tol 0.5") << true << true << qint64(500) << qint64(5) << 501
                                          << "\t湿度:50.1 %\t误差：0.1 %小于0.5合格\r\n";
    QTest::newRow("humidity check off")
        << true << false << qint64(500) << qint64(50) << 450 << "\t湿度:45.0 %";
    QTest::newRow("humidity tolerance 0") << true << true << qint64(450) << qint64(0) << 450
                                          << "\t湿度:45.0 %\t误差：0.0 %大于0.0不合格";
    QTest::newRow("humidity reference at its maximum")
        << true << true << qint64(65535) << qint64(65535) << 0
        << "\t湿度:0.0 %\t误差：6553.5 %大于6553.5不合格";
    QTest::newRow("humidity above reference 0")
        << true << true << qint64(0) << qint64(65535) << 1000
        << "\t湿度:100.0 %\t误差：100.0 %小于6553.5合格\r\n";
}

void TestMeasure::qualificationLine()
{
    QFETCH(bool, humidity);
    QFETCH(bool, checkOn);
    QFETCH(qint64, reference);
    QFETCH(qint64, tolerance);
    QFETCH(int, reading);
    QFETCH(QString, line);

    auto w = makeWindow();
    if (humidity) {
        A::checkHumi(*w) = checkOn;
        A::baseHumi(*w) = quint16(reference);
        A::checkOffsetHumi(*w) = quint16(tolerance);
        A::applyMeasurement(*w, 0, quint16(reading), false, true);
    } else {
        A::checkTemp(*w) = checkOn;
        A::baseTemp(*w) = qint32(reference);
        A::checkOffsetTemp(*w) = quint32(tolerance);
        A::applyMeasurement(*w, qint16(reading), 0, true, false);
    }
    QCOMPARE(logOf(*w),
             QStringLiteral("T") + line.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void TestMeasure::batchReadSilentDevice()
{
    Dialogs dialogs;
    auto w = makeConnectedWindow();
    movratest::ModalRecord &box = dialogs.expect();
    Recorder rec(*w);
    rec.click(A::ui(*w).readButton);
    rec.run(570);

    const QStringList expected{
        "0 log 批量读取参数开始",
        "10 pending 100",
        "10 sent " + hexOf(kReadAddress),
        "120 log 读取设备地址：失败(超时)",
        "120 pending 101",
        "120 sent " + hexOf(kReadBaud),
        "230 log 读取波特率：失败(超时)",
        "230 pending 102",
        "230 sent " + hexOf(kReadTempOffset),
        "340 log 读取温度修正：失败(超时)",
        "340 pending 103",
        "340 sent " + hexOf(kReadHumiOffset),
        "450 log 读取湿度修正：失败(超时)",
        "450 pending 104",
        "450 sent " + hexOf(kReadOrder),
        "560 log 读取设备温湿度调换状态：失败(超时)",
        "560 log 批量参数读取失败数量为:5",
        "560 pending 0",
    };
    QCOMPARE(rec.events, expected);
    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("批量读取参数失败"));
    QCOMPARE(box.text, QStringLiteral("批量参数读取失败数量为:5"));
    QVERIFY(!A::batchReadActive(*w));
    QCOMPARE(int(A::readFailCount(*w)), 0);
}

void TestMeasure::batchReadAnswered()
{
    auto w = makeConnectedWindow();
    Dialogs dialogs;
    Recorder rec(*w);
    rec.device = [](const QByteArray &frame) -> QByteArray {
        if (frame == kReadAddress)
            return withCrc(hex("0003020005"));
        if (frame == kReadBaud)
            return withCrc(hex("FDFDFD0500"));
        if (frame == kReadTempOffset)
            return withCrc(hex("000302FFF1"));
        if (frame == kReadHumiOffset)
            return withCrc(hex("000302001E"));
        if (frame == kReadOrder)
            return withCrc(hex("0003020002"));
        return QByteArray();
    };
    rec.click(A::ui(*w).readButton);
    rec.run(70);

    const QStringList expected{
        "0 log 批量读取参数开始",
        "10 pending 100",
        "10 sent " + hexOf(kReadAddress),
        "13 log 设备地址为：5",
        "13 pending 0",
        "20 pending 101",
        "20 sent " + hexOf(kReadBaud),
        "23 log 设备波特率为：38400",
        "23 pending 0",
        "30 pending 102",
        "30 sent " + hexOf(kReadTempOffset),
        "33 log 设备温度修正为：-15",
        "33 pending 0",
        "40 pending 103",
        "40 sent " + hexOf(kReadHumiOffset),
        "43 log 设备湿度修正为：30",
        "43 pending 0",
        "50 pending 104",
        "50 sent " + hexOf(kReadOrder),
        "53 log 温湿度对调：温度在前",
        "53 pending 0",
        "60 log 已发完批量读取命令",
    };
    QCOMPARE(rec.events, expected);
    QCOMPARE(dialogs.shown, 0);
    QVERIFY(!A::batchReadActive(*w));
    auto &ui = A::ui(*w);
    QCOMPARE(int(A::devAddress(*w)), 5);
    QCOMPARE(ui.readAddress_2->value(), 5);
    QCOMPARE(ui.braudRate_2->itemText(0), QStringLiteral("38400"));
    QCOMPARE(ui.tempOffset_1->value(), -15);
    QCOMPARE(ui.humiOffset_1->value(), 30);
    QCOMPARE(ui.BraudRate_5->itemText(0), QStringLiteral("温度在前"));
    QVERIFY(logOf(*w).endsWith(QStringLiteral("T\t已发完批量读取命令\n")));
}

void TestMeasure::batchReadPausesWhileNotConnected()
{
    auto w = makeConnectedWindow();
    Recorder rec(*w);
    rec.click(A::ui(*w).readButton);
    rec.run(50);
    QCOMPARE(int(A::readStep(*w)), 101);

    rec.click(A::ui(*w).disConnectButton);
    rec.events.clear();
    rec.run(500);
    QCOMPARE(rec.events, QStringList());
    QVERIFY(A::batchReadActive(*w));
    QCOMPARE(int(A::readStep(*w)), 101);
    QCOMPARE(A::pendingRequest(*w), 100);

    // Back on line the request has its remaining six periods, not eleven.
    A::linkState(*w) = MovraTestTool::LinkConnected;
    rec.run(70);
    QCOMPARE(rec.events, (QStringList{"620 log 读取设备地址：失败(超时)", "620 pending 101",
                                      "620 sent " + hexOf(kReadBaud)}));
}

void TestMeasure::batchWriteNothingEnabled()
{
    auto w = makeConnectedWindow();
    Dialogs dialogs;
    enableWriteItems(*w, {});
    Recorder rec(*w);
    rec.click(A::ui(*w).writeButton);
    rec.run(200);

    QCOMPARE(rec.events, (QStringList{"0 log 批量写入参数开始", "70 log 批量参数写入完成"}));
    QCOMPARE(logOf(*w),
             logFor({QStringLiteral("批量写入参数开始"), QStringLiteral("批量参数写入完成\r\n")}));
    QVERIFY(A::lastRequest(*w).isEmpty());
    QVERIFY(!A::batchWriteActive(*w));
    QCOMPARE(dialogs.shown, 0);
}

void TestMeasure::batchWriteStationAddress()
{
    auto w = makeConnectedWindow();
    Dialogs dialogs;
    enableWriteItems(*w, {203});
    A::ui(*w).readAddress_3->setValue(5);
    Recorder rec(*w);
    rec.device = [](const QByteArray &frame) {
        return frame;
    };
    rec.click(A::ui(*w).writeButton);
    rec.run(100);

    const QStringList expected{
        "0 log 批量写入参数开始",
        "40 log 正在写入设备的地址为：5",
        "40 pending 203",
        "40 sent 00060100000549e4",
        "43 log 00060100000549e4\t00060100000549e4",
        "43 log 写入成功",
        "43 pending 0",
        "70 log 批量参数写入完成",
    };
    QCOMPARE(rec.events, expected);
    QCOMPARE(dialogs.shown, 0);
    // A new station address changes the device only.
    QCOMPARE(int(A::devAddress(*w)), 1);
}

void TestMeasure::batchWriteBaudRateRestarts()
{
    auto w = makeConnectedWindow();
    Dialogs dialogs;
    enableWriteItems(*w, {204});
    A::ui(*w).BraudRate_3->setCurrentIndex(2);
    QCOMPARE(A::writeBaudRate(*w), 9600);
    Recorder rec(*w);
    // The device confirms the new rate and ignores the restart.
    rec.device = [](const QByteArray &frame) {
        return frame.startsWith(hex("FDFDFD")) ? frame : QByteArray();
    };
    rec.click(A::ui(*w).writeButton);
    rec.run(100);

    const QStringList expected{
        "0 log 批量写入参数开始",
        "50 log 正在写入设备的波特率为：9600",
        "50 pending 204",
        "50 sent fdfdfd0300e978",
        "53 log fdfdfd0300e978\tfdfdfd0300e978",
        "53 log 写入成功",
        "53 log 正在重启设备：",
        "53 pending 0",
        "53 sent " + hexOf(kRestart),
        "70 log 批量参数写入完成",
    };
    QCOMPARE(rec.events, expected);
    QCOMPARE(dialogs.shown, 0);
    QCOMPARE(A::baudRate(*w), 2400);
}

void TestMeasure::batchWriteRejectedEcho()
{
    auto w = makeConnectedWindow();
    Dialogs dialogs;
    enableWriteItems(*w, {203});
    A::ui(*w).readAddress_3->setValue(5);
    const QByteArray altered = withCrc(hex("000601000006"));
    Recorder rec(*w);
    rec.device = [&](const QByteArray &) {
        return altered;
    };

    movratest::ModalRecord &rejected = dialogs.expect();
    rec.click(A::ui(*w).writeButton);
    rec.run(43);
    QVERIFY(rejected.seen);
    QCOMPARE(rejected.title, QStringLiteral("命令写入失败"));
    QCOMPARE(rejected.text, QStringLiteral("1.检查设备与USB工具连接是否正确\r\n"));

    movratest::ModalRecord &summary = dialogs.expect();
    rec.run(100);
    QVERIFY(summary.seen);
    QCOMPARE(summary.title, QStringLiteral("批量写入参数失败"));
    QCOMPARE(summary.text, QStringLiteral("批量参数写入失败数量为:1"));
    QCOMPARE(dialogs.shown, 2);

    const QStringList expected{
        "0 log 批量写入参数开始",
        "40 log 正在写入设备的地址为：5",
        "40 pending 203",
        "40 sent 00060100000549e4",
        "43 log 00060100000549e4\t" + hexOf(altered),
        "43 log 写入失败",
        "110 log 写入设备地址：失败(超时)",
        "110 pending 0",
        "130 log 批量参数写入失败数量为:1",
    };
    QCOMPARE(rec.events, expected);
    QCOMPARE(int(A::writeFailCount(*w)), 0);
}

void TestMeasure::batchWriteSilentDevice()
{
    Dialogs dialogs;
    auto w = makeConnectedWindow();
    enableWriteItems(*w, {200, 201, 203, 204});
    A::ui(*w).TempOffset_2->setValue(-5);
    A::ui(*w).HumiOffset_2->setValue(12);
    A::ui(*w).readAddress_3->setValue(5);
    A::ui(*w).BraudRate_3->setCurrentIndex(6);
    Recorder rec(*w);

    movratest::ModalRecord &summary = dialogs.expect();
    rec.click(A::ui(*w).writeButton);
    rec.run(460);

    // The timeout check runs every eleventh period of the batch, whenever
    // the item was sent.
    const QStringList expected{
        "0 log 批量写入参数开始",
        "10 log 正在写入设备的温度修正为：-0.5℃",
        "10 pending 200",
        "10 sent " + hexOf(withCrc(hex("00060050FFFB"))),
        "110 log 写入设备温度修正：失败(超时)",
        "110 log 正在写入设备的湿度修正为：1.2%",
        "110 pending 201",
        "110 sent " + hexOf(withCrc(hex("00060051000C"))),
        "220 log 写入设备湿度修正：失败(超时)",
        "220 pending 0",
        "230 log 正在写入设备的地址为：5",
        "230 pending 203",
        "230 sent 00060100000549e4",
        "330 log 写入设备地址：失败(超时)",
        "330 log 正在写入设备的波特率为：115200",
        "330 pending 204",
        "330 sent " + hexOf(withCrc(hex("FDFDFD0700"))),
        "440 log 写入设备波特率：失败(超时)",
        "440 pending 0",
        "450 log 批量参数写入失败数量为:4",
    };
    QCOMPARE(rec.events, expected);
    QVERIFY(summary.seen);
    QCOMPARE(summary.title, QStringLiteral("批量写入参数失败"));
    QCOMPARE(summary.text, QStringLiteral("批量参数写入失败数量为:4"));
    QVERIFY(logOf(*w).startsWith(logFor({QStringLiteral("批量写入参数开始"),
                                         QStringLiteral("正在写入设备的温度修正为：-0.5℃\r\n")})));
}

void TestMeasure::batchWriteSecondClickRestarts()
{
    Dialogs dialogs;
    auto w = makeConnectedWindow();
    enableWriteItems(*w, {203});
    A::ui(*w).readAddress_3->setValue(5);
    Recorder rec(*w);
    rec.click(A::ui(*w).writeButton);
    rec.run(110);
    QCOMPARE(int(A::writeFailCount(*w)), 1);
    QCOMPARE(int(A::writeStep(*w)), 205);

    rec.events.clear();
    rec.click(A::ui(*w).writeButton);
    QCOMPARE(int(A::writeStep(*w)), 200);
    QCOMPARE(int(A::writeFailCount(*w)), 1);

    movratest::ModalRecord &summary = dialogs.expect();
    rec.run(150);
    const QStringList expected{
        "110 log 批量写入参数开始",
        "150 log 正在写入设备的地址为：5",
        "150 pending 203",
        "220 log 写入设备地址：失败(超时)",
        "220 pending 0",
        "240 log 批量参数写入失败数量为:2",
    };
    QCOMPARE(rec.events, expected);
    QVERIFY(summary.seen);
    QCOMPARE(summary.text, QStringLiteral("批量参数写入失败数量为:2"));
}

void TestMeasure::batchStartSwitchesOffPeriodicReading_data()
{
    QTest::addColumn<bool>("write");

    QTest::newRow("read") << false;
    QTest::newRow("write") << true;
}

void TestMeasure::batchStartSwitchesOffPeriodicReading()
{
    QFETCH(bool, write);

    auto w = makeConnectedWindow();
    auto &ui = A::ui(*w);
    ui.checkBox_5->click();
    ui.checkBox_6->click();
    QVERIFY(A::autoReadTemp(*w));
    QVERIFY(A::autoReadHumi(*w));

    (write ? ui.writeButton : ui.readButton)->click();

    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!ui.checkBox_6->isChecked());
    QVERIFY(!A::autoReadTemp(*w));
    QVERIFY(!A::autoReadHumi(*w));
    QSettings stored(movratest::settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("enAutoReadTempFlag")).toInt(), 1);
    QCOMPARE(stored.value(QStringLiteral("enAutoReadHumiFlag")).toInt(), 1);
    QCOMPARE(A::batchWriteActive(*w), write);
    QCOMPARE(A::batchReadActive(*w), !write);
}

QTEST_MAIN(TestMeasure)
#include "tst_measure.moc"
