// Setting.ini in bad shape and operator text of any kind: empty, garbage, a
// directory in the file's place, values of the wrong type or out of range,
// a folder that cannot be written. The tool starts, never crashes, never
// leaves a half-written file, and every value it ends up with is defined.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>
#include <limits>
#include <random>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include "Dialogs.h"
#include "TestSupport.h"
#include "link/Tenths.h"

using movra::Quantity;
using movratest::diskSettings;
using movratest::DiskValues;
using movratest::fileBytes;

namespace {

enum class Start {
    Empty,
    Garbage,
    NulBytes,
    HeaderOnly,
    OtherSection,
    CutShort,
    WrongTypes,
    HarmlessVariants,
    UndecodableList,
    Utf16,
    Directory,
    FolderIsAFile,
};

enum class Writer { TempInterval, HumiInterval, AutoReadBox, ReferenceText, CheckFlagBox, Connect };

QByteArray garbage(int size, quint32 seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> byte(0, 255);
    QByteArray bytes(size, '\0');
    for (char &c : bytes)
        c = char(byte(rng));
    return bytes;
}

// Every key with a value of a type or shape the tool does not expect.
QByteArray wrongTypes()
{
    return "[General]\n"
           "enCheckReadHumiFlag=yes, please\n"
           "enCheckTempFlag=@Rect(1 2 3 4)\n"
           "BaseTemp=12.7\n"
           "BaseHumi=1e3\n"
           "CheckOffsetTemp=0x10\n"
           "CheckOffsetHumi=@Size(3 4)\n"
           "RTempInterval=\"\"\n"
           "enAutoReadTempFlag=@Point(1 1)\n"
           "RHumiInterval=many\n"
           "enAutoReadHumiFlag=1.0\n"
           "lastComName=@Rect(0 0 1 1)\n"
           "lastBraudRateIndex=2.0\n";
}

QByteArray contentFor(Start start)
{
    switch (start) {
    case Start::Empty:
        return QByteArray();
    case Start::Garbage:
        return garbage(4096, 7);
    case Start::NulBytes:
        return QByteArray(1024, '\0');
    case Start::HeaderOnly:
        return "[General]\n";
    case Start::OtherSection:
        return "[Tool]\nenCheckTempFlag=1\nBaseTemp=250\nRTempInterval=30\nlastBraudRateIndex=3\n";
    case Start::CutShort:
        return "[General]\nenCheckTempFl";
    case Start::WrongTypes:
        return wrongTypes();
    case Start::HarmlessVariants:
        // Serialised values whose lengths claim far more than there is.
        return "[General]\n"
               "BaseTemp=@Variant(\\0\\0\\0\\b\\x7f\\xff\\xff\\xff)\n"
               "BaseHumi=@Variant(\\0\\0\\0\\f\\x7f\\xff\\xff\\xfe)\n"
               "lastComName=@Variant(\\0\\0\\0\\n\\x7f\\xff\\xff\\xfe)\n"
               "RTempInterval=@Variant(\\0\\0\\0\\t\\0\\0\\0\\0\\x10)\n";
    case Start::UndecodableList:
        // Good keys beside lists whose lengths are broken: QSettings throws
        // std::bad_alloc while it parses the section.
        return "[General]\n"
               "enCheckTempFlag=1\n"
               "BaseTemp=200\n"
               "X=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
               "Y=@Variant(\\0\\0\\0\\v\\x7f\\xff\\xff\\xff)\n";
    case Start::Utf16: {
        // The right keys, in an encoding QSettings does not read.
        const QString text = QStringLiteral("[General]\nenCheckTempFlag=1\nBaseTemp=250\n");
        QByteArray bytes("\xff\xfe", 2);
        bytes.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        return bytes;
    }
    case Start::Directory:
    case Start::FolderIsAFile:
        break;
    }
    return QByteArray();
}

QString configFolder()
{
    return QFileInfo(movratest::settingsFile()).absolutePath();
}

// Puts the start state in place; false when it cannot be made.
bool prepare(Start start)
{
    const QString file = movratest::settingsFile();
    const QString folder = configFolder();
    if (start == Start::FolderIsAFile) {
        QDir().mkpath(QFileInfo(folder).absolutePath());
        QFile f(folder);
        return f.open(QIODevice::WriteOnly) && f.write("not a folder") > 0;
    }
    if (!QDir().mkpath(folder))
        return false;
    if (start == Start::Directory)
        return QDir().mkpath(file + QStringLiteral("/inside"));
    QFile f(file);
    const QByteArray bytes = contentFor(start);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// What the window hands the engine from Setting.ini.
bool checkOn(MovraTestTool &w, Quantity q)
{
    return w.session().check(q).on;
}
qint64 reference(MovraTestTool &w, Quantity q)
{
    return w.session().check(q).reference;
}
qint64 tolerance(MovraTestTool &w, Quantity q)
{
    return qint64(w.session().check(q).tolerance);
}
bool periodic(MovraTestTool &w, Quantity q)
{
    return w.session().periodicReading(q);
}
int interval(MovraTestTool &w, Quantity q)
{
    return w.session().interval(q);
}

// What the engine holds for one of the four reference fields.
qint64 held(MovraTestTool &w, const QString &field)
{
    if (field == QLatin1String("BaseTemp"))
        return reference(w, Quantity::Temperature);
    if (field == QLatin1String("BaseHumi"))
        return reference(w, Quantity::Humidity);
    if (field == QLatin1String("OffsetTemp"))
        return tolerance(w, Quantity::Temperature);
    return tolerance(w, Quantity::Humidity);
}

// The state of a first start without any settings.
void checkDefaults(MovraTestTool &w)
{
    auto &ui = movratest::form(w);
    QVERIFY(!ui.checkBox_10->isChecked() && !checkOn(w, Quantity::Temperature));
    QVERIFY(!ui.checkBox_9->isChecked() && !checkOn(w, Quantity::Humidity));
    QVERIFY(!ui.checkBox_5->isChecked() && !periodic(w, Quantity::Temperature));
    QVERIFY(!ui.checkBox_6->isChecked() && !periodic(w, Quantity::Humidity));
    QCOMPARE(ui.BaseTemp->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.BaseHumi->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.OffsetTemp->text(), QStringLiteral("0.0"));
    QCOMPARE(ui.OffsetHumi->text(), QStringLiteral("0.0"));
    QCOMPARE(reference(w, Quantity::Temperature), 0);
    QCOMPARE(reference(w, Quantity::Humidity), 0);
    QCOMPARE(tolerance(w, Quantity::Temperature), 0);
    QCOMPARE(tolerance(w, Quantity::Humidity), 0);
    QCOMPARE(ui.readTempInterval->value(), 1);
    QCOMPARE(ui.readHumiInterval->value(), 1);
    QCOMPARE(interval(w, Quantity::Temperature), 1);
    QCOMPARE(interval(w, Quantity::Humidity), 1);
    QCOMPARE(ui.BraudRate_1->currentIndex(), 0);
    QCOMPARE(w.session().baudRate(), 2400);
}

const char kMissingPort[] = "/nonexistent/ttyMOVRA";

// Runs one writer and returns the keys it sets with their values.
DiskValues runWriter(MovraTestTool &w, Writer writer)
{
    auto &ui = movratest::form(w);
    switch (writer) {
    case Writer::TempInterval:
        ui.readTempInterval->setValue(37);
        return {{"RTempInterval", "37"}};
    case Writer::HumiInterval:
        ui.readHumiInterval->setValue(41);
        return {{"RHumiInterval", "41"}};
    case Writer::AutoReadBox:
        ui.checkBox_5->click();
        return {{"enAutoReadTempFlag", "1"}, {"enAutoReadHumiFlag", "0"}};
    case Writer::ReferenceText:
        ui.BaseTemp->clear(); // from code: writes nothing
        QTest::keyClicks(ui.BaseTemp, QStringLiteral("12.5"));
        return {{"enCheckTempFlag", "0"}, {"enCheckReadHumiFlag", "0"}, {"BaseTemp", "125"},
                {"BaseHumi", "0"},        {"CheckOffsetTemp", "0"},     {"CheckOffsetHumi", "0"}};
    case Writer::CheckFlagBox:
        ui.checkBox_10->click();
        return {{"enCheckTempFlag", "1"}, {"enCheckReadHumiFlag", "0"}};
    case Writer::Connect: {
        // The port is gone: its error box comes, the two keys are written all the same.
        ui.SerialComNum->setCurrentIndex(ui.SerialComNum->findText(kMissingPort));
        ui.BraudRate_1->setCurrentIndex(3);
        ui.connectButton->click();
        return {{"lastComName", kMissingPort}, {"lastBraudRateIndex", "3"}};
    }
    }
    return {};
}

// Read-only: chmod for a normal user; root ignores modes, so the folder is
// made immutable instead where the file system allows it.
class ReadOnlyFolder
{
public:
    explicit ReadOnlyFolder(const QString &path) : m_path(path)
    {
#ifdef Q_OS_UNIX
        if (geteuid() == 0) {
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {"+i", path}) == 0;
            m_ok = m_immutable;
            return;
        }
#endif
        m_ok = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~ReadOnlyFolder()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {"-i", m_path});
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const
    {
        return m_ok;
    }

private:
    QString m_path;
    bool m_ok = false;
    bool m_immutable = false;
};

} // namespace

Q_DECLARE_METATYPE(Start)
Q_DECLARE_METATYPE(Writer)

class TestBadSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startsWithDefaults_data();
    void startsWithDefaults();
    void storedValues_data();
    void storedValues();
    void writersAfterBadStart_data();
    void writersAfterBadStart();
    void unwritable_data();
    void unwritable();
    void typedReference_data();
    void typedReference();

private:
    QTemporaryDir m_home;
    int m_case = 0;
    WindowOptions m_options;
};

void TestBadSettings::initTestCase()
{
    QVERIFY(m_home.isValid());
    movratest::useOwnSettingsFolder();
    m_options.extraPorts = QStringList{QString::fromLatin1(kMissingPort)};
}

void TestBadSettings::init()
{
    // A home of its own for every case: the cases break the configuration
    // folder, and QSettings remembers a file's keys within the process even
    // after the file has gone.
    const QString home = m_home.filePath(QString::number(++m_case));
    QVERIFY(QDir().mkpath(home));
    qputenv("HOME", QFile::encodeName(home));
    QVERIFY(movratest::settingsFile().startsWith(home));
}

void TestBadSettings::cleanupTestCase()
{
    qunsetenv("HOME");
}

void TestBadSettings::startsWithDefaults_data()
{
    QTest::addColumn<Start>("start");

    QTest::newRow("empty file") << Start::Empty;
    QTest::newRow("binary garbage") << Start::Garbage;
    QTest::newRow("NUL bytes") << Start::NulBytes;
    QTest::newRow("section header only") << Start::HeaderOnly;
    QTest::newRow("keys in another section") << Start::OtherSection;
    QTest::newRow("cut off inside a key") << Start::CutShort;
    QTest::newRow("every key of the wrong type") << Start::WrongTypes;
    QTest::newRow("serialised values with huge lengths") << Start::HarmlessVariants;
    QTest::newRow("a list QSettings cannot decode") << Start::UndecodableList;
    QTest::newRow("UTF-16 text") << Start::Utf16;
    QTest::newRow("a directory in its place") << Start::Directory;
    QTest::newRow("configuration folder is a file") << Start::FolderIsAFile;
}

void TestBadSettings::startsWithDefaults()
{
    QFETCH(Start, start);
    QVERIFY(prepare(start));
    const QString file = movratest::settingsFile();
    const QByteArray before = fileBytes(file);

    {
        MovraTestTool w(m_options);
        w.ticker().stop();
        checkDefaults(w);
        // The window works: a few seconds of ticks on it.
        movratest::tick(w, 500);
        QCOMPARE(w.session().linkState(), movra::LinkState::Idle);
    }

    // Start-up never writes, so whatever was there is still there.
    if (start == Start::Directory)
        QVERIFY(QFileInfo(file).isDir());
    else if (start == Start::FolderIsAFile)
        QVERIFY(QFileInfo(configFolder()).isFile());
    else
        QCOMPARE(fileBytes(file), before);
}

void TestBadSettings::storedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("value");

    const qint64 u16 = std::numeric_limits<quint16>::max();
    const qint64 u32 = std::numeric_limits<quint32>::max();
    const qint64 s32 = std::numeric_limits<qint32>::max();

    // Stored values as a hand-edited or damaged file may hold them. Numbers
    // wider than an unsigned member stop at its limit; BaseTemp, read as an
    // int, keeps the low 32 bits of what is written.
    QTest::newRow("BaseTemp at its maximum")
        << "BaseTemp" << QByteArray("2147483647") << "BaseTemp" << s32;
    QTest::newRow("BaseTemp at its minimum")
        << "BaseTemp" << QByteArray("-2147483648") << "BaseTemp" << -s32 - 1;
    QTest::newRow("BaseTemp beyond 32 bits")
        << "BaseTemp" << QByteArray("99999999999") << "BaseTemp" << qint64(1215752191);
    QTest::newRow("BaseTemp 2^32")
        << "BaseTemp" << QByteArray("4294967296") << "BaseTemp" << qint64(0);
    QTest::newRow("BaseTemp with a fraction")
        << "BaseTemp" << QByteArray("12.7") << "BaseTemp" << qint64(0);
    QTest::newRow("BaseTemp in hex") << "BaseTemp" << QByteArray("0x10") << "BaseTemp" << qint64(0);
    QTest::newRow("BaseTemp in blanks")
        << "BaseTemp" << QByteArray("  250  ") << "BaseTemp" << qint64(250);
    QTest::newRow("BaseTemp quoted")
        << "BaseTemp" << QByteArray("\"-5\"") << "BaseTemp" << qint64(-5);
    QTest::newRow("BaseTemp as a list")
        << "BaseTemp" << QByteArray("250, 260") << "BaseTemp" << qint64(0);
    QTest::newRow("BaseTemp as bytes")
        << "BaseTemp" << QByteArray("@ByteArray(250)") << "BaseTemp" << qint64(250);
    QTest::newRow("BaseHumi 65536") << "BaseHumi" << QByteArray("65536") << "BaseHumi" << u16;
    QTest::newRow("BaseHumi beyond 64 bits")
        << "BaseHumi" << QByteArray("99999999999999999999") << "BaseHumi" << qint64(0);
    QTest::newRow("CheckOffsetTemp 2^32")
        << "CheckOffsetTemp" << QByteArray("4294967296") << "OffsetTemp" << u32;
    QTest::newRow("CheckOffsetTemp very negative")
        << "CheckOffsetTemp" << QByteArray("-99999999999") << "OffsetTemp" << qint64(0);
    QTest::newRow("CheckOffsetHumi 70000")
        << "CheckOffsetHumi" << QByteArray("70000") << "OffsetHumi" << u16;
    QTest::newRow("CheckOffsetHumi as a rectangle")
        << "CheckOffsetHumi" << QByteArray("@Rect(1 2 3 4)") << "OffsetHumi" << qint64(0);
    // Intervals end up inside the spin boxes' 1 to 10000.
    QTest::newRow("RTempInterval 2^32-1")
        << "RTempInterval" << QByteArray("4294967295") << "readTempInterval" << qint64(10000);
    QTest::newRow("RTempInterval -1")
        << "RTempInterval" << QByteArray("-1") << "readTempInterval" << qint64(1);
    QTest::newRow("RHumiInterval 1e3")
        << "RHumiInterval" << QByteArray("1e3") << "readHumiInterval" << qint64(1);
    QTest::newRow("RHumiInterval 2^31")
        << "RHumiInterval" << QByteArray("2147483648") << "readHumiInterval" << qint64(10000);
    // The baud-rate entry: a wide number keeps its low 32 bits, 2^32+2 is entry 2.
    QTest::newRow("lastBraudRateIndex 2^32+2")
        << "lastBraudRateIndex" << QByteArray("4294967298") << "BraudRate_1" << qint64(2);
    QTest::newRow("lastBraudRateIndex 2.0")
        << "lastBraudRateIndex" << QByteArray("2.0") << "BraudRate_1" << qint64(0);
}

void TestBadSettings::storedValues()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, raw);
    QFETCH(QString, field);
    QFETCH(qint64, value);

    QVERIFY(QDir().mkpath(configFolder()));
    {
        QFile f(movratest::settingsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[General]\n" + key.toLatin1() + '=' + raw + '\n');
    }
    MovraTestTool w(m_options);
    w.ticker().stop();
    auto &ui = movratest::form(w);

    if (auto *edit = w.findChild<QLineEdit *>(field)) {
        // The field shows exactly what the member holds.
        QCOMPARE(held(w, field), value);
        QCOMPARE(edit->text(), movra::tenthsText(value));
    } else if (auto *spin = w.findChild<QSpinBox *>(field)) {
        QCOMPARE(spin->value(), int(value));
        QCOMPARE(interval(w, field == QLatin1String("readTempInterval") ? Quantity::Temperature
                                                                        : Quantity::Humidity),
                 int(value));
    } else {
        QCOMPARE(ui.BraudRate_1->currentIndex(), int(value));
        QCOMPARE(w.session().baudRate(), ui.BraudRate_1->currentText().toInt());
    }
}

void TestBadSettings::writersAfterBadStart_data()
{
    QTest::addColumn<Start>("start");
    QTest::addColumn<Writer>("writer");

    const QList<QPair<const char *, Start>> starts{{"empty", Start::Empty},
                                                   {"garbage", Start::Garbage},
                                                   {"NUL bytes", Start::NulBytes},
                                                   {"wrong types", Start::WrongTypes},
                                                   {"huge lengths", Start::HarmlessVariants}};
    const QList<QPair<const char *, Writer>> writers{{"temperature interval", Writer::TempInterval},
                                                     {"humidity interval", Writer::HumiInterval},
                                                     {"auto-read box", Writer::AutoReadBox},
                                                     {"reference typed", Writer::ReferenceText},
                                                     {"check box", Writer::CheckFlagBox},
                                                     {"connect", Writer::Connect}};
    for (const auto &s : starts) {
        for (const auto &wr : writers)
            QTest::addRow("%s, %s", s.first, wr.first) << s.second << wr.second;
    }
}

void TestBadSettings::writersAfterBadStart()
{
    QFETCH(Start, start);
    QFETCH(Writer, writer);
    QVERIFY(prepare(start));

    MovraTestTool w(m_options);
    w.ticker().stop();
    movratest::DialogLog dialogs;
    const DiskValues written = runWriter(w, writer);
    QVERIFY(!written.isEmpty());

    // Every key of the writer is on disk with its value, in a file that
    // reads back without error.
    QSettings::Status status = QSettings::AccessError;
    const DiskValues disk = diskSettings(&status);
    QCOMPARE(status, QSettings::NoError);
    for (auto it = written.cbegin(); it != written.cend(); ++it)
        QCOMPARE(disk.value(it.key(), QStringLiteral("<missing>")), it.value());
    QCOMPARE(dialogs.titles.isEmpty(), writer != Writer::Connect);

    // A restart with that file restores what was written.
    MovraTestTool again(m_options);
    again.ticker().stop();
    auto &ui = movratest::form(again);
    switch (writer) {
    case Writer::TempInterval:
        QCOMPARE(interval(again, Quantity::Temperature), 37);
        break;
    case Writer::HumiInterval:
        QCOMPARE(interval(again, Quantity::Humidity), 41);
        break;
    case Writer::AutoReadBox:
        QVERIFY(ui.checkBox_5->isChecked() && !ui.checkBox_6->isChecked());
        break;
    case Writer::ReferenceText:
        QCOMPARE(ui.BaseTemp->text(), QStringLiteral("12.5"));
        break;
    case Writer::CheckFlagBox:
        QVERIFY(ui.checkBox_10->isChecked() && !ui.checkBox_9->isChecked());
        break;
    case Writer::Connect:
        // The port comes back chosen, at the rate it was opened with.
        QCOMPARE(ui.SerialComNum->currentText(), QString::fromLatin1(kMissingPort));
        QCOMPARE(ui.BraudRate_1->currentIndex(), 3);
        break;
    }
}

void TestBadSettings::unwritable_data()
{
    QTest::addColumn<Start>("start");
    QTest::addColumn<bool>("readOnly");

    QTest::newRow("a directory in the file's place") << Start::Directory << false;
    QTest::newRow("configuration folder is a file") << Start::FolderIsAFile << false;
    QTest::newRow("read-only folder with a file") << Start::HeaderOnly << true;
    QTest::newRow("read-only folder, no file") << Start::Empty << true;
    QTest::newRow("a list QSettings cannot decode") << Start::UndecodableList << false;
}

void TestBadSettings::unwritable()
{
    QFETCH(Start, start);
    QFETCH(bool, readOnly);

    const QString file = movratest::settingsFile();
    const QString folder = configFolder();
    if (readOnly) {
        QVERIFY(QDir().mkpath(folder));
        if (start == Start::HeaderOnly) {
            // A complete file from an earlier run.
            movratest::writeSettings({{"enCheckTempFlag", 1},
                                      {"BaseTemp", 200},
                                      {"RTempInterval", 30},
                                      {"lastBraudRateIndex", 2}});
        }
    } else {
        QVERIFY(prepare(start));
    }
    const bool hadFile = QFileInfo(file).isFile();
    const bool readable = hadFile && start != Start::UndecodableList;
    const QByteArray before = hadFile ? fileBytes(file) : QByteArray();
    const QStringList entriesBefore =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    std::unique_ptr<ReadOnlyFolder> guard;
    if (readOnly) {
        guard = std::make_unique<ReadOnlyFolder>(folder);
        if (!guard->ok())
            QSKIP("this file system cannot make the folder read-only");
    }

    MovraTestTool w(m_options);
    w.ticker().stop();
    if (readable) {
        QVERIFY(checkOn(w, Quantity::Temperature));
        QCOMPARE(reference(w, Quantity::Temperature), 200);
    } else {
        checkDefaults(w);
    }
    movratest::DialogLog dialogs;
    // Connecting first: its failure switches the automatic reading off.
    for (Writer writer : {Writer::Connect, Writer::TempInterval, Writer::HumiInterval,
                          Writer::AutoReadBox, Writer::ReferenceText, Writer::CheckFlagBox})
        runWriter(w, writer);

    // The run goes on with what the operator chose...
    QCOMPARE(interval(w, Quantity::Temperature), 37);
    QCOMPARE(interval(w, Quantity::Humidity), 41);
    QVERIFY(periodic(w, Quantity::Temperature));
    QCOMPARE(reference(w, Quantity::Temperature), 125);
    QCOMPARE(checkOn(w, Quantity::Temperature), !readable);
    QCOMPARE(dialogs.titles, QStringList{QStringLiteral("串口操作错误")});

    // ...and the disk keeps what it had: no half file, no stray temporary.
    if (start == Start::Directory)
        QVERIFY(QFileInfo(file).isDir());
    else if (start == Start::FolderIsAFile)
        QVERIFY(QFileInfo(folder).isFile());
    else if (hadFile)
        QCOMPARE(fileBytes(file), before);
    else
        QVERIFY(!QFileInfo::exists(file));
    // The record store keeps the connection attempt beside Setting.ini;
    // that is recording, not a settings write.
    const QStringList entriesAfter =
        QDir(folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
            .filter(QRegularExpression(QStringLiteral("^(?!records\\.sqlite)")));
    QCOMPARE(entriesAfter, entriesBefore);
}

void TestBadSettings::typedReference_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");

    const qint64 s32max = std::numeric_limits<qint32>::max();
    const qint64 s32min = std::numeric_limits<qint32>::min();
    const qint64 u16 = std::numeric_limits<quint16>::max();
    const qint64 u32 = std::numeric_limits<quint32>::max();

    struct Row
    {
        const char *text;
        qint64 temp;      // BaseTemp, signed 32 bits
        qint64 humi;      // BaseHumi and OffsetHumi, unsigned 16 bits
        qint64 tolerance; // OffsetTemp, unsigned 32 bits
    };
    // Read as a float, times ten in single precision, truncated toward zero,
    // and held at the member's limits; anything that is not a number is 0.
    const Row rows[] = {
        {"", 0, 0, 0},
        {"-", 0, 0, 0},
        {".", 0, 0, 0},
        {"25,3", 0, 0, 0},
        {"25.3abc", 0, 0, 0},
        {"0x1A", 0, 0, 0},
        {"Infinity", 0, 0, 0},
        {"nan", 0, 0, 0},
        {" 25.3 ", 253, 253, 253},
        {"+0.5", 5, 5, 5},
        {"4.35", 43, 43, 43},
        {"-4.35", -43, 0, 0},
        {"-0.05", 0, 0, 0},
        {"1e-45", 0, 0, 0},
        {"1e2", 1000, 1000, 1000},
        {"6553.5", 65535, u16, 65535},
        {"6553.6", 65536, u16, 65536},
        {"214748364.7", s32max, u16, 2147483648LL},
        {"-214748364.8", s32min, 0, 0},
        {"99999999999", s32max, u16, u32},
        {"-99999999999", s32min, 0, 0},
        {"1e40", s32max, u16, u32},
        {"-1e40", s32min, 0, 0},
        {"inf", s32max, u16, u32},
        {"INF", s32max, u16, u32},
        {"-inf", s32min, 0, 0},
    };
    for (const Row &r : rows) {
        QTest::addRow("BaseTemp \"%s\"", r.text) << "BaseTemp"
                                                 << "BaseTemp" << r.text << r.temp;
        QTest::addRow("BaseHumi \"%s\"", r.text) << "BaseHumi"
                                                 << "BaseHumi" << r.text << r.humi;
        QTest::addRow("OffsetTemp \"%s\"", r.text) << "OffsetTemp"
                                                   << "CheckOffsetTemp" << r.text << r.tolerance;
        QTest::addRow("OffsetHumi \"%s\"", r.text) << "OffsetHumi"
                                                   << "CheckOffsetHumi" << r.text << r.humi;
    }
}

void TestBadSettings::typedReference()
{
    QFETCH(QString, field);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(qint64, value);

    {
        MovraTestTool w(m_options);
        w.ticker().stop();
        auto *edit = w.findChild<QLineEdit *>(field);
        QVERIFY(edit);
        edit->clear();
        if (text.isEmpty()) {
            // An emptied field: type a digit and take it back.
            QTest::keyClick(edit, Qt::Key_5);
            QTest::keyClick(edit, Qt::Key_Backspace);
        } else {
            QTest::keyClicks(edit, text);
        }
        QCOMPARE(edit->text(), text);
        QCOMPARE(held(w, field), value);
        QCOMPARE(diskSettings().value(key).toLongLong(), value);
    }

    // Nothing is lost over a restart: the member and the field come back.
    MovraTestTool again(m_options);
    again.ticker().stop();
    QCOMPARE(held(again, field), value);
    QCOMPARE(again.findChild<QLineEdit *>(field)->text(), movra::tenthsText(value));
}

QTEST_MAIN(TestBadSettings)
#include "tst_badsettings.moc"
