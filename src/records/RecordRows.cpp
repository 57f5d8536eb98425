#include "records/RecordRows.h"

#include <QSqlRecord>

#include "records/Columns.h"
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
    bool ok = false;
    const int code = primaryCode(error, &ok);
    if (!ok) {
        // Some of Qt's own calls keep SQLite's message but not its code.
        const QString text = error.databaseText();
        if (text.contains(QLatin1String("disk is full")))
            return Problem::DiskFull;
        if (text.contains(QLatin1String("readonly")))
            return Problem::ReadOnly;
        if (text.contains(QLatin1String("locked")))
            return Problem::Locked;
        if (text.contains(QLatin1String("malformed")) ||
            text.contains(QLatin1String("not a database")))
            return Problem::Corrupt;
        return Problem::IoError;
    }
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return Problem::Locked;
    case 8:  // SQLITE_READONLY
    case 23: // SQLITE_AUTH
        return Problem::ReadOnly;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Problem::Corrupt;
    case 13: // SQLITE_FULL
        return Problem::DiskFull;
    case 14: // SQLITE_CANTOPEN
    case 3:  // SQLITE_PERM
        return Problem::CannotOpen;
    default:
        return Problem::IoError;
    }
}

} // namespace movra::records

namespace movra::records::rows {

QString recordSelect()
{
    return QStringLiteral("r.seq, ") + columns::names(QStringLiteral("r."), QStringLiteral("u.id"));
}

const char unitSelect[] =
    "u.seq, u.id, u.started, u.ended, u.utc_offset, u.station, u.tool_version, u.port, u.baud, "
    "u.mode, u.ident, u.address, u.ended_by, u.end_reason, u.passed, u.failed, "
    "u.worst_temperature, u.worst_humidity, u.serial";

namespace {

const char insertUnitSql[] =
    "INSERT INTO units(id, started, utc_offset, station, tool_version, port, baud, mode, ident, "
    "address, ended, ended_by, end_reason, serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?) "
    "ON CONFLICT(id) DO NOTHING";

// NOT NULL text columns take an empty text for a null QString.
QVariant text(const QString &value)
{
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

template <typename T> QVariant opt(const std::optional<T> &value)
{
    return value ? QVariant(*value) : QVariant();
}

template <typename T> std::optional<T> optFrom(const QVariant &value)
{
    if (value.isNull())
        return std::nullopt;
    return value.value<T>();
}

} // namespace

QVariant idValue(const QUuid &id)
{
    return id.isNull() ? QVariant() : QVariant(id.toRfc4122());
}

QUuid idFrom(const QVariant &value)
{
    return value.isNull() ? QUuid() : QUuid::fromRfc4122(value.toByteArray());
}

QVariant timeValue(const QDateTime &utc)
{
    return utc.isValid() ? QVariant(utc.toMSecsSinceEpoch()) : QVariant();
}

QDateTime timeFrom(const QVariant &value)
{
    return value.isNull() ? QDateTime()
                          : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

Record readRecord(const QSqlQuery &q)
{
    columns::Row row;
    for (int i = 0; i < columns::count; ++i)
        row[size_t(i)] = columns::fromSqlite(columns::list[i].type, q.value(i + 1));
    Record r = columns::unflatten(row);
    r.seq = q.value(0).toLongLong();
    return r;
}

UnitSummary readUnit(const QSqlQuery &q)
{
    UnitSummary s;
    s.seq = q.value(0).toLongLong();
    Unit &u = s.unit;
    u.id = idFrom(q.value(1));
    u.started = timeFrom(q.value(2));
    u.ended = timeFrom(q.value(3));
    u.utcOffset = q.value(4).toInt();
    u.station = q.value(5).toString();
    u.toolVersion = q.value(6).toString();
    u.port = q.value(7).toString();
    u.baud = q.value(8).toInt();
    u.mode = Mode(q.value(9).toInt());
    u.ident = q.value(10).toString();
    u.address = optFrom<int>(q.value(11));
    if (!q.value(12).isNull())
        u.endedBy = EndedBy(q.value(12).toInt());
    u.endReason = q.value(13).toString();
    s.passed = q.value(14).toInt();
    s.failed = q.value(15).toInt();
    s.worstTemperature = optFrom<double>(q.value(16));
    s.worstHumidity = optFrom<double>(q.value(17));
    u.serial = q.value(18).toString();
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

Unit unitOf(const Record &attempt)
{
    Unit u;
    u.id = attempt.unit;
    u.started = attempt.time;
    u.utcOffset = attempt.utcOffset;
    u.station = attempt.station;
    u.toolVersion = attempt.toolVersion;
    u.serial = attempt.trace.serial;
    if (const auto *a = std::get_if<Attempt>(&attempt.data)) {
        u.port = a->port;
        u.baud = a->baud;
        u.mode = a->mode;
        u.ident = a->ident;
        u.address = a->address;
    }
    return u;
}

bool Writer::prepare()
{
    insertRecord = QSqlQuery(db);
    insertUnit = QSqlQuery(db);
    findUnit = QSqlQuery(db);
    seqs.clear();
    for (auto [query, sql] :
         {std::pair{&insertRecord, QStringLiteral("INSERT INTO records(%1) VALUES (%2) "
                                                  "ON CONFLICT(id) DO NOTHING")
                                       .arg(columns::names(), columns::placeholders())},
          std::pair{&insertUnit, QString::fromLatin1(insertUnitSql)},
          std::pair{&findUnit, QStringLiteral("SELECT seq FROM units WHERE id = ?")}}) {
        if (!query->prepare(sql)) {
            error = query->lastError();
            return false;
        }
    }
    return true;
}

bool Writer::run(QSqlQuery &query)
{
    const bool ok = query.exec();
    if (!ok)
        error = query.lastError();
    query.finish();
    return ok;
}

QVariant Writer::unitSeq(const QUuid &unit)
{
    const auto known = seqs.constFind(unit);
    if (known != seqs.constEnd())
        return *known;
    findUnit.bindValue(0, idValue(unit));
    if (!findUnit.exec()) {
        error = findUnit.lastError();
        return QVariant();
    }
    QVariant seq;
    if (findUnit.next()) {
        seq = findUnit.value(0);
        if (seqs.size() > 64)
            seqs.clear();
        seqs.insert(unit, seq.toLongLong());
    }
    findUnit.finish();
    return seq;
}

bool Writer::writeUnit(const Unit &u)
{
    const QVariant v[] = {idValue(u.id),
                          timeValue(u.started),
                          u.utcOffset,
                          text(u.station),
                          text(u.toolVersion),
                          text(u.port),
                          u.baud,
                          int(u.mode),
                          text(u.ident),
                          opt(u.address),
                          timeValue(u.ended),
                          u.endedBy ? QVariant(int(*u.endedBy)) : QVariant(),
                          u.endReason,
                          u.serial.isEmpty() ? QVariant() : QVariant(u.serial)};
    for (int i = 0; i < int(std::size(v)); ++i)
        insertUnit.bindValue(i, v[i]);
    return run(insertUnit);
}

bool Writer::write(const Record &r)
{
    const auto *attempt = std::get_if<Attempt>(&r.data);
    if (attempt && attempt->ok && !r.unit.isNull() && !seqs.contains(r.unit) &&
        !writeUnit(unitOf(r)))
        return false;
    QVariant unit;
    if (!r.unit.isNull()) {
        error = QSqlError();
        unit = unitSeq(r.unit);
        if (error.isValid())
            return false;
    }
    const columns::Row row = columns::flatten(r);
    for (int i = 0; i < columns::count; ++i) {
        const columns::Type type = columns::list[i].type;
        insertRecord.bindValue(
            i, type == columns::Type::Unit ? unit : columns::toSqlite(type, row[size_t(i)]));
    }
    if (!insertRecord.exec()) {
        error = insertRecord.lastError();
        insertRecord.finish();
        return false;
    }
    if (insertRecord.numRowsAffected() > 0)
        inserted = insertRecord.lastInsertId().toLongLong();
    insertRecord.finish();
    return true;
}

} // namespace movra::records::rows
