// Link state as the operator sees it: the status-bar text and the controls
// that are enabled, after each real transition of the link.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include "engine/PortList.h"

#ifdef MOVRA_HAVE_PTY
#include "Pty.h"
#endif

using movra::LinkState;

namespace {

const char kMissingPort[] = "/nonexistent/ttyMOVRA";

bool selectPort(MovraTestTool &w, const QString &name)
{
    QComboBox *ports = movratest::form(w).SerialComNum;
    ports->setCurrentIndex(ports->findText(name));
    return ports->currentText() == name;
}

// A button's clicked() as its click would give it: the test has disabled
// the buttons on purpose, so a click would do nothing.
bool clickThrough(QAbstractButton *button)
{
    emit button->clicked(false);
    return true;
}

} // namespace

class TestLinkState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void transition_data();
    void transition();

private:
    // Takes the window to `state` the way the operator and the line do.
    bool reach(MovraTestTool &w, LinkState state);

    WindowOptions m_options;
#ifdef MOVRA_HAVE_PTY
    movratest::PtyPair m_line; // a port that opens, with nobody answering
#endif
};

void TestLinkState::initTestCase()
{
    movratest::useOwnSettingsFolder();
    QString ports = QString::fromLatin1(kMissingPort);
#ifdef MOVRA_HAVE_PTY
    QVERIFY2(m_line.open(9600), qPrintable(m_line.errorString()));
    ports += QDir::listSeparator() + m_line.slavePath();
#endif
    m_options.extraPorts = movra::splitPortList(ports);
}

void TestLinkState::init()
{
    movratest::removeSettings();
}

void TestLinkState::cleanupTestCase()
{
    movratest::removeSettings();
}

bool TestLinkState::reach(MovraTestTool &w, LinkState state)
{
    switch (state) {
    case LinkState::Idle:
        // A port that reports no error while closed.
        emit w.session().port().errorOccurred(QSerialPort::NoError);
        break;
    case LinkState::ManualConnecting:
    case LinkState::AutoConnecting:
#ifdef MOVRA_HAVE_PTY
        if (!selectPort(w, m_line.slavePath()))
            return false;
        return clickThrough(state == LinkState::ManualConnecting
                                ? movratest::form(w).connectButton
                                : movratest::form(w).autoConnectButton);
#else
        return false;
#endif
    case LinkState::Connected:
        return movratest::connectWithoutPort(w);
    case LinkState::Failed: {
        if (!selectPort(w, QString::fromLatin1(kMissingPort)))
            return false;
        movratest::DialogLog boxes;
        return clickThrough(movratest::form(w).connectButton) &&
               boxes.titles == QStringList{QStringLiteral("串口操作错误")};
    }
    case LinkState::Disconnected:
        return movratest::connectWithoutPort(w) &&
               clickThrough(movratest::form(w).disConnectButton);
    }
    return true;
}

void TestLinkState::transition_data()
{
    QTest::addColumn<LinkState>("state");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("autoTemp"); // periodic reads stored from the last run
    QTest::addColumn<bool>("autoHumi");

    const QString disconnected = QString::fromUtf8(" 设备已断开 请重新连接");
    const QString connected = QString::fromUtf8(" 设备连接成功");
    QTest::newRow("idle") << LinkState::Idle << disconnected << true << true;
    QTest::newRow("manual") << LinkState::ManualConnecting
                            << QString::fromUtf8(" 手动连接设备中，请等待") << true << true;
    QTest::newRow("automatic") << LinkState::AutoConnecting
                               << QString::fromUtf8(" 自动连接设备中，请等待") << true << true;
    QTest::newRow("connected") << LinkState::Connected << connected << true << true;
    QTest::newRow("connected, temperature only")
        << LinkState::Connected << connected << true << false;
    QTest::newRow("connected, humidity only") << LinkState::Connected << connected << false << true;
    QTest::newRow("failed") << LinkState::Failed
                            << QString::fromUtf8(" 连接失败,请检查线路连接及串口编号是否正确")
                            << true << true;
    QTest::newRow("disconnected") << LinkState::Disconnected << disconnected << true << true;
    QTest::newRow("disconnected, humidity only")
        << LinkState::Disconnected << disconnected << false << true;
}

void TestLinkState::transition()
{
    QFETCH(LinkState, state);
    QFETCH(QString, text);
    QFETCH(bool, autoTemp);
    QFETCH(bool, autoHumi);
    const bool connected = state == LinkState::Connected;
#ifndef MOVRA_HAVE_PTY
    if (state == LinkState::ManualConnecting || state == LinkState::AutoConnecting)
        QSKIP("no pseudo-terminals in this build");
#endif

    movratest::writeSettings(
        {{"enAutoReadTempFlag", int(autoTemp)}, {"enAutoReadHumiFlag", int(autoHumi)}});
    // Connecting writes the port's keys; these two must stay.
    const auto periodicFlags = [] {
        const movratest::DiskValues disk = movratest::diskSettings();
        return disk.value("enAutoReadTempFlag") + '/' + disk.value("enAutoReadHumiFlag");
    };
    const QString stored = periodicFlags();
    MovraTestTool w(m_options);
    w.ticker().stop();
    auto &ui = movratest::form(w);
    QCOMPARE(ui.checkBox_5->isChecked(), autoTemp);
    QCOMPARE(ui.checkBox_6->isChecked(), autoHumi);

    // Every control in the state opposite to the expected one, so each one
    // must be set.
    ui.connectButton->setEnabled(connected);
    ui.SerialComNum->setEnabled(connected);
    ui.disConnectButton->setEnabled(false);
    ui.manualReadButton->setEnabled(!connected);
    ui.readButton->setEnabled(!connected);
    ui.writeButton->setEnabled(!connected);

    QVERIFY(reach(w, state));
    QCOMPARE(w.session().linkState(), state);

    const QString shown = ui.statusBar->currentMessage();
    QCOMPARE(shown, text);
    QVERIFY(!shown.startsWith(QLatin1String("  ")));

    QCOMPARE(ui.connectButton->isEnabled(), !connected);
    QCOMPARE(ui.SerialComNum->isEnabled(), !connected);
    QCOMPARE(ui.disConnectButton->isEnabled(), true);
    QCOMPARE(ui.manualReadButton->isEnabled(), connected);
    QCOMPARE(ui.readButton->isEnabled(), connected);
    QCOMPARE(ui.writeButton->isEnabled(), connected);

    // Connected: the periodic reads stay as they were; otherwise both stop.
    QCOMPARE(ui.checkBox_5->isChecked(), connected && autoTemp);
    QCOMPARE(ui.checkBox_6->isChecked(), connected && autoHumi);
    QCOMPARE(w.session().periodicReading(movra::Quantity::Temperature), connected && autoTemp);
    QCOMPARE(w.session().periodicReading(movra::Quantity::Humidity), connected && autoHumi);
    // Unchecking from code is no operator choice: the file keeps it.
    QCOMPARE(periodicFlags(), stored);

    // The automatic-connection button is never touched, not even put back
    // to enabled by a further refresh.
    QVERIFY(ui.autoConnectButton->isEnabled());
    ui.autoConnectButton->setEnabled(false);
    emit w.session().port().errorOccurred(QSerialPort::NoError);
    QCOMPARE(w.session().linkState(), state);
    QVERIFY(!ui.autoConnectButton->isEnabled());
}

QTEST_MAIN(TestLinkState)
#include "tst_linkstate.moc"
