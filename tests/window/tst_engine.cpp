// What the window adds to the engine's link handling: the log lines, the
// status text and the controls of a handshake, the boxes of a failed
// attempt and of a rejected write, the connect buttons during an attempt,
// and where each parameter read back is shown. The engine's own logic is
// tested in tests/engine; the readings' labels in tst_measure.

#include <QSettings>
#include <QStatusBar>
#include <QtTest>
#include <memory>

#include "Bytes.h"
#include "TestSupport.h"
#include "WindowTestCase.h"
#include "link/Texts.h"

namespace {

using movra::LinkState;
using movratest::Dialogs;
using movratest::form;
using movratest::hex;
using movratest::logFor;
using movratest::logOf;
using movratest::makeWindow;
using movratest::withCrc;

QString observe(MovraTestTool &w, const QString &what)
{
    auto &ui = form(w);
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
    return QStringLiteral("<unknown %1>").arg(what);
}

void addColumns()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("station");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QStringList>("shows");
    QTest::addColumn<QString>("boxTitle");
}

// The request of the row, its reply, and what the window shows of it.
void checkShown()
{
    QFETCH(int, code);
    QFETCH(int, value);
    QFETCH(int, station);
    QFETCH(QByteArray, block);
    QFETCH(QStringList, log);
    QFETCH(QStringList, shows);
    QFETCH(QString, boxTitle);

    auto w = makeWindow();
    auto &ui = form(*w);
    Dialogs dialogs;
    ui.BraudRate_4->setCurrentIndex(2);
    ui.readAddress_1->setValue(station);
    QCOMPARE(int(w->session().station()), station);
    ui.textEdit->clear();
    w->session().request(code, value);

    movratest::ModalRecord *box = boxTitle.isEmpty() ? nullptr : &dialogs.expect();
    movratest::feed(*w, block);
    movratest::tick(*w, 3);

    QCOMPARE(logOf(*w), logFor(log));
    for (const QString &show : shows) {
        const QString name = show.section(QLatin1Char('='), 0, 0);
        QCOMPARE(name + QLatin1Char('=') + observe(*w, name), show);
    }
    QCOMPARE(dialogs.shown, boxTitle.isEmpty() ? 0 : 1);
    if (box) {
        QVERIFY(box->seen);
        QCOMPARE(box->title, boxTitle);
        QCOMPARE(box->text, QStringLiteral("1.检查设备与USB工具连接是否正确\r\n"));
    }
}

const char kManualHints[] = "1.检查设备与USB工具连接是否正确\r\n2.检查串口是否选择正确\r\n"
                            "3.波特率是否选择正确\r\n4.站号是否选择正确\r\n";

} // namespace

class TestEngine : public movratest::WindowTestCase
{
    Q_OBJECT

private slots:
    void handshake_data();
    void handshake();
    void manualAttemptTimesOut();
    void connectButtonsIgnoredDuringAttempt_data();
    void connectButtonsIgnoredDuringAttempt();
    void disconnect();

    void readBackShown_data();
    void readBackShown() { checkShown(); }
    void writeShown_data();
    void writeShown() { checkShown(); }
    void rejectedEchoNotHandledTwice();
};

void TestEngine::handshake_data()
{
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<int>("probe");
    QTest::addColumn<bool>("readOnConnect");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("log");

    const QByteArray ident("\0\0KVT582-TH V1.0\0", 17);

    QTest::newRow("at 2400") << 0 << false << 1 << false << ident << 1
                             << QStringList{"设备连接成功,波特率为：2400\r\n"};
    QTest::newRow("at 19200") << 3 << false << 1 << false << ident << 1
                              << QStringList{"设备连接成功,波特率为：19200\r\n"};
    QTest::newRow("refused") << 0 << false << 1 << false << QByteArray("\0kvt582", 7) << 1
                             << QStringList();
    QTest::newRow("the batch read starts")
        << 0 << false << 1 << true << ident << 1 << QStringList{"设备连接成功,波特率为：2400\r\n"};
    QTest::newRow("test mode, address from the probe reply")
        << 0 << true << 2 << false << hex("FD03040005") << 5
        << QStringList{"设备连接成功,波特率为：2400\r\n", "设备地址为：5\r\n"};
    QTest::newRow("test mode, full probe reply at 4800")
        << 1 << true << 1 << false << withCrc(hex("FD030400FE0000")) << 254
        << QStringList{"设备连接成功,波特率为：4800\r\n", "设备地址为：254\r\n"};
}

void TestEngine::handshake()
{
    QFETCH(int, baudIndex);
    QFETCH(bool, testMode);
    QFETCH(int, probe);
    QFETCH(bool, readOnConnect);
    QFETCH(QByteArray, block);
    QFETCH(int, address);
    QFETCH(QStringList, log);

    auto w = makeWindow();
    auto &ui = form(*w);
    ui.BraudRate_1->setCurrentIndex(baudIndex);
    if (readOnConnect != ui.checkBox_8->isChecked())
        ui.checkBox_8->click();
    w->session().setTestMode(testMode);
    w->session().request(probe);
    ui.textEdit->clear();
    ui.statusBar->showMessage(QStringLiteral("before"));

    movratest::feed(*w, block);
    movratest::tick(*w, 3);

    const bool connected = !log.isEmpty();
    QCOMPARE(logOf(*w), logFor(log));
    QCOMPARE(ui.statusBar->currentMessage(),
             connected ? QStringLiteral(" 设备连接成功") : QStringLiteral("before"));
    QCOMPARE(ui.readAddress_1->value(), address);
    QCOMPARE(ui.readAddress_2->value(), address);
    QCOMPARE(ui.readButton->isEnabled(), connected);
    QCOMPARE(ui.writeButton->isEnabled(), connected);
    QCOMPARE(ui.manualReadButton->isEnabled(), connected);
    QCOMPARE(ui.connectButton->isEnabled(), !connected);
    QCOMPARE(ui.SerialComNum->isEnabled(), !connected);

    // The read-on-connect box starts the batch read: its first item goes out
    // at the next period.
    movratest::tick(*w, 7);
    QCOMPARE(w->session().pendingRequest(),
             connected && readOnConnect ? qint32(movra::ReqReadAddress) : 0);
}

void TestEngine::manualAttemptTimesOut()
{
    auto w = makeWindow();
    auto &ui = form(*w);
    Dialogs dialogs;
    QVERIFY(w->session().beginManualConnect());

    movratest::tick(*w, 59);
    QCOMPARE(dialogs.shown, 0);
    QCOMPARE(logOf(*w), QString());

    movratest::ModalRecord &box = dialogs.expect();
    movratest::tick(*w);
    QVERIFY(box.seen);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(box.title, QStringLiteral("手动连接超时"));
    QCOMPARE(box.text, QString::fromUtf8(kManualHints));
    QCOMPARE(ui.statusBar->currentMessage(),
             QStringLiteral(" 连接失败,请检查线路连接及串口编号是否正确"));
    QCOMPARE(logOf(*w),
             logFor({QStringLiteral("手动连接超时\r\n\r\n") + QString::fromUtf8(kManualHints)}));

    movratest::tick(*w, 100);
    QCOMPARE(dialogs.shown, 1);
}

void TestEngine::connectButtonsIgnoredDuringAttempt_data()
{
    QTest::addColumn<bool>("scanning");
    QTest::addColumn<bool>("autoButton");

    QTest::newRow("manual attempt, connect") << false << false;
    QTest::newRow("manual attempt, auto connect") << false << true;
    QTest::newRow("automatic scan, connect") << true << false;
    QTest::newRow("automatic scan, auto connect") << true << true;
}

void TestEngine::connectButtonsIgnoredDuringAttempt()
{
    QFETCH(bool, scanning);
    QFETCH(bool, autoButton);

    auto w = makeWindow();
    auto &ui = form(*w);
    Dialogs dialogs;
    ui.BraudRate_1->setCurrentIndex(3);
    QVERIFY(scanning ? w->session().beginAutoConnect() : w->session().beginManualConnect());
    const LinkState state = w->session().linkState();
    ui.statusBar->showMessage(QStringLiteral("before"));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(ui.autoConnectButton->isEnabled());

    (autoButton ? ui.autoConnectButton : ui.connectButton)->click();

    QCOMPARE(w->session().linkState(), state);
    QCOMPARE(ui.BraudRate_1->currentIndex(), 3);
    QCOMPARE(w->session().baudRate(), 19200);
    QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral("before"));
    QCOMPARE(dialogs.shown, 0);
    QSettings stored(movratest::settingsFile(), QSettings::IniFormat);
    QVERIFY(!stored.contains(QStringLiteral("lastComName")));
    QVERIFY(!stored.contains(QStringLiteral("lastBraudRateIndex")));
}

void TestEngine::disconnect()
{
    auto w = makeWindow();
    auto &ui = form(*w);
    QVERIFY(movratest::connectWithoutPort(*w));
    ui.checkBox_5->click();
    QVERIFY(ui.checkBox_5->isChecked());
    QVERIFY(ui.disConnectButton->isEnabled());
    ui.textEdit->clear();

    ui.disConnectButton->click();

    QCOMPARE(ui.statusBar->currentMessage(), QStringLiteral(" 设备已断开 请重新连接"));
    QCOMPARE(logOf(*w), logFor({QStringLiteral("设备已经断开")}));
    QVERIFY(ui.connectButton->isEnabled());
    QVERIFY(ui.disConnectButton->isEnabled());
    QVERIFY(!ui.readButton->isEnabled());
    QVERIFY(!ui.writeButton->isEnabled());
    QVERIFY(!ui.manualReadButton->isEnabled());
    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!w->session().periodicReading(movra::Quantity::Temperature));

    // In any state, again.
    ui.textEdit->clear();
    ui.disConnectButton->click();
    QCOMPARE(w->session().linkState(), LinkState::Disconnected);
    QCOMPARE(logOf(*w), logFor({QStringLiteral("设备已经断开")}));
}

void TestEngine::readBackShown_data()
{
    addColumns();
    const QString none;

    QTest::newRow("100: station address")
        << 100 << 0 << 1 << withCrc(hex("0703020105")) << QStringList{"设备地址为：5\r\n"}
        << QStringList{"readAddress_1=5", "readAddress_2=5"} << none;
    QTest::newRow("101: read reply code 7")
        << 101 << 0 << 1 << withCrc(hex("0003020007")) << QStringList{"设备波特率为：115200\r\n"}
        << QStringList{"braudRate_2=115200"} << none;
    QTest::newRow("101: baud reply 38400")
        << 101 << 0 << 1 << withCrc(hex("FDFDFD0500")) << QStringList{"设备波特率为：38400\r\n"}
        << QStringList{"braudRate_2=38400"} << none;
    QTest::newRow("101: baud reply code 0 shows nothing")
        << 101 << 0 << 1 << hex("FDFDFD0000E988") << QStringList()
        << QStringList{"braudRate_2=2400"} << none;
    QTest::newRow("102: temperature correction -15")
        << 102 << 0 << 1 << withCrc(hex("000302FFF1")) << QStringList{"设备温度修正为：-15\r\n"}
        << QStringList{"tempOffset_1=-15"} << none;
    QTest::newRow("103: humidity correction 30")
        << 103 << 0 << 1 << withCrc(hex("000302001E")) << QStringList{"设备湿度修正为：30\r\n"}
        << QStringList{"humiOffset_1=30"} << none;
    // The write side's combo box stands at item 2 in every row: what the
    // device holds is shown, not what would be written.
    QTest::newRow("104: device holds 0")
        << 104 << 0 << 1 << withCrc(hex("0003020000")) << QStringList{"温湿度对调：硬件决定\r\n"}
        << QStringList{"BraudRate_5=硬件决定"} << none;
    QTest::newRow("104: device holds 1")
        << 104 << 0 << 1 << withCrc(hex("0003020001")) << QStringList{"温湿度对调：湿度在前\r\n"}
        << QStringList{"BraudRate_5=湿度在前"} << none;
    QTest::newRow("104: device holds 9")
        << 104 << 0 << 1 << withCrc(hex("0003020009")) << QStringList{"温湿度对调：9\r\n"}
        << QStringList{"BraudRate_5=9"} << none;
}

void TestEngine::writeShown_data()
{
    addColumns();
    const QByteArray addrWrite = hex("00060100000549E4");
    const QByteArray baud9600 = hex("FDFDFD0300E978");
    const QString none;

    QTest::newRow("204: baud reply restarts the device")
        << 204 << 9600 << 1 << baud9600
        << QStringList{"fdfdfd0300e978\tfdfdfd0300e978", "写入成功", "正在重启设备：\r\n"}
        << QStringList{"braudRate_2=2400"} << none;
    QTest::newRow("203: exact echo")
        << 203 << 5 << 1 << addrWrite
        << QStringList{"00060100000549e4\t00060100000549e4", "写入成功"}
        << QStringList{"readAddress_1=1"} << none;
    QTest::newRow("203: echo and reply in one block")
        << 203 << 5 << 1 << addrWrite + addrWrite
        << QStringList{"00060100000549e4\t00060100000549e400060100000549e4", "写入失败"}
        << QStringList() << "命令写入失败";
    QTest::newRow("200: echo with another value")
        << 200 << -15 << 1 << withCrc(hex("00060050FFF0"))
        << QStringList{"00060050fff1087e\t" +
                           QString::fromLatin1(withCrc(hex("00060050FFF0")).toHex()),
                       "写入失败"}
        << QStringList() << "命令写入失败";
}

void TestEngine::rejectedEchoNotHandledTwice()
{
    auto w = makeWindow();
    Dialogs dialogs;
    QVERIFY(movratest::connectWithoutPort(*w));
    form(*w).textEdit->clear();
    const QByteArray request = hex("00060100000549E4");
    w->session().request(movra::ReqWriteAddress, 5);
    QCOMPARE(w->session().lastRequest(), request);

    quint64 ticksInside = 0;
    bool bufferEmptyInside = false;
    dialogs.inside = [&]() {
        // The box is open and the handler has not returned: the timer
        // would keep ticking here.
        const quint64 before = w->session().ticks();
        movratest::tick(*w, 20);
        ticksInside = w->session().ticks() - before;
        bufferEmptyInside = w->session().bufferedBytes() == 0;
    };
    movratest::ModalRecord &box = dialogs.expect();

    movratest::feed(*w, request + request);
    movratest::tick(*w, 3);

    QVERIFY(box.seen);
    QCOMPARE(box.title, QStringLiteral("命令写入失败"));
    QCOMPARE(ticksInside, quint64(20));
    QVERIFY(bufferEmptyInside);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(logOf(*w),
             logFor({QStringLiteral("00060100000549e4\t00060100000549e400060100000549e4"),
                     QStringLiteral("写入失败")}));
    QCOMPARE(w->session().pendingRequest(), qint32(movra::ReqWriteAddress));
}

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
