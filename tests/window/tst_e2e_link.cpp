// The link end to end: a real QSerialPort on a pseudo-terminal, the far end
// being the simulated transmitter or a raw peer the test answers itself.
// Connecting, timing out, the baud-rate scan, disconnecting, the port going
// away, reply intake and the port list.

#include <QDir>
#include <QSerialPortInfo>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

#include "Bytes.h"
#include "Pty.h"
#include "Rig.h"
#include "SimulatorHost.h"
#include "TestSupport.h"

namespace {

using movratest::hex;
using movratest::logLinesOf;
using movratest::Rig;

const char kIdentify[] = "0006011000008822";
const char kProbeLine[] = "T\t正在连接设备……";
const char kCheckLines[] = "1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n";
const char kManualHints[] = "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n";

int framesIn(const QByteArray &stream, const QByteArray &frame)
{
    return stream.count(frame);
}

QString setting(const char *key)
{
    QSettings s(movratest::settingsFile(), QSettings::IniFormat);
    return s.value(QLatin1String(key)).toString();
}

// The simulator at `deviceRate`, answering or not, and the window with its
// port chosen.
void startSimulator(Rig &rig, int deviceRate, bool silent)
{
    QVERIFY2(rig.startHost(deviceRate), qPrintable(rig.host.errorString()));
    movrasim::Faults faults;
    faults.silent = silent;
    rig.host.model().setFaults(faults);
    rig.openWindow();
    QVERIFY(rig.selectPort(rig.path));
}

// A raw peer that answers the identification request with the bare model
// name, and nothing else.
QByteArray identifyOnly(const QByteArray &request)
{
    return request.contains(hex(kIdentify)) ? QByteArray("KVT582") : QByteArray();
}

} // namespace

class TestE2eLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void manualConnect_data();
    void manualConnect();
    void automaticScan_data();
    void automaticScan();
    void disconnectAndReconnect();
    void restartRemembersPortAndRate();
    void identification_data();
    void identification();
    void portVanishes_data();
    void portVanishes();
    void burstTakenAtOnce_data();
    void burstTakenAtOnce();
    void refreshPortList_data();
    void refreshPortList();

private:
    // Outlives every test function: a box that comes after a failed check
    // must not be recorded into a dead stack frame.
    movratest::ModalRecord box;
};

void TestE2eLink::initTestCase()
{
    movratest::useOwnSettingsFolder();
    qRegisterMetaType<QSerialPort::SerialPortError>();
    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals here");
}

void TestE2eLink::init()
{
    box = movratest::ModalRecord();
    movratest::removeSettings();
}

void TestE2eLink::cleanup()
{
    movratest::removeSettings();
}

void TestE2eLink::manualConnect_data()
{
    QTest::addColumn<int>("deviceRate");
    QTest::addColumn<int>("windowRate");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("connected");

    QTest::newRow("device at 9600") << 9600 << 9600 << false << true;
    QTest::newRow("device at 115200") << 115200 << 115200 << false << true;
    QTest::newRow("silent device") << 9600 << 9600 << true << false;
    QTest::newRow("tool at 9600, device at 19200") << 19200 << 9600 << false << false;
    QTest::newRow("tool at 4800, device at 2400") << 2400 << 4800 << false << false;
}

void TestE2eLink::manualConnect()
{
    QFETCH(int, deviceRate);
    QFETCH(int, windowRate);
    QFETCH(bool, silent);
    QFETCH(bool, connected);

    Rig rig;
    startSimulator(rig, deviceRate, silent);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    QVERIFY(rig.selectRate(windowRate));

    if (!connected)
        movratest::answerNextModal(&box);
    ui.connectButton->click();
    QVERIFY(rig.settle());
    QVERIFY(w.session().port().isOpen());
    QCOMPARE(w.session().linkState(), movra::LinkState::ManualConnecting);

    // Written at the opening, whatever comes of it.
    QCOMPARE(setting("lastComName"), rig.path);
    QCOMPARE(setting("lastBraudRateIndex"), QString::number(ui.BraudRate_1->currentIndex()));

    const int ticks = rig.ticksUntil(
        [&] { return w.session().linkState() != movra::LinkState::ManualConnecting; }, 100);
    QVERIFY(ticks > 0);
    const QStringList log = logLinesOf(w);

    if (connected) {
        // Probe in the second period, reply taken three ticks later.
        QVERIFY2(ticks <= 23, qPrintable(QString::number(ticks)));
        QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
        QCOMPARE(framesIn(rig.hostIn, hex(kIdentify)), 1);
        QCOMPARE(log, QStringList({kProbeLine, QString(),
                                   QStringLiteral("T\t设备连接成功,波特率为：%1").arg(windowRate),
                                   QString()}));
        QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral(" 设备连接成功"));
        QVERIFY(w.session().port().isOpen());
        QVERIFY(!ui.connectButton->isEnabled());
        QVERIFY(!ui.SerialComNum->isEnabled());
        QVERIFY(ui.disConnectButton->isEnabled());
        QVERIFY(ui.manualReadButton->isEnabled());
        QVERIFY(ui.readButton->isEnabled());
        QVERIFY(ui.writeButton->isEnabled());
        QVERIFY(rig.dialogs.titles.isEmpty());
        return;
    }

    // Gives up in the sixth period.
    QVERIFY2(ticks > 50 && ticks <= 60, qPrintable(QString::number(ticks)));
    QTRY_VERIFY_WITH_TIMEOUT(box.seen, 3000);
    QCOMPARE(box.title, QStringLiteral("手动连接超时"));
    QCOMPARE(box.text, QString::fromUtf8(kCheckLines) + QString::fromUtf8(kManualHints));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("手动连接超时")});
    QCOMPARE(w.session().linkState(), movra::LinkState::Failed);
    QVERIFY(!w.session().port().isOpen());
    QCOMPARE(ui.statusBar->currentMessage(),
             QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
    // Both probes reached the device, which kept quiet or heard noise.
    QCOMPARE(framesIn(rig.hostIn, hex(kIdentify)), 2);
    QCOMPARE(rig.hostOut, 0);
    QCOMPARE(log,
             QStringList(
                 {kProbeLine, QString(), kProbeLine, QString(), QStringLiteral("T\t手动连接超时"),
                  QString(), QStringLiteral("1.检查设备与USB工具连接是否正确"),
                  QStringLiteral("2.检查串口是否选择正确"), QStringLiteral("3.波特率是否选择正确"),
                  QStringLiteral("4.站号是否选择正确"), QString()}));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(!ui.readButton->isEnabled());
}

void TestE2eLink::automaticScan_data()
{
    QTest::addColumn<int>("deviceRate");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("probes");
    QTest::addColumn<int>("lastIndex");

    // The button opens at 2400 and the scan starts at 2400 again: one probe
    // per window, 2400 twice, then up the list.
    QTest::newRow("device at 2400") << 2400 << false << 1 << 0;
    QTest::newRow("device at 19200") << 19200 << false << 5 << 3;
    QTest::newRow("device at 115200") << 115200 << false << 8 << 6;
    QTest::newRow("silent device") << 9600 << true << 8 << 6;
}

void TestE2eLink::automaticScan()
{
    QFETCH(int, deviceRate);
    QFETCH(bool, silent);
    QFETCH(int, probes);
    QFETCH(int, lastIndex);

    Rig rig;
    startSimulator(rig, deviceRate, silent);
    if (QTest::currentTestFailed())
        return;
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    // The scan starts from the first item whatever was chosen before.
    QVERIFY(rig.selectRate(38400));

    if (silent)
        movratest::answerNextModal(&box);
    ui.autoConnectButton->click();
    QVERIFY(rig.settle());
    QCOMPARE(w.session().linkState(), movra::LinkState::AutoConnecting);

    const int ticks = rig.ticksUntil(
        [&] { return w.session().linkState() != movra::LinkState::AutoConnecting; }, 300);
    QVERIFY(ticks > 0);
    QVERIFY2(ticks <= 250, qPrintable(QString::number(ticks)));

    const QStringList log = logLinesOf(w);
    QCOMPARE(framesIn(rig.hostIn, hex(kIdentify)), probes);
    QCOMPARE(log.count(QString::fromUtf8(kProbeLine)), probes);
    QCOMPARE(setting("lastBraudRateIndex"), QString::number(lastIndex));
    QCOMPARE(setting("lastComName"), rig.path);

    if (!silent) {
        QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
        QCOMPARE(ui.BraudRate_1->currentText(), QString::number(deviceRate));
        QCOMPARE(log.mid(log.size() - 2),
                 QStringList(
                     {QStringLiteral("T\t设备连接成功,波特率为：%1").arg(deviceRate), QString()}));
        QVERIFY(w.session().port().isOpen());
        QCOMPARE(w.session().port().baudRate(), deviceRate);
        QVERIFY(rig.dialogs.titles.isEmpty());
        return;
    }

    QTRY_VERIFY_WITH_TIMEOUT(box.seen, 3000);
    QCOMPARE(box.title, QStringLiteral("自动连接超时"));
    QCOMPARE(box.text, QString::fromUtf8(kCheckLines));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("自动连接超时")});
    QCOMPARE(w.session().linkState(), movra::LinkState::Failed);
    QVERIFY(!w.session().port().isOpen());
    QCOMPARE(log.mid(log.size() - 5),
             QStringList({QStringLiteral("T\t自动连接超时"), QString(),
                          QStringLiteral("1.检查设备与USB工具连接是否正确"),
                          QStringLiteral("2.检查串口是否选择正确"), QString()}));
}

void TestE2eLink::disconnectAndReconnect()
{
    Rig rig;
    QVERIFY2(rig.startHost(), qPrintable(rig.host.errorString()));
    rig.openWindow();
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(9600));

    ui.disConnectButton->click();
    QVERIFY(rig.settle());
    QVERIFY(!w.session().port().isOpen());
    QCOMPARE(w.session().linkState(), movra::LinkState::Disconnected);
    QCOMPARE(logLinesOf(w).constLast(), QStringLiteral("T\t设备已经断开"));
    QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral(" 设备已断开 请重新连接"));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(ui.SerialComNum->isEnabled());
    QVERIFY(!ui.manualReadButton->isEnabled());

    // Nothing goes out on a closed port, even while ticks run.
    const int heard = rig.hostIn.size();
    QVERIFY(rig.tick(100));
    QCOMPARE(rig.hostIn.size(), heard);

    // The port was let go properly: the same device connects again.
    QVERIFY(rig.connectAt(9600));
    QCOMPARE(framesIn(rig.hostIn, hex(kIdentify)), 2);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eLink::restartRemembersPortAndRate()
{
    Rig rig;
    QVERIFY2(rig.startHost(19200), qPrintable(rig.host.errorString()));
    rig.openWindow();
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(19200));

    // The operator closes the tool and starts it again: no choice is made,
    // the port and rate of the last opening are preselected.
    rig.w.reset();
    rig.openWindow();
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    QCOMPARE(ui.SerialComNum->currentText(), rig.path);
    QCOMPARE(ui.BraudRate_1->currentText(), QStringLiteral("19200"));

    ui.connectButton->click();
    QVERIFY(rig.settle());
    // The preselected entry is the port that opens.
    QCOMPARE(w.session().port().portName(), QSerialPort(rig.path).portName());
    QVERIFY(rig.ticksUntil([&] { return w.session().linkState() == movra::LinkState::Connected; },
                           100) > 0);
    QCOMPARE(framesIn(rig.hostIn, hex(kIdentify)), 2);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eLink::identification_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("maker's text") << QByteArray("ARDENO\0KVT582-TH\0V1.31\0", 24) << true;
    QTest::newRow("model name alone") << QByteArray("KVT582") << true;
    QTest::newRow("lower case") << QByteArray("ardeno\0kvt582-th\0v1.31\0", 24) << false;
    QTest::newRow("NUL inside the model name") << QByteArray("KVT\0"
                                                             "582",
                                                             7)
                                               << false;
    QTest::newRow("other model") << QByteArray("ARDENO\0KVT583-TH\0", 17) << false;
}

void TestE2eLink::identification()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, accepted);

    Rig rig;
    QVERIFY2(rig.startPeer(), qPrintable(rig.peer->errorString()));
    rig.answer = [&](const QByteArray &request) {
        return request.contains(hex(kIdentify)) ? reply : QByteArray();
    };
    rig.openWindow();
    MovraTestTool &w = *rig.w;
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.selectRate(9600));

    if (!accepted)
        movratest::answerNextModal(&box);
    rig.ui().connectButton->click();
    QVERIFY(rig.settle());
    const int ticks = rig.ticksUntil(
        [&] { return w.session().linkState() != movra::LinkState::ManualConnecting; }, 100);
    QVERIFY(ticks > 0);

    if (accepted) {
        QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
        QCOMPARE(rig.peerIn, hex(kIdentify));
        QVERIFY(rig.dialogs.titles.isEmpty());
        return;
    }
    // Both answers were heard and judged, and the attempt ran out.
    QCOMPARE(rig.peerIn, hex(kIdentify) + hex(kIdentify));
    QCOMPARE(rig.taken(), qint64(2 * reply.size()));
    QCOMPARE(w.session().linkState(), movra::LinkState::Failed);
    QTRY_VERIFY_WITH_TIMEOUT(box.seen, 3000);
    QCOMPARE(box.title, QStringLiteral("手动连接超时"));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("手动连接超时")});
    QVERIFY(!logLinesOf(w).join(QLatin1Char('\n')).contains(QStringLiteral("设备连接成功")));
}

void TestE2eLink::portVanishes_data()
{
    QTest::addColumn<bool>("simulator");

    QTest::newRow("simulator stopped") << true;
    QTest::newRow("raw peer hung up") << false;
}

void TestE2eLink::portVanishes()
{
    QFETCH(bool, simulator);

    Rig rig;
    if (simulator) {
        QVERIFY2(rig.startHost(), qPrintable(rig.host.errorString()));
    } else {
        QVERIFY2(rig.startPeer(), qPrintable(rig.peer->errorString()));
        rig.answer = identifyOnly;
    }
    rig.openWindow();
    MovraTestTool &w = *rig.w;
    auto &ui = rig.ui();
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(9600));

    // From here the window's own timer drives it, as in the field.
    QSignalSpy ticks(&w.ticker(), &movra::TickScheduler::tick);
    QSignalSpy errors(&w.session().port(), &QSerialPort::errorOccurred);
    w.ticker().start();
    movratest::answerNextModal(&box);

    if (simulator)
        rig.host.stop();
    else
        rig.peer->closeMaster();

    QVERIFY(QTest::qWaitFor([&] { return box.seen; }, 3000));
    QCOMPARE(box.title, QStringLiteral("串口操作错误"));
    QVERIFY2(box.text.startsWith(QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n")),
             qPrintable(box.text));
    QVERIFY(box.text.size() > QStringLiteral("请检查当前选择的串口是否可用!\r\n\r\n").size());

    // Let a possible storm show itself: a bounded run of the event loop.
    const int ticksAfterBox = ticks.count();
    QVERIFY(QTest::qWaitFor([&] { return ticks.count() >= ticksAfterBox + 30; }, 5000));
    QCOMPARE(rig.dialogs.titles, QStringList{QStringLiteral("串口操作错误")});
    QVERIFY2(errors.count() >= 1 && errors.count() <= 3,
             qPrintable(QString::number(errors.count())));
    QCOMPARE(w.session().linkState(), movra::LinkState::Failed);
    QVERIFY(!w.session().port().isOpen());
    QVERIFY(w.ticker().isActive());
    QCOMPARE(ui.statusBar->currentMessage(),
             QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(!ui.manualReadButton->isEnabled());
}

void TestE2eLink::burstTakenAtOnce_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("ticksToTake");

    QTest::newRow("100 bytes wait for quiet") << 100 << 3;
    QTest::newRow("101 bytes") << 101 << 1;
    QTest::newRow("1000 bytes") << 1000 << 1;
}

void TestE2eLink::burstTakenAtOnce()
{
    QFETCH(int, size);
    QFETCH(int, ticksToTake);

    Rig rig;
    QVERIFY2(rig.startPeer(), qPrintable(rig.peer->errorString()));
    rig.answer = identifyOnly;
    rig.openWindow();
    MovraTestTool &w = *rig.w;
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(9600));

    const QByteArray burst(size, char(0x55));
    QVERIFY(rig.peer->writeMaster(burst));
    rig.peerOut += size;
    QVERIFY(QTest::qWaitFor([&] { return w.session().bufferedBytes() == size; }, 3000));

    int ticks = 0;
    while (!w.session().bufferedBytes() == 0 && ticks < 10) {
        QVERIFY(rig.tick());
        ++ticks;
    }
    QCOMPARE(ticks, ticksToTake);
    QCOMPARE(rig.taken(), qint64(size) + 6);
    // Noise leaves the link alone.
    QCOMPARE(w.session().linkState(), movra::LinkState::Connected);
    QVERIFY(rig.dialogs.titles.isEmpty());
}

void TestE2eLink::refreshPortList_data()
{
    QTest::addColumn<int>("extraAfter");

    QTest::newRow("one simulator") << 1;
    QTest::newRow("two simulators") << 2;
}

void TestE2eLink::refreshPortList()
{
    QFETCH(int, extraAfter);

    Rig rig;
    QVERIFY2(rig.startHost(), qPrintable(rig.host.errorString()));
    movrasim::SimulatorHost second;
    const QString secondPath = second.start();
    QVERIFY2(!secondPath.isEmpty(), qPrintable(second.errorString()));
    // The extra ports are the program's from its start; a refresh offers
    // them again after the system's.
    QStringList extra{rig.path};
    if (extraAfter >= 2)
        extra << secondPath;
    rig.openWindow(extra.join(QDir::listSeparator()));
    auto &ui = rig.ui();
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(ui.SerialComNum->currentText() != QStringLiteral("刷新串口"));

    QStringList expected;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        expected << info.portName();
    expected << extra << QStringLiteral("刷新串口");

    ui.SerialComNum->setCurrentIndex(ui.SerialComNum->count() - 1);

    QStringList shown;
    for (int i = 0; i < ui.SerialComNum->count(); ++i)
        shown << ui.SerialComNum->itemText(i);
    QCOMPARE(shown, expected);
    QCOMPARE(ui.SerialComNum->currentIndex(), 0);
    QCOMPARE(ui.SerialComNum->currentText(), expected.first());
    QVERIFY(rig.dialogs.titles.isEmpty());

    // The simulator's entry came back and still reaches the device.
    QVERIFY(rig.selectPort(rig.path));
    QVERIFY(rig.connectAt(9600));
    QVERIFY(rig.dialogs.titles.isEmpty());
}

QTEST_MAIN(TestE2eLink)
#include "tst_e2e_link.moc"
