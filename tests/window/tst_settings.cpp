// Setting.ini: what start-up restores from it, and what each writer leaves
// on disk.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "TestSupport.h"
#include "engine/PortList.h"

using movra::Quantity;
using KeyValues = QList<QPair<QString, QVariant>>;

Q_DECLARE_METATYPE(KeyValues)

using movratest::diskSettings;
using movratest::DiskValues;
using movratest::fileBytes;

namespace {

// The figures of the qualification checks that Setting.ini feeds, by name.
qint64 member(MovraTestTool &w, const QString &name)
{
    const movra::Check &temp = w.session().check(Quantity::Temperature);
    const movra::Check &humi = w.session().check(Quantity::Humidity);
    if (name == "baseTemp")
        return temp.reference;
    if (name == "baseHumi")
        return humi.reference;
    if (name == "checkOffsetTemp")
        return qint64(temp.tolerance);
    if (name == "checkOffsetHumi")
        return qint64(humi.tolerance);
    qFatal("unknown member %s", qPrintable(name));
    return 0;
}

bool checkOn(MovraTestTool &w, Quantity q)
{
    return w.session().check(q).on;
}

bool periodic(MovraTestTool &w, Quantity q)
{
    return w.session().periodicReading(q);
}

int interval(MovraTestTool &w, Quantity q)
{
    return w.session().interval(q);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void defaultsWithoutFile();
    void restoreWritesNothingBack();
    void referenceFields_data();
    void referenceFields();
    void switches_data();
    void switches();
    void intervals_data();
    void intervals();
    void baudRateEntry_data();
    void baudRateEntry();
    void portName_data();
    void portName();

    void intervalWriters_data();
    void intervalWriters();
    void referenceKeystroke_data();
    void referenceKeystroke();
    void autoReadBoxes_data();
    void autoReadBoxes();
    void checkFlagBoxes_data();
    void checkFlagBoxes();
};

void TestSettings::initTestCase()
{
    movratest::useOwnSettingsFolder();
}

void TestSettings::init()
{
    movratest::removeSettings();
}

void TestSettings::cleanupTestCase()
{
    movratest::removeSettings();
}

void TestSettings::defaultsWithoutFile()
{
    MovraTestTool w;
    w.ticker().stop();
    auto &ui = movratest::form(w);

    QVERIFY(!ui.checkBox_10->isChecked());
    QVERIFY(!ui.checkBox_9->isChecked());
    QVERIFY(!ui.checkBox_5->isChecked());
    QVERIFY(!ui.checkBox_6->isChecked());
    QVERIFY(!checkOn(w, Quantity::Temperature));
    QVERIFY(!checkOn(w, Quantity::Humidity));
    QVERIFY(!periodic(w, Quantity::Temperature));
    QVERIFY(!periodic(w, Quantity::Humidity));

    QCOMPARE(ui.BaseTemp->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.OffsetTemp->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.BaseHumi->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.OffsetHumi->text(), QStringLiteral("0.0"));

    // The form says 10; the missing key reads 0 and the spin boxes clamp it.
    QCOMPARE(ui.readTempInterval->value(), 1);
    QCOMPARE(ui.readHumiInterval->value(), 1);
    QCOMPARE(interval(w, Quantity::Temperature), 1);
    QCOMPARE(interval(w, Quantity::Humidity), 1);

    QCOMPARE(ui.BraudRate_1->currentIndex(), 0);
    QCOMPARE(ui.BraudRate_1->currentText(), QStringLiteral("2400"));
    QCOMPARE(w.session().baudRate(), 2400);

    QVERIFY(!QFile::exists(movratest::settingsFile()));
}

void TestSettings::restoreWritesNothingBack()
{
    // Values that the controls clamp or reject: a slot that ran during the
    // restore would rewrite them.
    movratest::writeSettings({{"RTempInterval", 20000},
                              {"RHumiInterval", 0},
                              {"BaseTemp", -5},
                              {"enCheckTempFlag", 1},
                              {"enAutoReadHumiFlag", 1},
                              {"lastBraudRateIndex", 9}});
    const QByteArray before = fileBytes(movratest::settingsFile());
    QVERIFY(!before.isEmpty());

    MovraTestTool w;
    w.ticker().stop();
    QCOMPARE(movratest::form(w).readTempInterval->value(), 10000);
    QCOMPARE(fileBytes(movratest::settingsFile()), before);
}

void TestSettings::referenceFields_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("memberName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");

    QTest::newRow("BaseTemp -5") << "BaseTemp" << QVariant(-5) << "BaseTemp"
                                 << "baseTemp"
                                 << "-0.5" << -5LL;
    QTest::newRow("BaseTemp -123") << "BaseTemp" << QVariant(-123) << "BaseTemp"
                                   << "baseTemp"
                                   << "-12.3" << -123LL;
    QTest::newRow("BaseTemp 253") << "BaseTemp" << QVariant(253) << "BaseTemp"
                                  << "baseTemp"
                                  << "25.3" << 253LL;
    QTest::newRow("BaseTemp 1000") << "BaseTemp" << QVariant(1000) << "BaseTemp"
                                   << "baseTemp"
                                   << "100.0" << 1000LL;
    QTest::newRow("BaseTemp garbage") << "BaseTemp" << QVariant("warm") << "BaseTemp"
                                      << "baseTemp"
                                      << "0.0" << 0LL;
    QTest::newRow("BaseHumi 655") << "BaseHumi" << QVariant(655) << "BaseHumi"
                                  << "baseHumi"
                                  << "65.5" << 655LL;
    QTest::newRow("BaseHumi 5") << "BaseHumi" << QVariant(5) << "BaseHumi"
                                << "baseHumi"
                                << "0.5" << 5LL;
    QTest::newRow("BaseHumi negative") << "BaseHumi" << QVariant(-20) << "BaseHumi"
                                       << "baseHumi"
                                       << "0.0" << 0LL;
    QTest::newRow("BaseHumi garbage") << "BaseHumi" << QVariant("1e") << "BaseHumi"
                                      << "baseHumi"
                                      << "0.0" << 0LL;
    QTest::newRow("CheckOffsetTemp 15") << "CheckOffsetTemp" << QVariant(15) << "OffsetTemp"
                                        << "checkOffsetTemp"
                                        << "1.5" << 15LL;
    QTest::newRow("CheckOffsetTemp negative") << "CheckOffsetTemp" << QVariant(-5) << "OffsetTemp"
                                              << "checkOffsetTemp"
                                              << "0.0" << 0LL;
    QTest::newRow("CheckOffsetHumi 30") << "CheckOffsetHumi" << QVariant(30) << "OffsetHumi"
                                        << "checkOffsetHumi"
                                        << "3.0" << 30LL;
    QTest::newRow("CheckOffsetHumi negative") << "CheckOffsetHumi" << QVariant(-5) << "OffsetHumi"
                                              << "checkOffsetHumi"
                                              << "0.0" << 0LL;
    QTest::newRow("CheckOffsetHumi garbage") << "CheckOffsetHumi" << QVariant("x") << "OffsetHumi"
                                             << "checkOffsetHumi"
                                             << "0.0" << 0LL;
}

void TestSettings::referenceFields()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(QString, field);
    QFETCH(QString, memberName);
    QFETCH(QString, text);
    QFETCH(qint64, value);

    movratest::writeSettings({{key, stored}});
    MovraTestTool w;
    w.ticker().stop();

    auto *edit = w.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QCOMPARE(edit->text(), text);
    QCOMPARE(member(w, memberName), value);

    // The other three fields are untouched by this key.
    const QStringList fields{"BaseTemp", "OffsetTemp", "BaseHumi", "OffsetHumi"};
    for (const QString &other : fields) {
        if (other != field)
            QCOMPARE(w.findChild<QLineEdit *>(other)->text(), QStringLiteral("0.0"));
    }
}

void TestSettings::switches_data()
{
    QTest::addColumn<KeyValues>("stored");
    QTest::addColumn<bool>("checkTemp");
    QTest::addColumn<bool>("checkHumi");
    QTest::addColumn<bool>("autoTemp");
    QTest::addColumn<bool>("autoHumi");

    QTest::newRow("temperature check only")
        << KeyValues{{"enCheckTempFlag", 1}, {"enCheckReadHumiFlag", 0}} << true << false << false
        << false;
    QTest::newRow("humidity check only")
        << KeyValues{{"enCheckTempFlag", 0}, {"enCheckReadHumiFlag", 1}} << false << true << false
        << false;
    QTest::newRow("temperature auto-read only")
        << KeyValues{{"enAutoReadTempFlag", 1}, {"enAutoReadHumiFlag", 0}} << false << false << true
        << false;
    QTest::newRow("humidity auto-read only")
        << KeyValues{{"enAutoReadTempFlag", 0}, {"enAutoReadHumiFlag", 1}} << false << false
        << false << true;
    QTest::newRow("all four on") << KeyValues{{"enCheckTempFlag", 1},
                                              {"enCheckReadHumiFlag", 1},
                                              {"enAutoReadTempFlag", 1},
                                              {"enAutoReadHumiFlag", 1}}
                                 << true << true << true << true;
    // A flag keeps only the low 8 bits of the number.
    QTest::newRow("256 is off") << KeyValues{{"enCheckTempFlag", 256}, {"enAutoReadHumiFlag", 512}}
                                << false << false << false << false;
    QTest::newRow("257 and 2 are on")
        << KeyValues{{"enCheckReadHumiFlag", 257}, {"enAutoReadTempFlag", 2}} << false << true
        << true << false;
    QTest::newRow("garbage is off")
        << KeyValues{{"enCheckTempFlag", "yes"}, {"enAutoReadTempFlag", "true"}} << false << false
        << false << false;
}

void TestSettings::switches()
{
    QFETCH(KeyValues, stored);
    QFETCH(bool, checkTemp);
    QFETCH(bool, checkHumi);
    QFETCH(bool, autoTemp);
    QFETCH(bool, autoHumi);

    movratest::writeSettings(stored);
    MovraTestTool w;
    w.ticker().stop();
    auto &ui = movratest::form(w);

    QCOMPARE(ui.checkBox_10->isChecked(), checkTemp);
    QCOMPARE(ui.checkBox_9->isChecked(), checkHumi);
    QCOMPARE(ui.checkBox_5->isChecked(), autoTemp);
    QCOMPARE(ui.checkBox_6->isChecked(), autoHumi);
    // The members come through the read-back of the controls unchanged.
    QCOMPARE(checkOn(w, Quantity::Temperature), checkTemp);
    QCOMPARE(checkOn(w, Quantity::Humidity), checkHumi);
    QCOMPARE(periodic(w, Quantity::Temperature), autoTemp);
    QCOMPARE(periodic(w, Quantity::Humidity), autoHumi);
}

void TestSettings::intervals_data()
{
    QTest::addColumn<QVariant>("tempStored");
    QTest::addColumn<QVariant>("humiStored");
    QTest::addColumn<int>("tempShown");
    QTest::addColumn<int>("humiShown");

    QTest::newRow("in range") << QVariant(37) << QVariant(600) << 37 << 600;
    QTest::newRow("limits") << QVariant(1) << QVariant(10000) << 1 << 10000;
    QTest::newRow("0 clamps to 1") << QVariant(0) << QVariant(0) << 1 << 1;
    QTest::newRow("20000 clamps to 10000") << QVariant(20000) << QVariant(20000) << 10000 << 10000;
    QTest::newRow("mixed") << QVariant(0) << QVariant(20000) << 1 << 10000;
    QTest::newRow("just outside") << QVariant(10001) << QVariant(10001) << 10000 << 10000;
    QTest::newRow("garbage") << QVariant("often") << QVariant("3s") << 1 << 1;
}

void TestSettings::intervals()
{
    QFETCH(QVariant, tempStored);
    QFETCH(QVariant, humiStored);
    QFETCH(int, tempShown);
    QFETCH(int, humiShown);

    movratest::writeSettings({{"RTempInterval", tempStored}, {"RHumiInterval", humiStored}});
    MovraTestTool w;
    w.ticker().stop();

    QCOMPARE(movratest::form(w).readTempInterval->value(), tempShown);
    QCOMPARE(movratest::form(w).readHumiInterval->value(), humiShown);
    QCOMPARE(interval(w, Quantity::Temperature), tempShown);
    QCOMPARE(interval(w, Quantity::Humidity), humiShown);
}

void TestSettings::baudRateEntry_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("baudRate");

    QTest::newRow("0") << QVariant(0) << 0 << "2400" << 2400;
    QTest::newRow("3") << QVariant(3) << 3 << "19200" << 19200;
    QTest::newRow("6") << QVariant(6) << 6 << "115200" << 115200;
    QTest::newRow("7") << QVariant(7) << -1 << "" << 0;
    QTest::newRow("9") << QVariant(9) << -1 << "" << 0;
    QTest::newRow("-1") << QVariant(-1) << -1 << "" << 0;
    QTest::newRow("garbage") << QVariant("fast") << 0 << "2400" << 2400;
}

void TestSettings::baudRateEntry()
{
    QFETCH(QVariant, stored);
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, baudRate);

    movratest::writeSettings({{"lastBraudRateIndex", stored}});
    MovraTestTool w;
    w.ticker().stop();

    QCOMPARE(movratest::form(w).BraudRate_1->currentIndex(), index);
    QCOMPARE(movratest::form(w).BraudRate_1->currentText(), text);
    QCOMPARE(w.session().baudRate(), baudRate);

    // Picking an entry afterwards gives a baud rate again.
    movratest::form(w).BraudRate_1->setCurrentIndex(2);
    QCOMPARE(w.session().baudRate(), 9600);
}

void TestSettings::portName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("offered"); // besides the machine's own ports
    QTest::addColumn<bool>("chosen");

    QTest::newRow("offered") << "COM7"
                             << "COM5:COM7:COM9" << true;
    QTest::newRow("offered last") << "/dev/ttyMOVRA"
                                  << "COM5:/dev/ttyMOVRA" << true;
    QTest::newRow("not offered") << "COM7"
                                 << "COM5:COM9" << false;
    // Names under four characters are never taken back.
    QTest::newRow("too short") << "COM"
                               << "COM5:COM" << false;
}

void TestSettings::portName()
{
    QFETCH(QString, stored);
    QFETCH(QString, offered);
    QFETCH(bool, chosen);

    movratest::writeSettings({{"lastComName", stored}});
    WindowOptions options;
    options.extraPorts = movra::splitPortList(offered);
    MovraTestTool w(options);
    w.ticker().stop();

    QComboBox *ports = movratest::form(w).SerialComNum;
    QVERIFY(ports->findText(stored) >= 0 || !chosen);
    if (chosen)
        QCOMPARE(ports->currentText(), stored);
    else
        QCOMPARE(ports->currentIndex(), 0);
    // The refresh entry stays last.
    QCOMPARE(ports->itemText(ports->count() - 1), QString::fromUtf8("刷新串口"));
}

void TestSettings::intervalWriters_data()
{
    QTest::addColumn<QString>("spin");
    QTest::addColumn<bool>("byKeyboard");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("key");

    QTest::newRow("readHumiInterval set") << "readHumiInterval" << false << 250 << "RHumiInterval";
    QTest::newRow("readHumiInterval key up") << "readHumiInterval" << true << 31 << "RHumiInterval";
    QTest::newRow("readTempInterval set")
        << "readTempInterval" << false << 10000 << "RTempInterval";
    QTest::newRow("readTempInterval key up") << "readTempInterval" << true << 31 << "RTempInterval";
}

void TestSettings::intervalWriters()
{
    QFETCH(QString, spin);
    QFETCH(bool, byKeyboard);
    QFETCH(int, value);
    QFETCH(QString, key);

    movratest::writeSettings({{"RTempInterval", 30}, {"RHumiInterval", 30}});
    MovraTestTool w;
    w.ticker().stop();
    movratest::removeSettings();

    auto *box = w.findChild<QSpinBox *>(spin);
    QVERIFY(box);
    if (byKeyboard)
        QTest::keyClick(box, Qt::Key_Up);
    else
        box->setValue(value);
    QCOMPARE(box->value(), value);

    const DiskValues disk = diskSettings();
    QCOMPARE(disk, (DiskValues{{key, QString::number(value)}}));
    QCOMPARE(key == "RTempInterval" ? interval(w, Quantity::Temperature)
                                    : interval(w, Quantity::Humidity),
             value);
}

void TestSettings::referenceKeystroke_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<DiskValues>("expected");

    // Start-up values: temperature check on, humidity check off, 20.0 ℃
    // within 1.0, 50.0 % within 3.0.
    const DiskValues start{{"enCheckTempFlag", "1"},  {"enCheckReadHumiFlag", "0"},
                           {"BaseTemp", "200"},       {"BaseHumi", "500"},
                           {"CheckOffsetTemp", "10"}, {"CheckOffsetHumi", "30"}};
    auto with = [&start](const QString &key, const QString &value) {
        DiskValues d = start;
        d.insert(key, value);
        return d;
    };

    QTest::newRow("BaseTemp 12.5") << "BaseTemp"
                                   << "12.5" << with("BaseTemp", "125");
    QTest::newRow("BaseTemp -7") << "BaseTemp"
                                 << "-7" << with("BaseTemp", "-70");
    QTest::newRow("BaseTemp text") << "BaseTemp"
                                   << "abc" << with("BaseTemp", "0");
    QTest::newRow("OffsetTemp 1.5") << "OffsetTemp"
                                    << "1.5" << with("CheckOffsetTemp", "15");
    QTest::newRow("OffsetTemp negative") << "OffsetTemp"
                                         << "-3" << with("CheckOffsetTemp", "0");
    QTest::newRow("BaseHumi 45.5") << "BaseHumi"
                                   << "45.5" << with("BaseHumi", "455");
    QTest::newRow("BaseHumi negative") << "BaseHumi"
                                       << "-1" << with("BaseHumi", "0");
    QTest::newRow("OffsetHumi 2") << "OffsetHumi"
                                  << "2" << with("CheckOffsetHumi", "20");
    QTest::newRow("OffsetHumi negative") << "OffsetHumi"
                                         << "-2.5" << with("CheckOffsetHumi", "0");
}

void TestSettings::referenceKeystroke()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(DiskValues, expected);

    movratest::writeSettings({{"enCheckTempFlag", 1},
                              {"enCheckReadHumiFlag", 0},
                              {"BaseTemp", 200},
                              {"BaseHumi", 500},
                              {"CheckOffsetTemp", 10},
                              {"CheckOffsetHumi", 30}});
    MovraTestTool w;
    w.ticker().stop();
    movratest::removeSettings();

    auto *edit = w.findChild<QLineEdit *>(field);
    QVERIFY(edit);
    edit->clear(); // from code: no slot, nothing written
    QVERIFY(!QFile::exists(movratest::settingsFile()));
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), typed);

    QCOMPARE(diskSettings(), expected);
    QCOMPARE(qint64(member(w, "baseTemp")), expected.value("BaseTemp").toLongLong());
    QCOMPARE(qint64(member(w, "baseHumi")), expected.value("BaseHumi").toLongLong());
    QCOMPARE(qint64(member(w, "checkOffsetTemp")), expected.value("CheckOffsetTemp").toLongLong());
    QCOMPARE(qint64(member(w, "checkOffsetHumi")), expected.value("CheckOffsetHumi").toLongLong());
}

void TestSettings::autoReadBoxes_data()
{
    QTest::addColumn<int>("tempStored");
    QTest::addColumn<int>("humiStored");
    QTest::addColumn<QString>("box");
    QTest::addColumn<bool>("mouse");
    QTest::addColumn<QString>("tempOnDisk");
    QTest::addColumn<QString>("humiOnDisk");

    QTest::newRow("checkBox_5 on") << 0 << 0 << "checkBox_5" << false << "1"
                                   << "0";
    QTest::newRow("checkBox_5 off, humidity stays on") << 1 << 1 << "checkBox_5" << false << "0"
                                                       << "1";
    QTest::newRow("checkBox_6 on") << 0 << 0 << "checkBox_6" << false << "0"
                                   << "1";
    QTest::newRow("checkBox_6 on by mouse, temperature stays on")
        << 1 << 0 << "checkBox_6" << true << "1"
        << "1";
}

void TestSettings::autoReadBoxes()
{
    QFETCH(int, tempStored);
    QFETCH(int, humiStored);
    QFETCH(QString, box);
    QFETCH(bool, mouse);
    QFETCH(QString, tempOnDisk);
    QFETCH(QString, humiOnDisk);

    movratest::writeSettings(
        {{"enAutoReadTempFlag", tempStored}, {"enAutoReadHumiFlag", humiStored}});
    MovraTestTool w;
    w.ticker().stop();
    movratest::removeSettings();

    auto *check = w.findChild<QCheckBox *>(box);
    QVERIFY(check);
    if (mouse) {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(check, Qt::LeftButton, Qt::NoModifier, QPoint(5, check->height() / 2));
    } else {
        check->click();
    }

    QCOMPARE(diskSettings(),
             (DiskValues{{"enAutoReadTempFlag", tempOnDisk}, {"enAutoReadHumiFlag", humiOnDisk}}));
    QCOMPARE(periodic(w, Quantity::Temperature), tempOnDisk == "1");
    QCOMPARE(periodic(w, Quantity::Humidity), humiOnDisk == "1");
}

void TestSettings::checkFlagBoxes_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("tempOnDisk");
    QTest::addColumn<QString>("humiOnDisk");

    // Stored before start: temperature check on, humidity check off.
    QTest::newRow("checkBox_7") << "checkBox_7"
                                << "1"
                                << "0";
    QTest::newRow("checkBox_8") << "checkBox_8"
                                << "1"
                                << "0";
    QTest::newRow("checkBox_10") << "checkBox_10"
                                 << "0"
                                 << "0";
    QTest::newRow("checkBox_9") << "checkBox_9"
                                << "1"
                                << "1";
}

void TestSettings::checkFlagBoxes()
{
    QFETCH(QString, box);
    QFETCH(QString, tempOnDisk);
    QFETCH(QString, humiOnDisk);

    movratest::writeSettings({{"enCheckTempFlag", 1}, {"enCheckReadHumiFlag", 0}});
    MovraTestTool w;
    w.ticker().stop();
    movratest::removeSettings();

    auto *check = w.findChild<QCheckBox *>(box);
    QVERIFY(check);
    check->click();

    QCOMPARE(diskSettings(),
             (DiskValues{{"enCheckTempFlag", tempOnDisk}, {"enCheckReadHumiFlag", humiOnDisk}}));
    QCOMPARE(checkOn(w, Quantity::Temperature), tempOnDisk == "1");
    QCOMPARE(checkOn(w, Quantity::Humidity), humiOnDisk == "1");
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
