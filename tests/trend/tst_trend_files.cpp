// What the trend writes: its group of a real Station.ini that other parts of
// the tool share, and the rows and bytes of its CSV export.
#include <QBuffer>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "trend/CsvRows.h"
#include "trend/StabilitySettings.h"

using namespace movra::trend;

namespace {

const QByteArray kBom("\xEF\xBB\xBF");

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), qint64(bytes.size()));
}

StabilitySettings settingsOf(int window, double temperature, double humidity)
{
    StabilitySettings s;
    s.windowSeconds = window;
    s.temperatureBand = temperature;
    s.humidityBand = humidity;
    return s;
}

// The group as the trend writes it, with the file's own line ends.
QByteArray trendGroup(const StabilitySettings &s, const QByteArray &eol)
{
    return "[trend]" + eol + "windowSeconds=" + QByteArray::number(s.windowSeconds) + eol +
           "temperatureBand=" + QByteArray::number(s.temperatureBand) + eol +
           "humidityBand=" + QByteArray::number(s.humidityBand) + eol;
}

} // namespace

class TrendFilesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void savesOnlyItsGroup_data();
    void savesOnlyItsGroup();
    void readsWhatQSettingsReads();
    void loadBoundsWhatItReads_data();
    void loadBoundsWhatItReads();
    void saveFailsWithoutHarm();

    void isoTimeCarriesTheOffsetOfItsDate_data();
    void isoTimeCarriesTheOffsetOfItsDate();
    void rowsMergeBothSeriesInTimeOrder();

private:
    QTemporaryDir m_dir;
};

void TrendFilesTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

// ------------------------------------------------------------ Station.ini

void TrendFilesTest::savesOnlyItsGroup_data()
{
    QTest::addColumn<QByteArray>("before");
    // The file after saving, with %1 where the trend's group must stand.
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QByteArray>("eol");

    // Another part's group, with what QSettings would not write back as it
    // was: a comment, spaces around '=', raw UTF-8, a key out of order.
    const QByteArray records = "[records]\n; kept by the records window\n"
                               "lastFolder = D:/测试记录/2024\nzeta=1\nalpha=\"a, b\"\n";
    const QByteArray recordsCrlf = QByteArray(records).replace("\n", "\r\n");
    const QByteArray oldTrend = "[trend]\nwindowSeconds=30\nhumidityBand=4\n";

    QTest::newRow("no file") << QByteArray() << QByteArray("%1") << QByteArray("\n");
    QTest::newRow("records only") << records << records + "\n%1" << QByteArray("\n");
    QTest::newRow("records, no last line end")
        << records.left(records.size() - 1) << records + "\n%1" << QByteArray("\n");
    QTest::newRow("records, CRLF and a BOM")
        << kBom + recordsCrlf << kBom + recordsCrlf + "\r\n%1" << QByteArray("\r\n");
    QTest::newRow("trend first") << oldTrend + "\n" + records << "%1\n" + records
                                 << QByteArray("\n");
    QTest::newRow("trend between two groups") << records + "\n" + oldTrend + "\n[other]\nx=1\n"
                                              << records + "\n%1\n[other]\nx=1\n"
                                              << QByteArray("\n");
    QTest::newRow("trend last") << records + "\n" + oldTrend << records + "\n%1"
                                << QByteArray("\n");
    QTest::newRow("trend twice") << oldTrend + "\n" + records + "\n" + oldTrend
                                 << "%1\n" + records + "\n"
                                 << QByteArray("\n");
    QTest::newRow("BOM right before the trend header")
        << kBom + oldTrend + "\n" + records << kBom + "%1\n" + records << QByteArray("\n");
}

void TrendFilesTest::savesOnlyItsGroup()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QByteArray, eol);
    const QString path =
        m_dir.filePath(QStringLiteral("%1/Station.ini").arg(QTest::currentDataTag()));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    if (!before.isNull())
        writeFile(path, before);

    // Written twice: once new or over an old group, once in place.
    for (const StabilitySettings &s : {settingsOf(90, 0.3, 2.5), settingsOf(600, 0, 12)}) {
        QVERIFY(s.save(path));
        const QByteArray expected = QByteArray(after).replace("%1", trendGroup(s, eol));
        QCOMPARE(readFile(path), expected);
        QCOMPARE(StabilitySettings::load(path), s);
    }
}

// QSettings, as the records window would use it, reads the trend's values
// and, writing its own group, keeps them.
void TrendFilesTest::readsWhatQSettingsReads()
{
    const QString path = m_dir.filePath(QStringLiteral("Station-qsettings.ini"));
    writeFile(path, "[records]\nlastFolder=D:/records\n");
    QVERIFY(settingsOf(120, 0.5, 3).save(path));
    {
        QSettings ini(path, QSettings::IniFormat);
        QCOMPARE(ini.value(QStringLiteral("trend/windowSeconds")).toInt(), 120);
        QCOMPARE(ini.value(QStringLiteral("trend/temperatureBand")).toDouble(), 0.5);
        QCOMPARE(ini.value(QStringLiteral("records/lastFolder")).toString(),
                 QStringLiteral("D:/records"));
        ini.setValue(QStringLiteral("records/lastFolder"), QStringLiteral("E:/new"));
        ini.sync();
        QCOMPARE(ini.status(), QSettings::NoError);
    }
    QCOMPARE(StabilitySettings::load(path), settingsOf(120, 0.5, 3));
    QVERIFY(settingsOf(45, 0.1, 1).save(path));
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("records/lastFolder")).toString(), QStringLiteral("E:/new"));
    QCOMPARE(ini.value(QStringLiteral("trend/windowSeconds")).toInt(), 45);
}

void TrendFilesTest::loadBoundsWhatItReads_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("window");
    QTest::addColumn<double>("temperatureBand");
    QTest::addColumn<double>("humidityBand");

    QTest::newRow("no group") << QByteArray("[records]\nx=1\n") << 60 << 0.2 << 1.0;
    QTest::newRow("only in another group")
        << QByteArray("[records]\nwindowSeconds=90\ntemperatureBand=3\n") << 60 << 0.2 << 1.0;
    QTest::newRow("spaces and a comment")
        << QByteArray("[trend]\n; set by hand\n windowSeconds = 75 \nhumidityBand= 1.5\n") << 75
        << 0.2 << 1.5;
    QTest::newRow("not numbers") << QByteArray("[trend]\nwindowSeconds=abc\ntemperatureBand=\n"
                                               "humidityBand=nan\n")
                                 << 60 << 0.2 << 1.0;
    QTest::newRow("window too short")
        << QByteArray("[trend]\nwindowSeconds=2\n") << 10 << 0.2 << 1.0;
    QTest::newRow("window too long")
        << QByteArray("[trend]\nwindowSeconds=99999999999\n") << 3600 << 0.2 << 1.0;
    QTest::newRow("negative bands")
        << QByteArray("[trend]\ntemperatureBand=-1\nhumidityBand=-0.5\n") << 60 << 0.0 << 0.0;
    QTest::newRow("bands to tenths")
        << QByteArray("[trend]\ntemperatureBand=0.26\nhumidityBand=999\n") << 60 << 0.3 << 50.0;
}

void TrendFilesTest::loadBoundsWhatItReads()
{
    QFETCH(QByteArray, file);
    QFETCH(int, window);
    QFETCH(double, temperatureBand);
    QFETCH(double, humidityBand);
    const QString path = m_dir.filePath(QStringLiteral("Station-load.ini"));
    writeFile(path, file);
    const StabilitySettings s = StabilitySettings::load(path);
    QCOMPARE(s.windowSeconds, window);
    QCOMPARE(s.temperatureBand, temperatureBand);
    QCOMPARE(s.humidityBand, humidityBand);
}

void TrendFilesTest::saveFailsWithoutHarm()
{
    QVERIFY(!settingsOf(60, 0.2, 1).save(m_dir.filePath(QStringLiteral("missing/Station.ini"))));

    // Someone (QSettings in another window) holds the file's lock.
    const QString path = m_dir.filePath(QStringLiteral("Station-locked.ini"));
    writeFile(path, "[records]\nx=1\n");
    QLockFile held(path + QStringLiteral(".lock"));
    QVERIFY(held.lock());
    QVERIFY(!settingsOf(60, 0.2, 1).save(path));
    QCOMPARE(readFile(path), QByteArray("[records]\nx=1\n"));
    held.unlock();
    QVERIFY(settingsOf(60, 0.2, 1).save(path));
}

// -------------------------------------------------------------------- CSV

void TrendFilesTest::isoTimeCarriesTheOffsetOfItsDate_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    // The tests run with TZ=Europe/Berlin.
    QTest::newRow("winter") << qint64(1705320000250LL) << "2024-01-15T13:00:00.250+01:00";
    QTest::newRow("summer") << qint64(1721044800007LL) << "2024-07-15T14:00:00.007+02:00";
    QTest::newRow("before the epoch's second") << qint64(999LL) << "1970-01-01T01:00:00.999+01:00";
}

void TrendFilesTest::isoTimeCarriesTheOffsetOfItsDate()
{
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    if (qgetenv("TZ") != "Europe/Berlin")
        QSKIP("needs TZ=Europe/Berlin, as CTest sets it");
    QCOMPARE(isoLocalTime(ms), text);
    QCOMPARE(QDateTime::fromString(isoLocalTime(ms), Qt::ISODateWithMs).toMSecsSinceEpoch(), ms);
}

void TrendFilesTest::rowsMergeBothSeriesInTimeOrder()
{
    TrendHistory h;
    const qint64 t0 = 1705320000000LL;
    h.append(Quantity::Temperature, t0, 25.3);
    h.append(Quantity::Humidity, t0 + 500, 45.0);
    h.append(Quantity::Humidity, t0 + 1000, 45.1);
    h.append(Quantity::Temperature, t0 + 1000, -0.5);
    const QVector<QStringList> rows = csvRows(h);
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0], QStringList({"时间", "量", "值"}));
    QCOMPARE(rows[1], QStringList({isoLocalTime(t0), "温度(℃)", "25.3"}));
    QCOMPARE(rows[2], QStringList({isoLocalTime(t0 + 500), "湿度(%RH)", "45.0"}));
    QCOMPARE(rows[3], QStringList({isoLocalTime(t0 + 1000), "温度(℃)", "-0.5"}));
    QCOMPARE(rows[4], QStringList({isoLocalTime(t0 + 1000), "湿度(%RH)", "45.1"}));
}

QTEST_MAIN(TrendFilesTest)
#include "tst_trend_files.moc"
