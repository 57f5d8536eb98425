// The file's layout version: created in a new or empty file, migrated from
// the first layout, and a file the store does not know left untouched.

#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/RecordStore.h"

using namespace records_test;

namespace {

// The first layout, as the first release wrote it: ids, times and enums as
// text, no unit summary.
const char *const firstLayout[] = {
    "CREATE TABLE units(id TEXT PRIMARY KEY, started TEXT NOT NULL,"
    " utc_offset INTEGER NOT NULL, station TEXT NOT NULL, tool_version TEXT NOT NULL,"
    " port TEXT NOT NULL, baud INTEGER NOT NULL, mode TEXT NOT NULL, ident TEXT NOT NULL,"
    " address INTEGER, ended TEXT, ended_by TEXT, end_reason TEXT)",
    "CREATE TABLE records(id TEXT PRIMARY KEY, unit_id TEXT REFERENCES units(id),"
    " time TEXT NOT NULL, utc_offset INTEGER NOT NULL, station TEXT NOT NULL,"
    " tool_version TEXT NOT NULL, kind TEXT NOT NULL,"
    " port TEXT, baud INTEGER, mode TEXT, ident TEXT, address INTEGER, ok INTEGER, reason TEXT,"
    " quantity TEXT, value REAL, reference REAL, tolerance REAL, deviation REAL, pass INTEGER,"
    " parameter TEXT, confirmed INTEGER, b_station INTEGER, b_baud INTEGER,"
    " b_temp_offset REAL, b_humi_offset REAL, b_order INTEGER, ended_by TEXT)",
    "CREATE INDEX records_unit ON records(unit_id)",
    "PRAGMA user_version = 1",
};

const QDateTime t0 = QDateTime(QDate(2023, 11, 2), QTime(9, 30, 15, 250), Qt::UTC);

// A connection of the test's own to a file, closed when it goes.
class Raw
{
public:
    explicit Raw(const QString &path) : name(QStringLiteral("raw_%1").arg(++count))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Raw()
    {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    bool exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(QSqlDatabase::database(name, false));
        q.prepare(sql);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (!q.exec()) {
            qWarning() << sql << q.lastError().text();
            return false;
        }
        return true;
    }
    QVariant value(const QString &sql)
    {
        QSqlQuery q(QSqlDatabase::database(name, false));
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }

private:
    QString name;
    static inline int count = 0;
};

QString text(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces);
}

QString text(const QDateTime &t)
{
    return t.toString(Qt::ISODateWithMs);
}

// A record of the first layout: the common columns, then the named ones.
bool addV1(Raw &raw, const Record &r, const QString &kind, const QVariantMap &columns)
{
    QString names = QStringLiteral("id, unit_id, time, utc_offset, station, tool_version, kind");
    QString marks = QStringLiteral("?, ?, ?, ?, ?, ?, ?");
    QVariantList values{text(r.id),   r.unit.isNull() ? QVariant() : text(r.unit),
                        text(r.time), r.utcOffset,
                        r.station,    r.toolVersion,
                        kind};
    for (auto it = columns.cbegin(); it != columns.cend(); ++it) {
        names += QStringLiteral(", ") + it.key();
        marks += QStringLiteral(", ?");
        values << it.value();
    }
    return raw.exec(QStringLiteral("INSERT INTO records(%1) VALUES (%2)").arg(names, marks),
                    values);
}

// Two units and a failed attempt between them, every kind of record, as
// the first layout stored them.
struct FirstLayoutSample
{
    QUuid unitA = newId(t0);
    QUuid unitB = newId(t0.addSecs(600));
    Attempt attempt = okAttempt(QStringLiteral("COM4"));
    Attempt refused = refusedAttempt(attempt);
    Record opened = record(attempt, t0, unitA);
    Record warm = record(reading(Quantity::Temperature, 23.6, 23.0, 0.5), t0.addSecs(1), unitA);
    Record damp = record(reading(Quantity::Humidity, 49.5, 50.0, 1.0), t0.addSecs(2), unitA);
    Record moved = record(ParameterWrite{Parameter::Address, 4, true}, t0.addSecs(3), unitA);
    Record batch = record(BatchRead{4, 9600, std::nullopt, -0.5, 1}, t0.addSecs(4), unitA);
    Record gone = record(Disconnect{EndedBy::Operator, {}}, t0.addSecs(5), unitA);
    Record failed = record(refused, t0.addSecs(300));
    Record second = record(okAttempt(QStringLiteral("COM5")), t0.addSecs(600), unitB);

    static Attempt refusedAttempt(Attempt a)
    {
        a.ok = false;
        a.address.reset();
        a.reason = QStringLiteral("无应答");
        return a;
    }

    void write(const QString &path) const;
};

void FirstLayoutSample::write(const QString &path) const
{
    Raw raw(path);
    for (const char *sql : firstLayout)
        QVERIFY(raw.exec(QString::fromLatin1(sql)));
    const auto unitRow = [&](const QUuid &id, const Record &r, const QVariant &ended) {
        const Attempt &a = std::get<Attempt>(r.data);
        return raw.exec(QStringLiteral("INSERT INTO units VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                       "?, ?, ?, ?)"),
                        {text(id), text(r.time), r.utcOffset, r.station, r.toolVersion, a.port,
                         a.baud, "normal", a.ident, 1, ended,
                         ended.isNull() ? QVariant() : "operator", QVariant()});
    };
    QVERIFY(unitRow(unitA, opened, text(gone.time)));
    QVERIFY(unitRow(unitB, second, QVariant()));
    const auto attemptColumns = [](const Attempt &a) {
        return QVariantMap{{"port", a.port},
                           {"baud", a.baud},
                           {"mode", "normal"},
                           {"ident", a.ident},
                           {"address", a.address ? QVariant(*a.address) : QVariant()},
                           {"ok", int(a.ok)},
                           {"reason", a.reason}};
    };
    QVERIFY(addV1(raw, opened, "attempt", attemptColumns(attempt)));
    QVERIFY(addV1(raw, warm, "reading",
                  {{"quantity", "temperature"},
                   {"value", 23.6},
                   {"reference", 23.0},
                   {"tolerance", 0.5},
                   {"deviation", 0.6},
                   {"pass", 0}}));
    QVERIFY(addV1(raw, damp, "reading",
                  {{"quantity", "humidity"},
                   {"value", 49.5},
                   {"reference", 50.0},
                   {"tolerance", 1.0},
                   {"deviation", 0.5}, // without its sign, as then
                   {"pass", 1}}));
    QVERIFY(addV1(raw, moved, "write", {{"parameter", "station"}, {"value", 4}, {"confirmed", 1}}));
    QVERIFY(addV1(raw, batch, "batch",
                  {{"b_station", 4}, {"b_baud", 9600}, {"b_humi_offset", -0.5}, {"b_order", 1}}));
    QVERIFY(addV1(raw, gone, "disconnect", {{"ended_by", "operator"}}));
    QVERIFY(addV1(raw, failed, "attempt", attemptColumns(refused)));
    QVERIFY(addV1(raw, second, "attempt", attemptColumns(okAttempt(QStringLiteral("COM5")))));
}

} // namespace

class SchemaTest : public StoreFileTest
{
    Q_OBJECT

private slots:
    void createsLayout_data();
    void createsLayout();
    void migratesFirstLayout();
    void signsSecondLayoutDeviations();
    void brokenFirstLayoutStaysAsItWas();
    void leavesUnknownFilesAlone_data();
    void leavesUnknownFilesAlone();
};

void SchemaTest::createsLayout_data()
{
    QTest::addColumn<bool>("emptyFile");
    QTest::addColumn<int>("layout"); // of a file with a unit in it; 0: none
    QTest::newRow("no file") << false << 0;
    QTest::newRow("empty file") << true << 0;
    QTest::newRow("second layout: no serial numbers") << false << 2;
    QTest::newRow("fourth layout: the serial on the attempt only") << false << 4;
}

void SchemaTest::createsLayout()
{
    QFETCH(bool, emptyFile);
    QFETCH(int, layout);
    if (emptyFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QUuid old;
    if (layout > 0) {
        {
            RecordStore store;
            QVERIFY(store.open(path));
            old = addUnit(store, t0, Verdict::Passed, QStringLiteral("COM3"),
                          QStringLiteral("K-1000"));
        }
        Raw raw(path);
        QStringList steps{"DROP TRIGGER records_serial",
                          "UPDATE records SET serial = NULL WHERE kind <> 0"};
        for (const char *column :
             {"operator", "reference_id", "reference_due", "reference_expired", "as_found",
              "correction_before", "correction_after", "as_left", "samples", "written"})
            steps << QStringLiteral("ALTER TABLE records DROP COLUMN %1").arg(column);
        if (layout == 2)
            steps << "ALTER TABLE units DROP COLUMN serial"
                  << "ALTER TABLE records DROP COLUMN serial";
        steps << QStringLiteral("PRAGMA user_version = %1").arg(layout);
        for (const QString &sql : steps)
            QVERIFY(raw.exec(sql));
    }
    const int units = layout > 0 ? 2 : 1;
    {
        RecordStore store;
        QVERIFY(store.open(path));
        Record labelled = record(okAttempt(), t0.addDays(1), newId(t0.addDays(1)));
        labelled.trace = {QStringLiteral("K-1001"), QStringLiteral("李工"), QStringLiteral("REF-7"),
                          QDate(2020, 1, 31), true};
        store.append(labelled);
        store.waitForWrites();
        QCOMPARE(store.recordCount(), units == 1 ? 1 : 4);
        const QVector<UnitSummary> newest = store.units({}, 1);
        QCOMPARE(newest.value(0).unit.serial, labelled.trace.serial);
        QCOMPARE(store.unitRecords(newest.value(0).unit.id).value(0), labelled);
        // The fourth layout's unit: every record of it names it now.
        for (const Record &r : store.unitRecords(old))
            QCOMPARE(r.trace.serial, layout == 4 ? QStringLiteral("K-1000") : QString());
    }
    Raw raw(path);
    QCOMPARE(raw.value("PRAGMA user_version").toInt(), 5);
    QCOMPARE(raw.value("PRAGMA journal_mode").toString(), QStringLiteral("wal"));
    QCOMPARE(raw.value("SELECT count(*) FROM units").toInt(), units);
}

void SchemaTest::migratesFirstLayout()
{
    const FirstLayoutSample v1;
    v1.write(path);
    if (QTest::currentTestFailed())
        return;
    const QUuid unitA = v1.unitA;
    const QUuid unitB = v1.unitB;
    const Record &opened = v1.opened, &warm = v1.warm, &damp = v1.damp, &moved = v1.moved,
                 &batch = v1.batch, &gone = v1.gone, &second = v1.second;
    for (int round = 0; round < 2; ++round) { // the second open finds nothing to do
        RecordStore store;
        QSignalSpy problems(&store, &RecordStore::problem);
        QVERIFY(store.open(path));
        QCOMPARE(problems.count(), 0);
        QCOMPARE(store.recordCount(), 8);
        const QVector<Record> a = store.unitRecords(unitA);
        QCOMPARE(a.size(), 6);
        QCOMPARE(a.at(0), opened);
        QCOMPARE(a.at(1), warm);
        QCOMPARE(a.at(2), damp);
        QCOMPARE(a.at(3), moved);
        QCOMPARE(a.at(4), batch);
        QCOMPARE(a.at(5), gone);
        QCOMPARE(store.unitRecords(unitB), QVector<Record>{second});

        const QVector<UnitSummary> units = store.units({}, 10);
        QCOMPARE(units.size(), 2);
        QCOMPARE(units.at(1).unit.id, unitA);
        QCOMPARE(units.at(1).passed, 1);
        QCOMPARE(units.at(1).failed, 1);
        QCOMPARE(units.at(1).unit.address, std::optional<int>(4));
        QCOMPARE(units.at(1).unit.ended, gone.time);
        QVERIFY(!units.at(0).unit.ended.isValid());
        QCOMPARE(store.unitCount({{}, {}, Verdict::Failed, {}}), 1);
    }
    Raw raw(path);
    QCOMPARE(raw.value("PRAGMA user_version").toInt(), 5);
    QCOMPARE(raw.value("SELECT count(*) FROM sqlite_master WHERE name LIKE '%_v1'").toInt(), 0);
    QCOMPARE(raw.value("SELECT typeof(id) FROM records LIMIT 1").toString(),
             QStringLiteral("blob"));
}

// Version 2 kept deviations without their sign: they are worked out again
// from value and reference, and so are the units' worst ones.
void SchemaTest::signsSecondLayoutDeviations()
{
    QUuid unit;
    {
        RecordStore store;
        QVERIFY(store.open(path));
        unit = addUnit(store, t0, Verdict::Failed); // humidity 52.0 against 50.0
        store.append(record(reading(Quantity::Humidity, 47.0, 50.0, 1.0), t0.addSecs(4), unit));
    }
    {
        Raw raw(path);
        QVERIFY(raw.exec("UPDATE records SET deviation = abs(deviation)"));
        QVERIFY(raw.exec("UPDATE units SET worst_humidity = 3.0"));
        QVERIFY(raw.exec("DROP TRIGGER records_serial"));
        QVERIFY(raw.exec("ALTER TABLE units DROP COLUMN serial"));
        QVERIFY(raw.exec("ALTER TABLE records DROP COLUMN serial"));
        QVERIFY(raw.exec("PRAGMA user_version = 2"));
    }
    RecordStore store;
    QVERIFY(store.open(path));
    QVector<double> deviations;
    for (const Record &r : store.unitRecords(unit)) {
        if (const auto *reading = std::get_if<Reading>(&r.data))
            deviations << reading->deviation;
    }
    QCOMPARE(deviations, (QVector<double>{0.1, 2.0, -3.0}));
    const UnitSummary summary = store.units({}, 1).value(0);
    QCOMPARE(summary.worstHumidity, std::optional<double>(-3.0));
    QCOMPARE(Raw(path).value("PRAGMA user_version").toInt(), 5);
}

// A row the new layout cannot take (an id that is no UUID) stops the
// migration; the file keeps its first layout and every row.
void SchemaTest::brokenFirstLayoutStaysAsItWas()
{
    {
        Raw raw(path);
        for (const char *sql : firstLayout)
            QVERIFY(raw.exec(QString::fromLatin1(sql)));
        Record good = record(reading(Quantity::Temperature, 20, 20, 1), t0);
        QVERIFY(addV1(raw, good, "reading", {{"quantity", "temperature"}, {"value", 20}}));
        QVERIFY(raw.exec("INSERT INTO records(id, time, utc_offset, station, tool_version, kind) "
                         "VALUES ('not-a-uuid', ?, 0, 'x', '1', 'reading')",
                         {text(t0.addSecs(1))}));
    }
    const QByteArray before = fileHash(path);
    UnitStore store;
    QSignalSpy problems(&store, &RecordStore::problem);
    QVERIFY(!store.open(path));
    QCOMPARE(problems.count(), 1);
    store.unitStarted(okAttempt());
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 1);
    store.close();
    QCOMPARE(fileHash(path), before);
    Raw raw(path);
    QCOMPARE(raw.value("PRAGMA user_version").toInt(), 1);
    QCOMPARE(raw.value("SELECT count(*) FROM records").toInt(), 2);
}

void SchemaTest::leavesUnknownFilesAlone_data()
{
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<int>("problem");
    QTest::addColumn<QString>("says");

    QTest::newRow("newer version") << QStringLiteral("PRAGMA user_version = 6")
                                   << int(Problem::TooNew) << QStringLiteral("格式版本 6");
    QTest::newRow("another program's file")
        << QStringLiteral("CREATE TABLE customers(name TEXT)") << int(Problem::NotRecords)
        << QStringLiteral("不是测试记录库");
}

void SchemaTest::leavesUnknownFilesAlone()
{
    QFETCH(QString, setUp);
    QFETCH(int, problem);
    QFETCH(QString, says);

    if (problem == int(Problem::TooNew)) {
        UnitStore store;
        QVERIFY(store.open(path));
        store.unitStarted(okAttempt());
    }
    {
        Raw raw(path);
        QVERIFY(raw.exec(setUp));
    }
    const QByteArray before = fileHash(path);
    UnitStore store;
    QSignalSpy problems(&store, &RecordStore::problem);
    QVERIFY(!store.open(path));
    QCOMPARE(int(store.currentProblem()), problem);
    for (int i = 0; i < 3; ++i) {
        store.add(reading(Quantity::Temperature, 20, 20, 1));
        store.retryNow();
    }
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    const QString message = problems.at(0).at(0).toString();
    QVERIFY2(message.contains(says), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("不改动")), qPrintable(message));
    QCOMPARE(store.keptInMemory(), 3);
    store.close();
    QCOMPARE(fileHash(path), before);
}

QTEST_GUILESS_MAIN(SchemaTest)
#include "tst_records_schema.moc"
