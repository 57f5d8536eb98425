// Link state as the operator sees it: the status-bar text and the controls
// that are enabled for each state.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QtTest>

#include <climits>

#include "TestSupport.h"

using A = MovraTestAccess;

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

} // namespace

class TestLinkState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void statusText_data();
    void statusText();
    void refreshControls_data();
    void refreshControls();
    void autoConnectButtonUntouched_data();
    void autoConnectButtonUntouched();
};

void TestLinkState::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestLinkState::init()
{
    movratest::removeSettings();
}

void TestLinkState::cleanupTestCase()
{
    movratest::removeSettings();
}

void TestLinkState::statusText_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text");

    const QString disconnected = QString::fromUtf8(" 设备已断开 请重新连接");
    QTest::newRow("0 idle") << 0 << disconnected;
    QTest::newRow("1 manual") << 1 << QString::fromUtf8(" 手动连接设备中，请等待");
    QTest::newRow("2 automatic") << 2 << QString::fromUtf8(" 自动连接设备中，请等待");
    QTest::newRow("3 connected") << 3 << QString::fromUtf8(" 设备连接成功");
    QTest::newRow("4 failed") << 4
                              << QString::fromUtf8(" 连接失败,请检查线路连接及串口编号是否正确");
    QTest::newRow("5 disconnected") << 5 << disconnected;
    QTest::newRow("6") << 6 << disconnected;
    QTest::newRow("9") << 9 << disconnected;
    QTest::newRow("-1") << -1 << disconnected;
    QTest::newRow("INT_MIN") << INT_MIN << disconnected;
    QTest::newRow("INT_MAX") << INT_MAX << disconnected;
}

void TestLinkState::statusText()
{
    QFETCH(int, state);
    QFETCH(QString, text);

    MovraTestTool w;
    A::tickTimer(w).stop();
    A::showLinkStatus(w, state);
    const QString shown = A::ui(w).statusBar->currentMessage();
    QCOMPARE(shown, text);
    QVERIFY(shown.startsWith(QLatin1Char(' ')));
    QVERIFY(!shown.startsWith(QLatin1String("  ")));
}

void TestLinkState::refreshControls_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("autoTemp"); // periodic reads stored from the last run
    QTest::addColumn<bool>("autoHumi");

    QTest::newRow("0 idle") << 0 << false << true << true;
    QTest::newRow("1 manual") << 1 << false << true << true;
    QTest::newRow("2 automatic") << 2 << false << true << true;
    QTest::newRow("3 connected") << 3 << true << true << true;
    QTest::newRow("3 connected, temperature only") << 3 << true << true << false;
    QTest::newRow("3 connected, humidity only") << 3 << true << false << true;
    QTest::newRow("4 failed") << 4 << false << true << true;
    QTest::newRow("5 disconnected") << 5 << false << true << true;
    QTest::newRow("5 disconnected, humidity only") << 5 << false << false << true;
}

void TestLinkState::refreshControls()
{
    QFETCH(int, state);
    QFETCH(bool, connected);
    QFETCH(bool, autoTemp);
    QFETCH(bool, autoHumi);

    movratest::writeSettings(
        {{"enAutoReadTempFlag", int(autoTemp)}, {"enAutoReadHumiFlag", int(autoHumi)}});
    const QByteArray stored = fileBytes(movratest::settingsFile());
    MovraTestTool w;
    A::tickTimer(w).stop();
    auto &ui = A::ui(w);
    QCOMPARE(ui.checkBox_5->isChecked(), autoTemp);
    QCOMPARE(ui.checkBox_6->isChecked(), autoHumi);

    // Start every control in the state opposite to the expected one, so
    // each one must be set.
    ui.connectButton->setEnabled(connected);
    ui.SerialComNum->setEnabled(connected);
    ui.disConnectButton->setEnabled(false);
    ui.manualReadButton->setEnabled(!connected);
    ui.readButton->setEnabled(!connected);
    ui.writeButton->setEnabled(!connected);

    A::linkState(w) = state;
    A::refreshControls(w);

    QCOMPARE(ui.connectButton->isEnabled(), !connected);
    QCOMPARE(ui.SerialComNum->isEnabled(), !connected);
    QCOMPARE(ui.disConnectButton->isEnabled(), true);
    QCOMPARE(ui.manualReadButton->isEnabled(), connected);
    QCOMPARE(ui.readButton->isEnabled(), connected);
    QCOMPARE(ui.writeButton->isEnabled(), connected);
    QVERIFY(ui.autoConnectButton->isEnabled());

    // Connected: the periodic reads stay as they were; otherwise both stop.
    QCOMPARE(ui.checkBox_5->isChecked(), connected && autoTemp);
    QCOMPARE(ui.checkBox_6->isChecked(), connected && autoHumi);
    QCOMPARE(A::autoReadTemp(w), connected && autoTemp);
    QCOMPARE(A::autoReadHumi(w), connected && autoHumi);
    // Unchecking from code is no operator choice: the file keeps it.
    QCOMPARE(fileBytes(movratest::settingsFile()), stored);
    QCOMPARE(A::linkState(w), state);
}

void TestLinkState::autoConnectButtonUntouched_data()
{
    QTest::addColumn<int>("state");
    for (int state : {0, 1, 2, 3, 4, 5, 9, -1})
        QTest::addRow("%d", state) << state;
}

void TestLinkState::autoConnectButtonUntouched()
{
    QFETCH(int, state);

    MovraTestTool w;
    A::tickTimer(w).stop();
    auto &ui = A::ui(w);
    QVERIFY(ui.autoConnectButton->isEnabled());

    A::linkState(w) = state;
    A::refreshControls(w);
    A::showLinkStatus(w, state);
    QVERIFY(ui.autoConnectButton->isEnabled());

    // Not even put back to enabled: the refresh leaves it alone.
    ui.autoConnectButton->setEnabled(false);
    A::refreshControls(w);
    QVERIFY(!ui.autoConnectButton->isEnabled());
}

QTEST_MAIN(TestLinkState)
#include "tst_linkstate.moc"
