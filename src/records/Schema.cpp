#include "records/Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <functional>

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
    template <size_t N> bool exec(const char *const (&sqls)[N])
    {
        return std::all_of(std::begin(sqls), std::end(sqls),
                           [this](const char *sql) { return exec(QString::fromLatin1(sql)); });
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

bool createV2(Step &step)
{
    return step.exec(QStringLiteral("CREATE TABLE records(seq INTEGER PRIMARY KEY, %1)")
                         .arg(columns::declarations(false))) &&
           step.exec(tablesV2) && step.exec(triggers);
}

// The rows of a table of the first layout, through the column table under
// the names in `renamed`: it kept ids, times and enums as text, as the
// central database does.
bool copyV1(Step &step, const QString &sql, const QHash<QString, QString> &renamed,
            const std::function<bool(const columns::Row &)> &put)
{
    QSqlQuery q(step.db);
    q.setForwardOnly(true);
    bool ok = q.exec(sql);
    const QSqlRecord fields = q.record();
    while (ok && q.next()) {
        columns::Row row;
        for (int i = 0; i < columns::count; ++i) {
            const columns::Column &c = columns::list[i];
            const int at = fields.indexOf(renamed.value(c.name, c.name));
            row[i] = at < 0 ? QVariant() : columns::fromCentral(c, q.value(at));
        }
        ok = put(row);
    }
    if (q.lastError().isValid())
        step.error = q.lastError();
    return ok && !q.lastError().isValid();
}

bool migrateFrom1(Step &step)
{
    const char *const before[] = {
        "DROP INDEX IF EXISTS records_unit",
        "ALTER TABLE records RENAME TO records_v1",
        "ALTER TABLE units RENAME TO units_v1",
    };
    if (!step.exec(before) || !createV2(step))
        return false;
    rows::Writer writer(step.db);
    // A unit without its attempt stays a unit; its end comes with its disconnection.
    const auto unit = [&](const columns::Row &row) {
        return writer.writeUnit(row);
    };
    const auto record = [&](const columns::Row &row) {
        return writer.write(columns::unflatten(row));
    };
    const bool ok = writer.prepare() &&
                    copyV1(step, QStringLiteral("SELECT * FROM units_v1"),
                           {{"unit", "id"}, {"t", "started"}}, unit) &&
                    copyV1(step, QStringLiteral("SELECT * FROM records_v1 ORDER BY time, rowid"),
                           {{"unit", "unit_id"},
                            {"t", "time"},
                            {"batch_station", "b_station"},
                            {"batch_baud", "b_baud"},
                            {"batch_temp_offset", "b_temp_offset"},
                            {"batch_humi_offset", "b_humi_offset"},
                            {"batch_order", "b_order"}},
                           record);
    if (!ok) {
        if (!step.error.isValid())
            step.error = writer.lastError();
        return false;
    }
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
    const QSqlRecord have = step.db.record(QStringLiteral("records"));
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
    const char *const steps[] = {"DROP TRIGGER IF EXISTS records_reading",
                                 "DROP TRIGGER IF EXISTS records_address",
                                 "DROP TRIGGER IF EXISTS records_end",
                                 "UPDATE records SET serial = (SELECT serial FROM units"
                                 " WHERE seq = records.unit) WHERE serial IS NULL"};
    return step.exec(steps) && step.exec(triggers);
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
    return Result{classifySqlite(error), error.text(), found};
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
