// The tick engine without a serial port: reply intake, the handshake, the
// manual connection step, the connect and disconnect slots, and the reply
// handler as the tick drives it.

#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>
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

QString observe(MovraTestTool &w, const QString &what)
{
    auto &ui = A::ui(w);
    if (what == QLatin1String("label_Temp"))
        return ui.label_Temp->text();
    if (what == QLatin1String("label_Humidy"))
        return ui.label_Humidy->text();
    if (what == QLatin1String("readAddress_1"))
        return QString::number(ui.readAddress_1->value());
    if (what == QLatin1String("readAddress_2"))
        return QString::number(ui.readAddress_2->value());
    if (what == QLatin1String("braudRate_2"))
        return ui.braudRate_2->itemText(0);
    if (what == QLatin1String("BraudRate_5"))
        return ui.BraudRate_5->itemText(0);
    if (what == QLatin1String("tempOffset_1"))
        return QString::number(ui.tempOffset_1->value());
    if (what == QLatin1String("humiOffset_1"))
        return QString::number(ui.humiOffset_1->value());
    if (what == QLatin1String("devAddress"))
        return QString::number(A::devAddress(w));
    if (what == QLatin1String("lastRequest"))
        return QString::fromLatin1(A::lastRequest(w).toHex());
    if (what == QLatin1String("pendingRequest"))
        return QString::number(A::pendingRequest(w));
    return QStringLiteral("<unknown %1>").arg(what);
}

const char kManualHints[] = "1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n"
                            "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n";

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void replyIntake_data();
    void replyIntake();

    void handshake_data();
    void handshake();

    void manualStepWithPortClosed();
    void connectButtonsIgnoredDuringAttempt_data();
    void connectButtonsIgnoredDuringAttempt();
    void disconnect();
    void interruptedBatchItemGoesOutAgain_data();
    void interruptedBatchItemGoesOutAgain();

    void handleReply_data();
    void handleReply();
    void rejectedEchoNotHandledTwice();
};

void TestEngine::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestEngine::cleanup()
{
    movratest::removeSettings();
}

void TestEngine::replyIntake_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("taken");
    QTest::addColumn<QString>("humidity");

    // Script: "F<n>" feeds the next n bytes of a measurement reply (padded
    // with zeros), "T" runs one tick. `taken` has one mark per tick: "x"
    // where the receive buffer has just been emptied.
    QTest::newRow("reply at once") << "F9 T T T"
                                   << "--x"
                                   << "60.0";
    QTest::newRow("pauses of two ticks join the parts") << "F4 T T F5 T T T"
                                                        << "----x"
                                                        << "60.0";
    QTest::newRow("byte by byte with one-tick gaps")
        << "F1 T F1 T F1 T F1 T F1 T F1 T F1 T F1 T F1 T T T"
        << "----------x"
        << "60.0";
    QTest::newRow("three quiet ticks split the reply") << "F4 T T T F5 T T T"
                                                       << "--x--x"
                                                       << "0";
    QTest::newRow("100 bytes wait for quiet") << "F100 T T T"
                                              << "--x"
                                              << "0";
    QTest::newRow("101 bytes taken at the next tick") << "F101 T"
                                                      << "x"
                                                      << "0";
    QTest::newRow("stream passing 100 bytes") << "F60 T F41 T"
                                              << "-x"
                                              << "0";
    QTest::newRow("stream reaching exactly 100 bytes") << "F50 T F50 T F1 T"
                                                       << "--x"
                                                       << "0";
}

void TestEngine::replyIntake()
{
    QFETCH(QString, script);
    QFETCH(QString, taken);
    QFETCH(QString, humidity);

    auto w = makeWindow();
    A::pendingRequest(*w) = 5;
    A::devAddress(*w) = 1;
    const QByteArray stream = hex("010304025800FAFA1B") + QByteArray(200, '\0');

    int fed = 0;
    QString marks;
    for (const QString &step : script.split(QLatin1Char(' '))) {
        if (step.startsWith(QLatin1Char('F'))) {
            const int n = step.mid(1).toInt();
            A::feed(*w, stream.mid(fed, n));
            fed += n;
        } else {
            const bool before = !A::rxBuffer(*w).isEmpty();
            movratest::tick(*w);
            marks += before && A::rxBuffer(*w).isEmpty() ? QLatin1Char('x') : QLatin1Char('-');
        }
    }
    QCOMPARE(marks, taken);
    QCOMPARE(A::ui(*w).label_Humidy->text(), humidity);
    QCOMPARE(A::pendingRequest(*w), humidity == QLatin1String("0") ? 5 : 0);
}

void TestEngine::handshake_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("pending");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<bool>("readOnConnect");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("log");

    const QByteArray ident("\0\0KVT582-TH V1.0\0", 17);

    QTest::newRow("manual, NULs before the name")
        << 1 << 1 << false << 0 << false << ident << true << 1
        << QStringList{"设备连接成功,波特率为：2400\r\n"};
    QTest::newRow("automatic at 19200") << 2 << 1 << false << 3 << false << ident << true << 1
                                        << QStringList{"设备连接成功,波特率为：19200\r\n"};
    QTest::newRow("answer after the attempt timed out")
        << 4 << 1 << false << 2 << false << ident << true << 1
        << QStringList{"设备连接成功,波特率为：9600\r\n"};
    QTest::newRow("lower case refused") << 1 << 1 << false << 0 << false
                                        << QByteArray("\0kvt582", 7) << false << 1 << QStringList();
    QTest::newRow("no probe pending")
        << 1 << 0 << false << 0 << false << ident << false << 1 << QStringList();
    QTest::newRow("start the batch read")
        << 1 << 1 << false << 0 << true << QByteArray("KVT582") << true << 1
        << QStringList{"设备连接成功,波特率为：2400\r\n"};

    QTest::newRow("test mode, address from the probe reply")
        << 1 << 2 << true << 0 << false << hex("FD03040005") << true << 5
        << QStringList{"设备连接成功,波特率为：2400\r\n", "设备地址为：5\r\n"};
    QTest::newRow("test mode, full probe reply after code 1")
        << 2 << 1 << true << 1 << false << withCrc(hex("FD030400FE0000")) << true << 254
        << QStringList{"设备连接成功,波特率为：4800\r\n", "设备地址为：254\r\n"};
    QTest::newRow("test mode, any 4 bytes")
        << 1 << 2 << true << 0 << false << hex("01020304") << true << 1
        << QStringList{"设备连接成功,波特率为：2400\r\n"};
    QTest::newRow("test mode, 3 bytes")
        << 1 << 2 << true << 0 << false << hex("FD0304") << false << 1 << QStringList();
}

void TestEngine::handshake()
{
    QFETCH(int, state);
    QFETCH(int, pending);
    QFETCH(bool, testMode);
    QFETCH(int, baudIndex);
    QFETCH(bool, readOnConnect);
    QFETCH(QByteArray, block);
    QFETCH(bool, connected);
    QFETCH(int, address);
    QFETCH(QStringList, log);

    auto w = makeWindow();
    auto &ui = A::ui(*w);
    ui.BraudRate_1->setCurrentIndex(baudIndex);
    A::linkState(*w) = state;
    A::pendingRequest(*w) = pending;
    A::testMode(*w) = testMode;
    A::readParamOnConnect(*w) = readOnConnect;
    A::periodTicks(*w) = 0;
    ui.statusBar->showMessage(QStringLiteral("before"));

    A::feed(*w, block);
    movratest::tick(*w, 2);
    QCOMPARE(A::linkState(*w), state);
    movratest::tick(*w);

    QVERIFY(A::rxBuffer(*w).isEmpty());
    QCOMPARE(A::linkState(*w), connected ? 3 : state);
    QCOMPARE(int(A::devAddress(*w)), address);
    QCOMPARE(ui.readAddress_1->value(), address);
    QCOMPARE(ui.readAddress_2->value(), address);
    QCOMPARE(logOf(*w), logFor(log));
    QCOMPARE(ui.statusBar->currentMessage(),
             connected ? QStringLiteral(" 设备连接成功") : QStringLiteral("before"));
    QCOMPARE(ui.readButton->isEnabled(), connected);
    QCOMPARE(ui.connectButton->isEnabled(), !connected);
    QCOMPARE(A::batchReadActive(*w), connected && readOnConnect);
    if (connected && readOnConnect)
        QCOMPARE(int(A::readStep(*w)), 100);
    if (pending != 0)
        QCOMPARE(A::pendingRequest(*w), 0);
}

void TestEngine::manualStepWithPortClosed()
{
    auto w = makeWindow();
    auto &ui = A::ui(*w);
    Dialogs dialogs;
    A::linkState(*w) = 1;
    A::connectCount(*w) = 0;
    A::periodTicks(*w) = 0;

    // Five periods: a closed port gets no probe.
    movratest::tick(*w, 50);
    QCOMPARE(int(A::connectCount(*w)), 5);
    QCOMPARE(A::linkState(*w), 1);
    QVERIFY(A::lastRequest(*w).isEmpty());
    QCOMPARE(A::pendingRequest(*w), 0);
    QCOMPARE(logOf(*w), QString());

    movratest::ModalRecord &box = dialogs.expect();
    movratest::tick(*w, 9);
    QCOMPARE(dialogs.shown, 0);
    movratest::tick(*w);

    QVERIFY(box.seen);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(box.title, QStringLiteral("手动连接超时"));
    QCOMPARE(box.text, QString::fromUtf8(kManualHints));
    QCOMPARE(A::linkState(*w), 4);
    QCOMPARE(int(A::connectCount(*w)), 1);
    QVERIFY(!A::serialPort(*w).isOpen());
    QCOMPARE(ui.statusBar->currentMessage(),
             QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
    QCOMPARE(logOf(*w),
             logFor({QStringLiteral("手动连接超时\r\n\r\n") + QString::fromUtf8(kManualHints)}));

    // Failed is a resting state: later periods do nothing.
    movratest::tick(*w, 100);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(A::linkState(*w), 4);
}

void TestEngine::connectButtonsIgnoredDuringAttempt_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("autoButton");

    QTest::newRow("manual attempt, connect") << 1 << false;
    QTest::newRow("manual attempt, auto connect") << 1 << true;
    QTest::newRow("automatic scan, connect") << 2 << false;
    QTest::newRow("automatic scan, auto connect") << 2 << true;
}

void TestEngine::connectButtonsIgnoredDuringAttempt()
{
    QFETCH(int, state);
    QFETCH(bool, autoButton);

    auto w = makeWindow();
    auto &ui = A::ui(*w);
    Dialogs dialogs;
    ui.BraudRate_1->setCurrentIndex(3);
    A::linkState(*w) = state;
    A::autoBaudIndex(*w) = 4;
    A::connectCount(*w) = 2;
    ui.statusBar->showMessage(QStringLiteral("before"));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(ui.autoConnectButton->isEnabled());

    (autoButton ? ui.autoConnectButton : ui.connectButton)->click();

    QCOMPARE(A::linkState(*w), state);
    QCOMPARE(ui.BraudRate_1->currentIndex(), 3);
    QCOMPARE(A::autoBaudIndex(*w), 4);
    QCOMPARE(int(A::connectCount(*w)), 2);
    QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral("before"));
    QCOMPARE(dialogs.shown, 0);
    QSettings stored(movratest::settingsFile(), QSettings::IniFormat);
    QVERIFY(!stored.contains(QStringLiteral("lastComName")));
    QVERIFY(!stored.contains(QStringLiteral("lastBraudRateIndex")));
}

void TestEngine::disconnect()
{
    auto w = makeWindow();
    auto &ui = A::ui(*w);
    A::linkState(*w) = 3;
    A::refreshControls(*w);
    ui.checkBox_5->setChecked(true);
    A::autoReadTemp(*w) = true;
    A::pendingRequest(*w) = 102;
    A::batchReadActive(*w) = true;
    A::readStep(*w) = 103;
    QVERIFY(ui.disConnectButton->isEnabled());

    ui.disConnectButton->click();

    QCOMPARE(A::linkState(*w), 5);
    QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral(" 设备已断开 请重新连接"));
    QCOMPARE(logOf(*w), logFor({QStringLiteral("设备已经断开")}));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(ui.disConnectButton->isEnabled());
    QVERIFY(!ui.readButton->isEnabled());
    QVERIFY(!ui.manualReadButton->isEnabled());
    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!A::autoReadTemp(*w));
    // An interrupted batch keeps its place for the next connection.
    QCOMPARE(A::pendingRequest(*w), 102);
    QVERIFY(A::batchReadActive(*w));
    QCOMPARE(int(A::readStep(*w)), 103);

    // In any state, again.
    ui.textEdit->clear();
    ui.disConnectButton->click();
    QCOMPARE(A::linkState(*w), 5);
    QCOMPARE(logOf(*w), logFor({QStringLiteral("设备已经断开")}));
}

void TestEngine::interruptedBatchItemGoesOutAgain_data()
{
    QTest::addColumn<bool>("autoButton");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<bool>("writing");
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("readStep");
    QTest::addColumn<int>("writeStep");
    QTest::addColumn<int>("readStepAfter");
    QTest::addColumn<int>("writeStepAfter");

    QTest::newRow("read item, connect") << false << true << false << 102 << 103 << 0 << 102 << 0;
    QTest::newRow("first read item, auto connect")
        << true << true << false << 100 << 101 << 0 << 100 << 0;
    QTest::newRow("write item, connect") << false << false << true << 201 << 0 << 202 << 0 << 201;
    QTest::newRow("baud-rate write, auto connect")
        << true << false << true << 204 << 0 << 205 << 0 << 204;
    QTest::newRow("restart, never awaited")
        << false << false << true << 205 << 0 << 206 << 0 << 206;
    QTest::newRow("read item of a batch read that was stopped")
        << false << false << true << 102 << 103 << 203 << 103 << 203;
    QTest::newRow("write item of a batch write that was stopped")
        << false << true << false << 202 << 101 << 203 << 101 << 203;
    QTest::newRow("both running, write item")
        << false << true << true << 200 << 101 << 201 << 101 << 200;
    QTest::newRow("measurement pending") << false << true << true << 5 << 102 << 202 << 102 << 202;
    QTest::newRow("nothing pending") << true << true << false << 0 << 104 << 0 << 104 << 0;
}

void TestEngine::interruptedBatchItemGoesOutAgain()
{
    QFETCH(bool, autoButton);
    QFETCH(bool, reading);
    QFETCH(bool, writing);
    QFETCH(int, pending);
    QFETCH(int, readStep);
    QFETCH(int, writeStep);
    QFETCH(int, readStepAfter);
    QFETCH(int, writeStepAfter);

    auto w = makeWindow();
    Dialogs dialogs;
    A::linkState(*w) = 4;
    A::batchReadActive(*w) = reading;
    A::batchWriteActive(*w) = writing;
    A::pendingRequest(*w) = pending;
    A::readStep(*w) = qint16(readStep);
    A::writeStep(*w) = qint16(writeStep);

    (autoButton ? A::ui(*w).autoConnectButton : A::ui(*w).connectButton)->click();

    QCOMPARE(int(A::readStep(*w)), readStepAfter);
    QCOMPARE(int(A::writeStep(*w)), writeStepAfter);
    QCOMPARE(A::batchReadActive(*w), reading);
    QCOMPARE(A::batchWriteActive(*w), writing);
}

void TestEngine::handleReply_data()
{
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("settled");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("shows");
    QTest::addColumn<QString>("boxTitle");

    const QByteArray both = hex("010304025800FAFA1B"); // humidity 600, temperature 250
    const QByteArray readReq = hex("010300000002C40B");
    const QByteArray addrWrite = hex("00060100000549E4");
    const QByteArray baud9600 = hex("FDFDFD0300E978");
    const QString none;

    QTest::newRow("3: humidity") << 3 << 1 << readReq << withCrc(hex("01030201F4")) << true
                                 << QStringList{"湿度:50.0 %"}
                                 << QStringList{"label_Humidy=50.0", "label_Temp=0"} << none;
    QTest::newRow("4: temperature")
        << 4 << 1 << readReq << withCrc(hex("010302FF38")) << true << QStringList{"温度:-20.0 ℃"}
        << QStringList{"label_Temp=-20.0", "label_Humidy=0"} << none;
    QTest::newRow("5: both, humidity first")
        << 5 << 1 << readReq << both << true << QStringList{"湿度:60.0 %", "温度:25.0 ℃"}
        << QStringList{"label_Humidy=60.0", "label_Temp=25.0"} << none;
    QTest::newRow("5: both, after the echo")
        << 5 << 1 << readReq << readReq + both << true << QStringList{"湿度:60.0 %", "温度:25.0 ℃"}
        << QStringList{"label_Humidy=60.0", "label_Temp=25.0"} << none;
    QTest::newRow("5: another address dropped but settled")
        << 5 << 2 << readReq << both << true << QStringList()
        << QStringList{"label_Humidy=0", "label_Temp=0"} << none;
    QTest::newRow("3: another address dropped but settled")
        << 3 << 7 << readReq << withCrc(hex("01030201F4")) << true << QStringList()
        << QStringList{"label_Humidy=0"} << none;
    QTest::newRow("5: bad CRC stays pending")
        << 5 << 1 << readReq << hex("010304025800FAFA1C") << false << QStringList()
        << QStringList{"label_Humidy=0"} << none;
    QTest::newRow("5: exception stays pending") << 5 << 1 << readReq << withCrc(hex("018302"))
                                                << false << QStringList() << QStringList() << none;
    QTest::newRow("0: read reply settles quietly")
        << 0 << 1 << readReq << both << true << QStringList()
        << QStringList{"label_Humidy=0", "label_Temp=0"} << none;

    QTest::newRow("100: station address from any address")
        << 100 << 1 << QByteArray() << withCrc(hex("0703020105")) << true
        << QStringList{"设备地址为：5\r\n"}
        << QStringList{"devAddress=5", "readAddress_1=5", "readAddress_2=5"} << none;
    QTest::newRow("101: read reply code 3")
        << 101 << 1 << QByteArray() << withCrc(hex("0003020003")) << true
        << QStringList{"设备波特率为：9600\r\n"} << QStringList{"braudRate_2=9600"} << none;
    QTest::newRow("101: read reply code 7")
        << 101 << 1 << QByteArray() << withCrc(hex("0003020007")) << true
        << QStringList{"设备波特率为：115200\r\n"} << QStringList{"braudRate_2=115200"} << none;
    QTest::newRow("101: read reply code 0x0102 reads as 9600")
        << 101 << 1 << QByteArray() << withCrc(hex("0003020102")) << true
        << QStringList{"设备波特率为：9600\r\n"} << QStringList{"braudRate_2=9600"} << none;
    QTest::newRow("101: baud reply 38400")
        << 101 << 1 << hex("FDFDFD0000E988") << withCrc(hex("FDFDFD0500")) << true
        << QStringList{"设备波特率为：38400\r\n"} << QStringList{"braudRate_2=38400"} << none;
    QTest::newRow("101: baud reply code 0 shows nothing")
        << 101 << 1 << hex("FDFDFD0000E988") << hex("FDFDFD0000E988") << true << QStringList()
        << QStringList{"braudRate_2=2400"} << none;
    QTest::newRow("101: baud reply code 9 reads as 9600")
        << 101 << 1 << QByteArray() << withCrc(hex("FDFDFD0900")) << true
        << QStringList{"设备波特率为：9600\r\n"} << QStringList{"braudRate_2=9600"} << none;
    QTest::newRow("101: baud reply with bad CRC")
        << 101 << 1 << QByteArray() << hex("FDFDFD0300E979") << false << QStringList()
        << QStringList{"braudRate_2=2400"} << none;
    QTest::newRow("102: temperature correction -15")
        << 102 << 1 << QByteArray() << withCrc(hex("000302FFF1")) << true
        << QStringList{"设备温度修正为：-15\r\n"} << QStringList{"tempOffset_1=-15"} << none;
    QTest::newRow("103: humidity correction -15")
        << 103 << 1 << QByteArray() << withCrc(hex("000302FFF1")) << true
        << QStringList{"设备湿度修正为：-15\r\n"} << QStringList{"humiOffset_1=-15"} << none;
    QTest::newRow("103: humidity correction 30")
        << 103 << 1 << QByteArray() << withCrc(hex("000302001E")) << true
        << QStringList{"设备湿度修正为：30\r\n"} << QStringList{"humiOffset_1=30"} << none;
    // The write side's combo box stands at item 2 in every row.
    QTest::newRow("104: device holds 0")
        << 104 << 1 << QByteArray() << withCrc(hex("0003020000")) << true
        << QStringList{"温湿度对调：硬件决定\r\n"} << QStringList{"BraudRate_5=硬件决定"} << none;
    QTest::newRow("104: device holds 1")
        << 104 << 1 << QByteArray() << withCrc(hex("0003020001")) << true
        << QStringList{"温湿度对调：湿度在前\r\n"} << QStringList{"BraudRate_5=湿度在前"} << none;
    QTest::newRow("104: device holds 9")
        << 104 << 1 << QByteArray() << withCrc(hex("0003020009")) << true
        << QStringList{"温湿度对调：9\r\n"} << QStringList{"BraudRate_5=9"} << none;

    QTest::newRow("204: baud reply restarts the device")
        << 204 << 1 << baud9600 << baud9600 << true
        << QStringList{"fdfdfd0300e978\tfdfdfd0300e978", "写入成功", "正在重启设备：\r\n"}
        << QStringList{"lastRequest=000601040000c826", "braudRate_2=2400"} << none;
    QTest::newRow("203: exact echo")
        << 203 << 1 << addrWrite << addrWrite << true
        << QStringList{"00060100000549e4\t00060100000549e4", "写入成功"}
        << QStringList{"lastRequest=00060100000549e4"} << none;
    QTest::newRow("203: echo and reply in one block")
        << 203 << 1 << addrWrite << addrWrite + addrWrite << false
        << QStringList{"00060100000549e4\t00060100000549e400060100000549e4", "写入失败"}
        << QStringList() << "命令写入失败";
    QTest::newRow("200: echo with another value")
        << 200 << 1 << hex("00060050FFF1087E") << withCrc(hex("00060050FFF0")) << false
        << QStringList{"00060050fff1087e\t" +
                           QString::fromLatin1(withCrc(hex("00060050FFF0")).toHex()),
                       "写入失败"}
        << QStringList() << "命令写入失败";
    QTest::newRow("5: echo without a write pending")
        << 5 << 1 << addrWrite << addrWrite << false << QStringList() << QStringList() << none;
    QTest::newRow("205: echo of the restart is not awaited")
        << 205 << 1 << hex("000601040000C826") << hex("000601040000C826") << false << QStringList()
        << QStringList() << none;
}

void TestEngine::handleReply()
{
    QFETCH(int, pending);
    QFETCH(int, address);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, block);
    QFETCH(bool, settled);
    QFETCH(QStringList, log);
    QFETCH(QStringList, shows);
    QFETCH(QString, boxTitle);

    auto w = makeWindow();
    Dialogs dialogs;
    A::ui(*w).BraudRate_4->setCurrentIndex(2);
    A::pendingRequest(*w) = pending;
    A::devAddress(*w) = quint8(address);
    A::lastRequest(*w) = request;
    A::periodTicks(*w) = 0;

    movratest::ModalRecord *box = boxTitle.isEmpty() ? nullptr : &dialogs.expect();

    A::feed(*w, block);
    movratest::tick(*w, 3);

    QVERIFY(A::rxBuffer(*w).isEmpty());
    QCOMPARE(A::pendingRequest(*w), settled ? 0 : pending);
    QCOMPARE(logOf(*w), logFor(log));
    for (const QString &show : shows) {
        const QString name = show.section(QLatin1Char('='), 0, 0);
        QCOMPARE(name + QLatin1Char('=') + observe(*w, name), show);
    }
    QCOMPARE(dialogs.shown, boxTitle.isEmpty() ? 0 : 1);
    if (!boxTitle.isEmpty()) {
        QVERIFY(box->seen);
        QCOMPARE(box->title, boxTitle);
        QCOMPARE(box->text, QStringLiteral("1.检查设备与USB工具连接是否正确\r\n"));
    }
}

void TestEngine::rejectedEchoNotHandledTwice()
{
    auto w = makeWindow();
    Dialogs dialogs;
    const QByteArray request = hex("00060100000549E4");
    A::linkState(*w) = 3;
    A::pendingRequest(*w) = 203;
    A::lastRequest(*w) = request;
    A::periodTicks(*w) = 0;
    A::secondTicks(*w) = 0;

    int ticksInside = -1;
    bool bufferEmptyInside = false;
    dialogs.inside = [&]() {
        // The box is open and the handler has not returned: the timer
        // would keep ticking here.
        const quint16 before = A::secondTicks(*w);
        movratest::tick(*w, 20);
        ticksInside = A::secondTicks(*w) - before;
        bufferEmptyInside = A::rxBuffer(*w).isEmpty();
    };
    movratest::ModalRecord &box = dialogs.expect();

    A::feed(*w, request + request);
    movratest::tick(*w, 3);

    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("命令写入失败"));
    QCOMPARE(ticksInside, 20);
    QVERIFY(bufferEmptyInside);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(logOf(*w),
             logFor({QStringLiteral("00060100000549e4\t00060100000549e400060100000549e4"),
                     QStringLiteral("写入失败")}));
    QCOMPARE(A::pendingRequest(*w), 203);
}

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
