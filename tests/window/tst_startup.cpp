// Start-up state of the window and the wiring of its controls to the slots
// that only copy a control's value into a member.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include "TestSupport.h"

using movra::Parameter;
using movra::Quantity;

namespace {

// What the copy-only slots set in the engine, by name, widened to qint64 so
// one table column can hold them all.
qint64 member(MovraTestTool &w, const QString &name)
{
    const movra::Session &e = w.session();
    if (name == "baudRate")
        return e.baudRate();
    if (name == "writeBaudRate")
        return e.writeValue(Parameter::BaudRate);
    if (name == "devAddress")
        return e.station();
    if (name == "writeDevAddress")
        return e.writeValue(Parameter::Address);
    if (name == "writeHumiOffset")
        return e.writeValue(Parameter::HumiCorrection);
    if (name == "writeTempOffset")
        return e.writeValue(Parameter::TempCorrection);
    if (name == "writeTempHumiRevert")
        return e.writeValue(Parameter::Order);
    if (name == "tempInterval")
        return e.interval(Quantity::Temperature);
    if (name == "humiInterval")
        return e.interval(Quantity::Humidity);
    if (name == "devNumChecked")
        return e.writeEnabled(Parameter::Address);
    if (name == "braudRateChecked")
        return e.writeEnabled(Parameter::BaudRate);
    if (name == "tempOffsetChecked")
        return e.writeEnabled(Parameter::TempCorrection);
    if (name == "humiOffsetChecked")
        return e.writeEnabled(Parameter::HumiCorrection);
    if (name == "autoReadTemp")
        return e.periodicReading(Quantity::Temperature);
    if (name == "autoReadHumi")
        return e.periodicReading(Quantity::Humidity);
    if (name == "tempHumiRevertChecked")
        return e.writeEnabled(Parameter::Order);
    if (name == "readParamOnConnect")
        return e.readParametersOnConnect();
    if (name == "checkTemp")
        return e.check(Quantity::Temperature).on;
    if (name == "checkHumi")
        return e.check(Quantity::Humidity).on;
    qFatal("unknown member %s", qPrintable(name));
    return 0;
}

// Reference and tolerance of a qualification check, in tenths.
using Check = QPair<qint64, quint64>;
Check checkOf(MovraTestTool &w, Quantity q)
{
    const movra::Check &c = w.session().check(q);
    return {c.reference, c.tolerance};
}

// Puts a value into the engine that no control can produce, so a test can
// see whether a slot ran.
void poison(MovraTestTool &w, const QString &name)
{
    movra::Session &e = w.session();
    if (name == "baudRate")
        e.setBaudRate(-7);
    else if (name == "writeBaudRate")
        e.setWriteValue(Parameter::BaudRate, -7);
    else if (name == "devAddress")
        e.setStation(0);
    else if (name == "writeDevAddress")
        e.setWriteValue(Parameter::Address, 0);
    else if (name == "writeHumiOffset")
        e.setWriteValue(Parameter::HumiCorrection, 999);
    else if (name == "writeTempOffset")
        e.setWriteValue(Parameter::TempCorrection, 999);
    else if (name == "writeTempHumiRevert")
        e.setWriteValue(Parameter::Order, 77);
    else if (name == "tempInterval")
        e.setInterval(Quantity::Temperature, -7);
    else if (name == "humiInterval")
        e.setInterval(Quantity::Humidity, -7);
    else
        qFatal("cannot poison %s", qPrintable(name));
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startWritesNoSettingsFile();
    void initialEnabledStates_data();
    void initialEnabledStates();
    void statusBarWelcome();
    void logPaneWelcome();
    void windowTitleAndSizes();

    void valueChangesRunSlots_data();
    void valueChangesRunSlots();
    void currentValueAgainRunsNothing_data();
    void currentValueAgainRunsNothing();
    void copySlotsKeepLowBits_data();
    void copySlotsKeepLowBits();
    void checkBoxes_data();
    void checkBoxes();
    void referenceFieldSetTextRunsNothing();
};

void TestStartup::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestStartup::init()
{
    movratest::removeSettings();
}

void TestStartup::cleanupTestCase()
{
    movratest::removeSettings();
}

void TestStartup::startWritesNoSettingsFile()
{
    const QString file = movratest::settingsFile();
    const QString dir = QFileInfo(file).absolutePath();
    // Only ever remove the test-mode folder of this executable.
    QVERIFY2(dir.contains(QLatin1String(".qttest")), qPrintable(dir));
    QVERIFY(QDir(dir).removeRecursively());
    QVERIFY(!QFileInfo::exists(dir));

    MovraTestTool w;
    w.ticker().stop();
    QVERIFY(QFileInfo(dir).isDir());
    QVERIFY(!QFileInfo::exists(file));
    // The folder made is the one the first writer uses.
    movratest::form(w).readTempInterval->setValue(42);
    QVERIFY(QFileInfo(file).isFile());
}

void TestStartup::initialEnabledStates_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("connectButton") << "connectButton" << true;
    QTest::newRow("autoConnectButton") << "autoConnectButton" << true;
    QTest::newRow("readButton_2") << "readButton_2" << true;
    QTest::newRow("SerialComNum") << "SerialComNum" << true;
    QTest::newRow("pushButton") << "pushButton" << true;
    QTest::newRow("disConnectButton") << "disConnectButton" << false;
    QTest::newRow("readButton") << "readButton" << false;
    QTest::newRow("writeButton") << "writeButton" << false;
    QTest::newRow("manualReadButton") << "manualReadButton" << false;
}

void TestStartup::initialEnabledStates()
{
    QFETCH(QString, control);
    QFETCH(bool, enabled);

    MovraTestTool w;
    auto *widget = w.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->isEnabled(), enabled);
    QCOMPARE(w.session().linkState(), movra::LinkState::Idle);
    QVERIFY(!w.session().port().isOpen());
}

void TestStartup::statusBarWelcome()
{
    MovraTestTool w;
    QCOMPARE(movratest::form(w).statusBar->currentMessage(),
             QString::fromUtf8("欢迎使用-技术支持 support@ardeno.example"));
}

void TestStartup::logPaneWelcome()
{
    MovraTestTool w;
    QTextEdit *pane = movratest::form(w).textEdit;

    QStringList paragraphs;
    for (const QString &line : movratest::logLines(w)) {
        if (!line.isEmpty())
            paragraphs << line;
    }
    // Markdown drops the blank that leads the third paragraph.
    const QStringList expected{QString::fromUtf8("欢迎使用Ardeno的产品"),
                               QString::fromUtf8("技术支持：support@ardeno.example"),
                               QStringLiteral("https://www.ardeno.example")};
    QCOMPARE(paragraphs, expected);

    // Three separate paragraphs, not one paragraph with line breaks; nothing
    // of the form's rich text (version, SimSun font) is left.
    QCOMPARE(pane->document()->blockCount(), 3);
    QVERIFY(!pane->toPlainText().contains(QLatin1String("V1.31")));
    QVERIFY(!pane->toHtml().contains(QLatin1String("SimSun")));
    // Markdown turns the bare web address into a link; plain text would not.
    const QTextBlock web = pane->document()->lastBlock();
    QVERIFY(web.begin() != web.end());
    QCOMPARE(web.begin().fragment().charFormat().anchorHref(),
             QStringLiteral("https://www.ardeno.example"));
}

void TestStartup::windowTitleAndSizes()
{
    MovraTestTool w;
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Ardeno温湿度工具"));
    QCOMPARE(w.size(), QSize(610, 780));
    QCOMPARE(w.minimumSize(), QSize(600, 350));
    QCOMPARE(w.maximumSize(), QSize(610, 780));
    QVERIFY(w.isWindow());
    QCOMPARE(w.parentWidget(), nullptr);
}

void TestStartup::valueChangesRunSlots_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("value"); // combo index or spin value
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<QString>("memberName");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("BraudRate_1 index 2") << "BraudRate_1" << 2 << false << "baudRate" << 9600LL;
    QTest::newRow("BraudRate_1 index 6") << "BraudRate_1" << 6 << false << "baudRate" << 115200LL;
    QTest::newRow("BraudRate_1 key down") << "BraudRate_1" << 1 << true << "baudRate" << 4800LL;
    QTest::newRow("BraudRate_3 index 5")
        << "BraudRate_3" << 5 << false << "writeBaudRate" << 57600LL;
    QTest::newRow("BraudRate_3 key down")
        << "BraudRate_3" << 1 << true << "writeBaudRate" << 4800LL;
    QTest::newRow("BraudRate_4 index 2")
        << "BraudRate_4" << 2 << false << "writeTempHumiRevert" << 2LL;
    QTest::newRow("BraudRate_4 key down")
        << "BraudRate_4" << 1 << true << "writeTempHumiRevert" << 1LL;
    QTest::newRow("readAddress_1 254") << "readAddress_1" << 254 << false << "devAddress" << 254LL;
    QTest::newRow("readAddress_1 key up") << "readAddress_1" << 2 << true << "devAddress" << 2LL;
    QTest::newRow("readAddress_3 17")
        << "readAddress_3" << 17 << false << "writeDevAddress" << 17LL;
    QTest::newRow("readAddress_3 key up")
        << "readAddress_3" << 2 << true << "writeDevAddress" << 2LL;
    QTest::newRow("HumiOffset_2 -100")
        << "HumiOffset_2" << -100 << false << "writeHumiOffset" << -100LL;
    QTest::newRow("HumiOffset_2 key up") << "HumiOffset_2" << 1 << true << "writeHumiOffset" << 1LL;
    QTest::newRow("TempOffset_2 -37")
        << "TempOffset_2" << -37 << false << "writeTempOffset" << -37LL;
    QTest::newRow("TempOffset_2 key up") << "TempOffset_2" << 1 << true << "writeTempOffset" << 1LL;
    QTest::newRow("readTempInterval 42")
        << "readTempInterval" << 42 << false << "tempInterval" << 42LL;
    QTest::newRow("readHumiInterval 9999")
        << "readHumiInterval" << 9999 << false << "humiInterval" << 9999LL;
    QTest::newRow("readHumiInterval key up")
        << "readHumiInterval" << 2 << true << "humiInterval" << 2LL;
}

void TestStartup::valueChangesRunSlots()
{
    QFETCH(QString, control);
    QFETCH(int, value);
    QFETCH(bool, byKeyboard);
    QFETCH(QString, memberName);
    QFETCH(qint64, expected);

    MovraTestTool w;
    w.ticker().stop();
    QWidget *widget = w.findChild<QWidget *>(control);
    QVERIFY(widget);
    poison(w, memberName);

    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        QCOMPARE(combo->currentIndex(), 0);
        if (byKeyboard)
            QTest::keyClick(combo, Qt::Key_Down);
        else
            combo->setCurrentIndex(value);
        QCOMPARE(combo->currentIndex(), value);
    } else {
        auto *spin = qobject_cast<QSpinBox *>(widget);
        QVERIFY(spin);
        if (byKeyboard) {
            QCOMPARE(spin->value() + 1, value);
            QTest::keyClick(spin, Qt::Key_Up);
        } else {
            spin->setValue(value);
        }
        QCOMPARE(spin->value(), value);
    }
    QCOMPARE(member(w, memberName), expected);
}

void TestStartup::currentValueAgainRunsNothing_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("memberName");

    QTest::newRow("BraudRate_1") << "BraudRate_1"
                                 << "baudRate";
    QTest::newRow("BraudRate_3") << "BraudRate_3"
                                 << "writeBaudRate";
    QTest::newRow("BraudRate_4") << "BraudRate_4"
                                 << "writeTempHumiRevert";
    QTest::newRow("readAddress_1") << "readAddress_1"
                                   << "devAddress";
    QTest::newRow("readAddress_3") << "readAddress_3"
                                   << "writeDevAddress";
    QTest::newRow("HumiOffset_2") << "HumiOffset_2"
                                  << "writeHumiOffset";
    QTest::newRow("TempOffset_2") << "TempOffset_2"
                                  << "writeTempOffset";
    QTest::newRow("readTempInterval") << "readTempInterval"
                                      << "tempInterval";
    QTest::newRow("readHumiInterval") << "readHumiInterval"
                                      << "humiInterval";
}

void TestStartup::currentValueAgainRunsNothing()
{
    QFETCH(QString, control);
    QFETCH(QString, memberName);

    MovraTestTool w;
    w.ticker().stop();
    QWidget *widget = w.findChild<QWidget *>(control);
    QVERIFY(widget);
    poison(w, memberName);
    const qint64 poisoned = member(w, memberName);

    if (auto *combo = qobject_cast<QComboBox *>(widget))
        combo->setCurrentIndex(combo->currentIndex());
    else
        qobject_cast<QSpinBox *>(widget)->setValue(qobject_cast<QSpinBox *>(widget)->value());

    QCOMPARE(member(w, memberName), poisoned);
    // The interval slots would have written their key.
    QVERIFY(!QFile::exists(movratest::settingsFile()));
}

void TestStartup::copySlotsKeepLowBits_data()
{
    QTest::addColumn<QString>("spin");
    QTest::addColumn<int>("argument");
    QTest::addColumn<QString>("memberName");
    QTest::addColumn<qint64>("expected");

    QTest::newRow("devAddress 300") << "readAddress_1" << 300 << "devAddress" << 44LL;
    QTest::newRow("devAddress 256") << "readAddress_1" << 256 << "devAddress" << 0LL;
    QTest::newRow("writeDevAddress 511") << "readAddress_3" << 511 << "writeDevAddress" << 255LL;
    QTest::newRow("writeHumiOffset 70000")
        << "HumiOffset_2" << 70000 << "writeHumiOffset" << 4464LL;
    QTest::newRow("writeTempOffset 40000")
        << "TempOffset_2" << 40000 << "writeTempOffset" << -25536LL;
}

void TestStartup::copySlotsKeepLowBits()
{
    QFETCH(QString, spin);
    QFETCH(int, argument);
    QFETCH(QString, memberName);
    QFETCH(qint64, expected);

    MovraTestTool w;
    w.ticker().stop();
    // A value beyond the box's range reaches the slot only through its signal.
    auto *box = w.findChild<QSpinBox *>(spin);
    QVERIFY(box);
    emit box->valueChanged(argument);
    QCOMPARE(member(w, memberName), expected);
}

void TestStartup::checkBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("memberName");

    QTest::newRow("checkBox") << "checkBox"
                              << "devNumChecked";
    QTest::newRow("checkBox_2") << "checkBox_2"
                                << "braudRateChecked";
    QTest::newRow("checkBox_3") << "checkBox_3"
                                << "tempOffsetChecked";
    QTest::newRow("checkBox_4") << "checkBox_4"
                                << "humiOffsetChecked";
    QTest::newRow("checkBox_5") << "checkBox_5"
                                << "autoReadTemp";
    QTest::newRow("checkBox_6") << "checkBox_6"
                                << "autoReadHumi";
    QTest::newRow("checkBox_7") << "checkBox_7"
                                << "tempHumiRevertChecked";
    QTest::newRow("checkBox_8") << "checkBox_8"
                                << "readParamOnConnect";
    QTest::newRow("checkBox_10") << "checkBox_10"
                                 << "checkTemp";
    QTest::newRow("checkBox_9") << "checkBox_9"
                                << "checkHumi";
}

void TestStartup::checkBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, memberName);

    MovraTestTool w;
    w.ticker().stop();
    auto *check = w.findChild<QCheckBox *>(box);
    QVERIFY(check);
    const bool before = check->isChecked();
    QCOMPARE(member(w, memberName), qint64(before));

    // Set from code: no slot runs, nothing is written.
    check->setChecked(!before);
    QCOMPARE(member(w, memberName), qint64(before));
    check->toggle();
    check->toggle();
    QCOMPARE(member(w, memberName), qint64(before));
    QVERIFY(!QFile::exists(movratest::settingsFile()));
    check->setChecked(before);

    // Clicked: the engine follows, both ways.
    check->click();
    QCOMPARE(check->isChecked(), !before);
    QCOMPARE(member(w, memberName), qint64(!before));
    check->click();
    QCOMPARE(member(w, memberName), qint64(before));
}

void TestStartup::referenceFieldSetTextRunsNothing()
{
    MovraTestTool w;
    w.ticker().stop();
    movratest::form(w).BaseTemp->setText(QStringLiteral("12.5"));
    movratest::form(w).OffsetTemp->setText(QStringLiteral("1.0"));
    movratest::form(w).BaseHumi->setText(QStringLiteral("50.0"));
    movratest::form(w).OffsetHumi->setText(QStringLiteral("2.0"));
    QCOMPARE(checkOf(w, Quantity::Temperature), (Check{0, 0}));
    QCOMPARE(checkOf(w, Quantity::Humidity), (Check{0, 0}));
    QVERIFY(!QFile::exists(movratest::settingsFile()));

    // One keystroke is enough to run the slot, which reads all four fields.
    QTest::keyClick(movratest::form(w).OffsetHumi, Qt::Key_5);
    QCOMPARE(checkOf(w, Quantity::Temperature), (Check{125, 10}));
    // "2.05" truncates to 20
    QCOMPARE(checkOf(w, Quantity::Humidity), (Check{500, 20}));
    QVERIFY(QFile::exists(movratest::settingsFile()));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
