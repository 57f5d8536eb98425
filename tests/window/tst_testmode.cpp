// Test mode: the password dialog, the caption of its button, and the
// connection probes and handshake it selects.

#include <QStandardPaths>
#include <QtTest>
#include <memory>

#include "Bytes.h"
#include "Dialogs.h"
#include "TestSupport.h"
#include "WindowTestCase.h"

#ifdef MOVRA_HAVE_PTY
#include "Pty.h"
#endif

namespace {

using movratest::Dialogs;
using movratest::hex;
using movratest::logFor;
using movratest::logOf;
using movratest::makeWindow;
using movratest::withCrc;

const char kOn[] = "关闭测试模式";
const char kOff[] = "打开测试模式";
const char kVerified[] = "测试模式验证成功\r\n";
const char kRefused[] = "测试模式失败,请联系厂家获取密码\r\n";
const char kClosed[] = "已经关闭测试模式\r\n";

// Enters `text` into the password dialog and confirms or cancels it.
movratest::ModalRecord &enterPassword(Dialogs &dialogs, MovraTestTool &w, const QString &text,
                                      bool accept = true)
{
    movratest::ModalRecord &record = dialogs.expect(accept, text);
    movratest::form(w).pushButton->click();
    return record;
}

} // namespace

class TestTestMode : public movratest::WindowTestCase
{
    Q_OBJECT

private slots:
    void password_data();
    void password();
    void switchOffWithoutDialog();
    void offAfterRestart();

    void probes_data();
    void probes();
};

void TestTestMode::password_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<QStringList>("log");

    const QStringList verified{QString::fromUtf8(kVerified)};
    const QStringList refused{QString::fromUtf8(kRefused)};

    const char *passwords[] = {"Wxdo582039", "Wxdo930285", "WXDO582039",
                               "WXDO930285", "wxdo582039", "wxdo930285"};
    for (const char *p : passwords)
        QTest::newRow(p) << true << QString::fromLatin1(p) << true << verified;

    QTest::newRow("cancelled with a valid password")
        << false << "Wxdo582039" << false << QStringList();
    QTest::newRow("confirmed empty") << true << "" << false << QStringList();
    QTest::newRow("one letter in another case") << true << "WXdo582039" << false << refused;
    QTest::newRow("trailing blank") << true << "Wxdo582039 " << false << refused;
    QTest::newRow("leading blank") << true << " Wxdo582039" << false << refused;
    QTest::newRow("one digit short") << true << "Wxdo58203" << false << refused;
    QTest::newRow("one digit more") << true << "Wxdo5820390" << false << refused;
    QTest::newRow("digits of one, letters of another") << true << "wXDO582039" << false << refused;
    QTest::newRow("blank only") << true << " " << false << refused;
}

void TestTestMode::password()
{
    QFETCH(bool, accept);
    QFETCH(QString, text);
    QFETCH(bool, testMode);
    QFETCH(QStringList, log);

    auto w = makeWindow();
    Dialogs dialogs;
    movratest::ModalRecord &dialog = enterPassword(dialogs, *w, text, accept);

    QVERIFY(dialog.seen);
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(dialog.title, QStringLiteral("密码输入"));
    QCOMPARE(dialog.label, QStringLiteral("请输入程序维护密码"));
    QCOMPARE(w->session().testMode(), testMode);
    QCOMPARE(movratest::form(*w).pushButton->text(), QString::fromUtf8(testMode ? kOn : kOff));
    QCOMPARE(logOf(*w), logFor(log));
}

void TestTestMode::switchOffWithoutDialog()
{
    auto w = makeWindow();
    auto &ui = movratest::form(*w);
    Dialogs dialogs;
    enterPassword(dialogs, *w, QStringLiteral("wxdo930285"));
    QVERIFY(w->session().testMode());
    QCOMPARE(dialogs.shown, 1);

    ui.pushButton->click();
    QVERIFY(!w->session().testMode());
    QCOMPARE(dialogs.shown, 1);
    QCOMPARE(ui.pushButton->text(), QString::fromUtf8(kOff));

    // A wrong password afterwards leaves it off; a right one turns it on again.
    enterPassword(dialogs, *w, QStringLiteral("wxdo930286"));
    QVERIFY(!w->session().testMode());
    enterPassword(dialogs, *w, QStringLiteral("WXDO930285"));
    QVERIFY(w->session().testMode());
    QCOMPARE(ui.pushButton->text(), QString::fromUtf8(kOn));
    QCOMPARE(dialogs.shown, 3);

    QCOMPARE(logOf(*w), logFor({QString::fromUtf8(kVerified), QString::fromUtf8(kClosed),
                                QString::fromUtf8(kRefused), QString::fromUtf8(kVerified)}));
}

void TestTestMode::offAfterRestart()
{
    Dialogs dialogs;
    {
        auto w = makeWindow();
        enterPassword(dialogs, *w, QStringLiteral("Wxdo582039"));
        QVERIFY(w->session().testMode());
    }
    MovraTestTool again;
    QVERIFY(!again.session().testMode());
    QCOMPARE(movratest::form(again).pushButton->text(), QString::fromUtf8(kOff));
}

void TestTestMode::probes_data()
{
    QTest::addColumn<bool>("testMode");
    QTest::addColumn<bool>("switchOnAfterFirst");
    QTest::addColumn<QByteArray>("firstPeriod");
    QTest::addColumn<QByteArray>("secondPeriod");
    QTest::addColumn<int>("pending");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("address");
    QTest::addColumn<QStringList>("log");

    const QByteArray probe1 = hex("FD0301000002D1CB");
    const QByteArray probe2 = hex("000300000002C5DA");
    const QByteArray ident = hex("0006011000008822");
    const QString connecting = QStringLiteral("正在连接设备……\r\n");
    const QString connected = QStringLiteral("设备连接成功,波特率为：2400\r\n");

    QTest::newRow("normal mode") << false << false << QByteArray() << ident << 1
                                 << QByteArray("\0KVT582\0", 8) << true << 1
                                 << QStringList{connecting, connected};
    QTest::newRow("test mode") << true << false << probe2 << probe1 + probe2 << 2
                               << withCrc(hex("FD030400070000")) << true << 7
                               << QStringList{connecting, connected,
                                              QStringLiteral("设备地址为：7\r\n")};
    QTest::newRow("test mode, short answer")
        << true << false << probe2 << probe1 + probe2 << 2 << hex("FD0304") << false << 1
        << QStringList{connecting};
    QTest::newRow("test mode switched on during the attempt")
        << false << true << QByteArray() << probe1 + probe2 << 2 << hex("00030400000000") << true
        << 1 << QStringList{QString::fromUtf8(kVerified), connecting, connected};
}

void TestTestMode::probes()
{
#ifndef MOVRA_HAVE_PTY
    QSKIP("no pseudo-terminal helper in this tree");
#else
    QFETCH(bool, testMode);
    QFETCH(bool, switchOnAfterFirst);
    QFETCH(QByteArray, firstPeriod);
    QFETCH(QByteArray, secondPeriod);
    QFETCH(int, pending);
    QFETCH(QByteArray, answer);
    QFETCH(bool, accepted);
    QFETCH(int, address);
    QFETCH(QStringList, log);

    if (!movratest::PtyPair::isSupported())
        QSKIP("no pseudo-terminals on this platform");
    movratest::PtyPair line;
    QVERIFY2(line.open(2400), qPrintable(line.errorString()));

    // The window lists the pseudo-terminal and connects to it by hand at
    // 2400 Bd, the rate it offers first.
    Dialogs dialogs;
    auto w = makeWindow({line.slavePath()});
    auto &ui = movratest::form(*w);
    ui.SerialComNum->setCurrentIndex(ui.SerialComNum->findText(line.slavePath()));
    QCOMPARE(ui.SerialComNum->currentText(), line.slavePath());
    QCOMPARE(w->session().baudRate(), 2400);
    if (testMode)
        enterPassword(dialogs, *w, QStringLiteral("Wxdo582039"));
    ui.textEdit->clear();
    ui.connectButton->click();
    QSerialPort &port = w->session().port();
    QVERIFY2(port.isOpen(), qPrintable(port.errorString()));
    QCOMPARE(w->session().linkState(), movra::LinkState::ManualConnecting);

    movratest::tick(*w, 10);
    port.flush();
    if (firstPeriod.isEmpty())
        QCOMPARE(line.readAvailable().toHex(), QByteArray());
    else
        QCOMPARE(line.readMaster(firstPeriod.size(), 5000).toHex(), firstPeriod.toHex());
    QCOMPARE(w->session().pendingRequest(), firstPeriod.isEmpty() ? 0 : 2);

    if (switchOnAfterFirst)
        enterPassword(dialogs, *w, QStringLiteral("Wxdo582039"));

    movratest::tick(*w, 10);
    port.flush();
    QCOMPARE(line.readMaster(secondPeriod.size(), 5000).toHex(), secondPeriod.toHex());
    QCOMPARE(line.readAvailable().toHex(), QByteArray());
    QCOMPARE(w->session().pendingRequest(), pending);
    QCOMPARE(w->session().lastRequest().toHex(), secondPeriod.right(8).toHex());

    QVERIFY(line.writeMaster(answer));
    QTRY_COMPARE(w->session().bufferedBytes(), answer.size());
    movratest::tick(*w, 3);

    QCOMPARE(w->session().linkState(),
             accepted ? movra::LinkState::Connected : movra::LinkState::ManualConnecting);
    QCOMPARE(w->session().pendingRequest(), 0);
    QCOMPARE(int(w->session().station()), address);
    QCOMPARE(ui.readAddress_2->value(), address);
    QCOMPARE(logOf(*w), logFor(log));
#endif
}

QTEST_MAIN(TestTestMode)
#include "tst_testmode.moc"
