#include "records/RecordRows.h"

#include "records/Problem.h"

namespace movra::records {

namespace {
int primaryCode(const QSqlError &error, bool *ok)
{
    // Extended result codes carry the primary code in their low byte.
    return error.nativeErrorCode().toInt(ok) & 0xFF;
}
} // namespace

bool isRecordError(const QSqlError &error)
{
    bool ok = false;
    const int code = primaryCode(error, &ok);
    // SQLITE_TOOBIG, SQLITE_CONSTRAINT, SQLITE_MISMATCH, SQLITE_RANGE
    return ok && (code == 18 || code == 19 || code == 20 || code == 25);
}

Problem classifySqlite(const QSqlError &error)
{
    // SQLITE_BUSY, _LOCKED, _READONLY, _AUTH, _CORRUPT, _NOTADB, _FULL, _CANTOPEN, _PERM
    const std::pair<int, Problem> byCode[] = {
        {5, Problem::Locked},    {6, Problem::Locked},      {8, Problem::ReadOnly},
        {23, Problem::ReadOnly}, {11, Problem::Corrupt},    {26, Problem::Corrupt},
        {13, Problem::DiskFull}, {14, Problem::CannotOpen}, {3, Problem::CannotOpen}};
    // Some of Qt's own calls keep SQLite's message but not its code.
    const std::pair<const char *, Problem> byText[] = {{"disk is full", Problem::DiskFull},
                                                       {"readonly", Problem::ReadOnly},
                                                       {"locked", Problem::Locked},
                                                       {"malformed", Problem::Corrupt},
                                                       {"not a database", Problem::Corrupt}};
    bool ok = false;
    const int code = primaryCode(error, &ok);
    for (const auto &[known, problem] : byCode) {
        if (ok && code == known)
            return problem;
    }
    for (const auto &[text, problem] : byText) {
        if (!ok && error.databaseText().contains(QLatin1String(text)))
            return problem;
    }
    return Problem::IoError;
}

} // namespace movra::records

namespace movra::records::rows {

const char unitSelect[] =
    "u.seq, u.id, u.started, u.ended, u.utc_offset, u.station, u.port, u.ident, u.address, "
    "u.ended_by, u.end_reason, u.passed, u.failed, u.worst_temperature, u.worst_humidity, "
    "u.serial";

namespace {

using columns::at;

// A unit is what its successful attempt says: these of its columns, by the
// units table's names, with NOT NULL texts empty rather than null.
const char insertUnitSql[] =
    "INSERT INTO units(id, started, utc_offset, station, tool_version, port, baud, mode, ident, "
    "address, serial) VALUES (?, ?, ?, ?, ?, coalesce(?, ''), ?, ?, ?, ?, ?) "
    "ON CONFLICT(id) DO NOTHING";
constexpr int unitColumns[] = {at("unit"),         at("t"),       at("utc_offset"), at("station"),
                               at("tool_version"), at("port"),    at("baud"),       at("mode"),
                               at("ident"),        at("address"), at("serial")};

template <typename T> std::optional<T> optFrom(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<T>(value.value<T>());
}

} // namespace

QSqlQuery select(const QSqlDatabase &db, const QString &sql, const QVariantList &binds)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (db.isOpen() && q.prepare(sql)) {
        for (const QVariant &v : binds)
            q.addBindValue(v);
        q.exec();
    }
    return q;
}

bool readRecords(const QSqlDatabase &db, const QString &tail, const QVariantList &binds,
                 const std::function<bool(const Record &)> &take, QSqlError *error, bool central)
{
    const QString select =
        central
            ? QStringLiteral("SELECT 0, %1 FROM records").arg(columns::names())
            : QStringLiteral("SELECT r.seq, %1 FROM records r LEFT JOIN units u ON u.seq = r.unit")
                  .arg(columns::names(QStringLiteral("r."), QStringLiteral("u.id")));
    QSqlQuery q = rows::select(db, select + tail, binds);
    bool ok = q.isActive();
    while (ok && q.next()) {
        columns::Row row;
        for (int i = 0; i < columns::count; ++i)
            row[i] =
                central ? columns::fromCentral(columns::list[i], q.value(i + 1)) : q.value(i + 1);
        Record r = columns::unflatten(row);
        r.seq = q.value(0).toLongLong();
        ok = take(r);
    }
    if (error)
        *error = q.lastError();
    return ok && !q.lastError().isValid();
}

UnitSummary readUnit(const QSqlQuery &q)
{
    UnitSummary s;
    s.seq = q.value(0).toLongLong();
    Unit &u = s.unit;
    u.id = columns::idFrom(q.value(1));
    u.started = columns::timeFrom(q.value(2));
    u.ended = columns::timeFrom(q.value(3));
    u.utcOffset = q.value(4).toInt();
    u.station = q.value(5).toString();
    u.port = q.value(6).toString();
    u.ident = q.value(7).toString();
    u.address = optFrom<int>(q.value(8));
    if (!q.value(9).isNull())
        u.endedBy = EndedBy(q.value(9).toInt());
    u.endReason = q.value(10).toString();
    s.passed = q.value(11).toInt();
    s.failed = q.value(12).toInt();
    s.worstTemperature = optFrom<double>(q.value(13));
    s.worstHumidity = optFrom<double>(q.value(14));
    u.serial = q.value(15).toString();
    return s;
}

QString verdictCondition(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Passed:
        return QStringLiteral("u.failed = 0 AND u.passed > 0");
    case Verdict::Failed:
        return QStringLiteral("u.failed > 0");
    case Verdict::Unjudged:
        return QStringLiteral("u.passed = 0 AND u.failed = 0");
    case Verdict::All:
        break;
    }
    return QString();
}

bool Writer::prepare()
{
    insertRecord = QSqlQuery(db);
    insertUnit = QSqlQuery(db);
    // The file refers to a unit by its seq.
    const QString sql = columns::insert(QStringLiteral("(SELECT seq FROM units WHERE id = ?)"));
    if (insertRecord.prepare(sql) && insertUnit.prepare(QString::fromLatin1(insertUnitSql)))
        return true;
    error = insertRecord.lastError().isValid() ? insertRecord.lastError() : insertUnit.lastError();
    return false;
}

bool Writer::run(QSqlQuery &query)
{
    const bool ok = query.exec();
    if (!ok)
        error = query.lastError();
    else if (&query == &insertRecord && query.numRowsAffected() > 0)
        inserted = query.lastInsertId().toLongLong();
    query.finish();
    return ok;
}

bool Writer::writeUnit(const columns::Row &attempt)
{
    for (int i = 0; i < int(std::size(unitColumns)); ++i)
        insertUnit.bindValue(i, attempt[unitColumns[i]]);
    return run(insertUnit);
}

bool Writer::write(const Record &r)
{
    const columns::Row row = columns::flatten(r);
    const auto *attempt = std::get_if<Attempt>(&r.data);
    if (attempt && attempt->ok && !r.unit.isNull() && !writeUnit(row))
        return false;
    for (int i = 0; i < columns::count; ++i)
        insertRecord.bindValue(i, row[i]);
    return run(insertRecord);
}

} // namespace movra::records::rows
