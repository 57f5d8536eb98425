#include "records/Schema.h"

#include <QSqlError>
#include <QSqlQuery>

#include "records/Columns.h"
#include "records/RecordRows.h"
#include "records/RecordText.h"

namespace movra::records::schema {

namespace {

// Version 5 (3 added the serial numbers, 4 signs deviations, 5 keeps who tested against what
// on every record, and calibrations). Ids are 16-byte blobs, times
// milliseconds since the epoch (UTC), enums the integer codes of Record.h. A unit's summary columns
// are kept by triggers so that the records window pages units without aggregating their records.
// Version 1 kept ids, times and enums as text and had no summary; it is read once by
// migrateFrom1().
const char *const tablesV2[] = {
    "CREATE TABLE units("
    " seq INTEGER PRIMARY KEY, id BLOB NOT NULL UNIQUE,"
    " started INTEGER NOT NULL, utc_offset INTEGER NOT NULL,"
    " station TEXT NOT NULL, tool_version TEXT NOT NULL,"
    " port TEXT NOT NULL, baud INTEGER NOT NULL, mode INTEGER NOT NULL, ident TEXT NOT NULL,"
    " address INTEGER, ended INTEGER, ended_by INTEGER, end_reason TEXT,"
    " passed INTEGER NOT NULL DEFAULT 0, failed INTEGER NOT NULL DEFAULT 0,"
    " worst_temperature REAL, worst_humidity REAL, serial TEXT)",
    "CREATE INDEX units_started ON units(started, seq)",
    "CREATE INDEX records_unit ON records(unit) WHERE unit IS NOT NULL",
    "CREATE INDEX records_t ON records(t)",
    // How far each central database has been given the records.
    "CREATE TABLE copy_state(target TEXT PRIMARY KEY, last_seq INTEGER NOT NULL)",
};

// A unit's summary, kept as its records come.
const char *const triggers[] = {
    "CREATE TRIGGER records_reading AFTER INSERT ON records"
    " WHEN NEW.kind IN (1, 5) AND NEW.pass IS NOT NULL AND NEW.unit IS NOT NULL BEGIN"
    " UPDATE units SET passed = passed + (NEW.pass = 1), failed = failed + (NEW.pass = 0),"
    " worst_temperature = CASE WHEN NEW.quantity = 0 AND (worst_temperature IS NULL"
    "  OR abs(NEW.deviation) > abs(worst_temperature)) THEN NEW.deviation"
    "  ELSE worst_temperature END,"
    " worst_humidity = CASE WHEN NEW.quantity = 1 AND (worst_humidity IS NULL"
    "  OR abs(NEW.deviation) > abs(worst_humidity)) THEN NEW.deviation"
    "  ELSE worst_humidity END"
    " WHERE seq = NEW.unit; END",
    "CREATE TRIGGER records_address AFTER INSERT ON records"
    " WHEN NEW.unit IS NOT NULL AND ((NEW.kind = 2 AND NEW.parameter = 0 AND NEW.confirmed = 1)"
    " OR (NEW.kind = 3 AND NEW.batch_station IS NOT NULL)) BEGIN"
    " UPDATE units SET address = CAST(coalesce(NEW.batch_station, NEW.value) AS INTEGER)"
    " WHERE seq = NEW.unit; END",
    "CREATE TRIGGER records_end AFTER INSERT ON records"
    " WHEN NEW.kind = 4 AND NEW.unit IS NOT NULL BEGIN"
    " UPDATE units SET ended = NEW.t, ended_by = NEW.ended_by, end_reason = NEW.reason"
    " WHERE seq = NEW.unit; END",
    // A unit named only after it connected, as the window's calibration does.
    "CREATE TRIGGER records_serial AFTER INSERT ON records"
    " WHEN NEW.serial IS NOT NULL AND NEW.unit IS NOT NULL BEGIN"
    " UPDATE units SET serial = NEW.serial WHERE seq = NEW.unit AND serial IS NULL; END",
};

struct Step
{
    QSqlDatabase &db;
    QSqlError error;

    bool exec(const QString &sql)
    {
        QSqlQuery q(db);
        if (q.exec(sql))
            return true;
        error = q.lastError();
        return false;
    }

    // The first column of the first row, invalid on error.
    QVariant value(const QString &sql)
    {
        QSqlQuery q(db);
        if (q.exec(sql) && q.next())
            return q.value(0);
        error = q.lastError();
        return QVariant();
    }
};

bool createTriggers(Step &step)
{
    for (const char *sql : triggers) {
        if (!step.exec(QString::fromLatin1(sql)))
            return false;
    }
    return true;
}

bool createV2(Step &step)
{
    if (!step.exec(QStringLiteral("CREATE TABLE records(seq INTEGER PRIMARY KEY, %1)")
                       .arg(columns::declarations(false))))
        return false;
    for (const char *sql : tablesV2) {
        if (!step.exec(QString::fromLatin1(sql)))
            return false;
    }
    return createTriggers(step);
}

template <typename E> E v1Enum(const QVariant &text, E fallback)
{
    return E(fromCode(namesOf<E>(), text.toString()).value_or(int(fallback)));
}

QDateTime v1Time(const QVariant &text)
{
    if (text.isNull())
        return QDateTime();
    QDateTime t = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    return t.toUTC();
}

bool copyV1Units(Step &step, rows::Writer &writer)
{
    QSqlQuery q(step.db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT id, started, utc_offset, station, tool_version, port, baud, mode, ident,"
            " address, ended, ended_by, end_reason FROM units_v1"))) {
        step.error = q.lastError();
        return false;
    }
    while (q.next()) {
        Unit u;
        u.id = QUuid::fromString(q.value(0).toString());
        u.started = v1Time(q.value(1));
        u.utcOffset = q.value(2).toInt();
        u.station = q.value(3).toString();
        u.toolVersion = q.value(4).toString();
        u.port = q.value(5).toString();
        u.baud = q.value(6).toInt();
        u.mode = v1Enum(q.value(7), Mode::Normal);
        u.ident = q.value(8).toString();
        if (!q.value(9).isNull())
            u.address = q.value(9).toInt();
        u.ended = v1Time(q.value(10));
        if (!q.value(11).isNull())
            u.endedBy = v1Enum(q.value(11), EndedBy::Operator);
        u.endReason = q.value(12).toString();
        if (!writer.writeUnit(u)) {
            step.error = writer.lastError();
            return false;
        }
    }
    return true;
}

template <typename T> std::optional<T> v1Optional(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<T>(value.value<T>());
}

RecordData v1Data(Kind kind, const QSqlQuery &q)
{
    auto at = [&q](int column) {
        return q.value(column);
    };
    switch (kind) {
    case Kind::Attempt:
        return Attempt{at(7).toString(),  at(8).toInt(),           v1Enum(at(9), Mode::Normal),
                       at(10).toString(), v1Optional<int>(at(11)), at(12).toBool(),
                       at(13).toString()};
    case Kind::Reading:
        return Reading{v1Enum(at(14), Quantity::Temperature),
                       at(15).toDouble(),
                       at(16).toDouble(),
                       at(17).toDouble(),
                       at(18).toDouble(),
                       at(19).toBool()};
    case Kind::Write:
        return ParameterWrite{v1Enum(at(20), Parameter::Address), at(15).toDouble(),
                              at(21).toBool()};
    case Kind::Batch:
        return BatchRead{v1Optional<int>(at(22)), v1Optional<int>(at(23)),
                         v1Optional<double>(at(24)), v1Optional<double>(at(25)),
                         v1Optional<int>(at(26))};
    case Kind::Disconnect:
    case Kind::Calibration:
        break;
    }
    return Disconnect{v1Enum(at(27), EndedBy::Operator), at(13).toString()};
}

bool copyV1Records(Step &step, rows::Writer &writer)
{
    QSqlQuery q(step.db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT id, unit_id, time, utc_offset, station, tool_version, kind,"
            " port, baud, mode, ident, address, ok, reason,"
            " quantity, value, reference, tolerance, deviation, pass, parameter, confirmed,"
            " b_station, b_baud, b_temp_offset, b_humi_offset, b_order, ended_by"
            " FROM records_v1 ORDER BY time, rowid"))) {
        step.error = q.lastError();
        return false;
    }
    while (q.next()) {
        Record r;
        r.id = QUuid::fromString(q.value(0).toString());
        r.unit = QUuid::fromString(q.value(1).toString());
        r.time = v1Time(q.value(2));
        r.utcOffset = q.value(3).toInt();
        r.station = q.value(4).toString();
        r.toolVersion = q.value(5).toString();
        r.data = v1Data(v1Enum(q.value(6), Kind::Attempt), q);
        if (!writer.write(r)) {
            step.error = writer.lastError();
            return false;
        }
    }
    return true;
}

bool migrateFrom1(Step &step)
{
    const char *const before[] = {
        "DROP INDEX IF EXISTS records_unit",
        "ALTER TABLE records RENAME TO records_v1",
        "ALTER TABLE units RENAME TO units_v1",
    };
    for (const char *sql : before) {
        if (!step.exec(QString::fromLatin1(sql)))
            return false;
    }
    if (!createV2(step))
        return false;
    rows::Writer writer(step.db);
    if (!writer.prepare()) {
        step.error = writer.lastError();
        return false;
    }
    if (!copyV1Units(step, writer) || !copyV1Records(step, writer))
        return false;
    return step.exec(QStringLiteral("DROP TABLE records_v1")) &&
           step.exec(QStringLiteral("DROP TABLE units_v1"));
}

// Version 4 keeps a reading's deviation with its sign, value minus reference
// (in tenths, as the tool judges), and so the unit's worst ones.
bool signDeviations(Step &step)
{
    return step.exec(QStringLiteral(
               "UPDATE records SET deviation = round((value - reference) * 10) / 10.0"
               " WHERE kind = 1 AND value IS NOT NULL AND reference IS NOT NULL")) &&
           step.exec(QStringLiteral(
               "UPDATE units SET"
               " worst_temperature = (SELECT deviation FROM records r WHERE r.unit = units.seq"
               "  AND r.kind = 1 AND r.quantity = 0 ORDER BY abs(deviation) DESC, seq LIMIT 1),"
               " worst_humidity = (SELECT deviation FROM records r WHERE r.unit = units.seq"
               "  AND r.kind = 1 AND r.quantity = 1 ORDER BY abs(deviation) DESC, seq LIMIT 1)"));
}

// The columns the file's records table lacks, as the column table declares them.
bool addColumns(Step &step)
{
    QSqlQuery q(step.db);
    QStringList have;
    if (!q.exec(QStringLiteral("PRAGMA table_info(records)"))) {
        step.error = q.lastError();
        return false;
    }
    while (q.next())
        have << q.value(1).toString();
    for (const columns::Column &c : columns::list) {
        if (!have.contains(QLatin1String(c.name)) &&
            !step.exec(QStringLiteral("ALTER TABLE records ADD COLUMN ") +
                       columns::declaration(c, false)))
            return false;
    }
    return true;
}

// Version 5: every record of a unit says its serial number, and a
// calibration's verdict counts in its unit's.
bool traceEveryRecord(Step &step)
{
    for (const char *name : {"records_reading", "records_address", "records_end"}) {
        if (!step.exec(QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(QLatin1String(name))))
            return false;
    }
    return step.exec(QStringLiteral("UPDATE records SET serial = (SELECT serial FROM units"
                                    " WHERE seq = records.unit) WHERE serial IS NULL")) &&
           createTriggers(step);
}

bool migrateUp(Step &step, int found)
{
    if (found == 1)
        return migrateFrom1(step) && signDeviations(step);
    return addColumns(step) &&
           (found >= 3 || step.exec(QStringLiteral("ALTER TABLE units ADD COLUMN serial TEXT"))) &&
           (found >= 4 || signDeviations(step)) && traceEveryRecord(step);
}

Result failed(const QSqlError &error, int found)
{
    Result r;
    r.problem = classifySqlite(error);
    r.detail = error.text();
    r.found = found;
    return r;
}

} // namespace

Result inspect(QSqlDatabase &db)
{
    Step step{db, {}};
    const QVariant version = step.value(QStringLiteral("PRAGMA user_version"));
    if (!version.isValid())
        return failed(step.error, 0);
    Result result;
    result.found = version.toInt();
    if (result.found > current) {
        result.problem = Problem::TooNew;
        return result;
    }
    if (result.found == 0) {
        const QVariant objects = step.value(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!objects.isValid())
            return failed(step.error, 0);
        if (objects.toInt() > 0)
            result.problem = Problem::NotRecords;
    }
    return result;
}

Result prepare(QSqlDatabase &db)
{
    Step step{db, {}};
    Result result = inspect(db);
    if (result.problem != Problem::None)
        return result;
    // Migrated before the switch to WAL: a migration that fails leaves the
    // file as it was, to the byte.
    if (result.found != current) {
        if (!step.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return failed(step.error, result.found);
        const bool ok = (result.found == 0 ? createV2(step) : migrateUp(step, result.found)) &&
                        step.exec(QStringLiteral("PRAGMA user_version = %1").arg(current)) &&
                        step.exec(QStringLiteral("COMMIT"));
        if (!ok) {
            const QSqlError error = step.error;
            step.exec(QStringLiteral("ROLLBACK"));
            Result r = failed(error, result.found);
            if (result.found > 0)
                r.detail = RecordsText::tr("从格式版本 %1 升级失败：").arg(result.found) + r.detail;
            return r;
        }
    }
    const QVariant mode = step.value(QStringLiteral("PRAGMA journal_mode=WAL"));
    if (!mode.isValid() || mode.toString().compare(QLatin1String("wal"), Qt::CaseInsensitive)) {
        Result r = mode.isValid() ? Result{Problem::ReadOnly, mode.toString(), result.found}
                                  : failed(step.error, result.found);
        r.readable = true;
        return r;
    }
    return result;
}

} // namespace movra::records::schema
