#include "records/RecordRows.h"

#include <QSqlRecord>

namespace movra::records::rows {

const char recordSelect[] =
    "r.seq, r.id, u.id, r.t, r.utc_offset, r.station, r.tool_version, r.kind, r.quantity, "
    "r.value, r.reference, r.tolerance, r.deviation, r.pass, r.parameter, r.confirmed, "
    "r.batch_station, r.batch_baud, r.batch_temp_offset, r.batch_humi_offset, r.batch_order, "
    "r.port, r.baud, r.mode, r.ident, r.address, r.ok, r.ended_by, r.reason, r.serial";

const char unitSelect[] =
    "u.seq, u.id, u.started, u.ended, u.utc_offset, u.station, u.tool_version, u.port, u.baud, "
    "u.mode, u.ident, u.address, u.ended_by, u.end_reason, u.passed, u.failed, "
    "u.worst_temperature, u.worst_humidity, u.serial";

namespace {

const char insertRecordSql[] =
    "INSERT INTO records(id, unit, t, utc_offset, station, tool_version, kind, quantity, value, "
    "reference, tolerance, deviation, pass, parameter, confirmed, batch_station, batch_baud, "
    "batch_temp_offset, batch_humi_offset, batch_order, port, baud, mode, ident, address, ok, "
    "ended_by, reason, serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(id) DO NOTHING";

const char insertUnitSql[] =
    "INSERT INTO units(id, started, utc_offset, station, tool_version, port, baud, mode, ident, "
    "address, ended, ended_by, end_reason, serial) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
    "?) "
    "ON CONFLICT(id) DO NOTHING";

enum Column {
    cId = 0,
    cUnit,
    cTime,
    cOffset,
    cStation,
    cVersion,
    cKind,
    cQuantity,
    cValue,
    cReference,
    cTolerance,
    cDeviation,
    cPass,
    cParameter,
    cConfirmed,
    cBatchStation,
    cBatchBaud,
    cBatchTemp,
    cBatchHumi,
    cBatchOrder,
    cPort,
    cBaud,
    cMode,
    cIdent,
    cAddress,
    cOk,
    cEndedBy,
    cReason,
    cSerial,
    cCount
};

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

void bindData(QVariant *v, const RecordData &data)
{
    if (const auto *a = std::get_if<Attempt>(&data)) {
        v[cPort] = a->port;
        v[cBaud] = a->baud;
        v[cMode] = int(a->mode);
        v[cIdent] = a->ident;
        v[cAddress] = opt(a->address);
        v[cOk] = int(a->ok);
        v[cReason] = a->reason;
        v[cSerial] = a->serial.isEmpty() ? QVariant() : QVariant(a->serial);
    } else if (const auto *r = std::get_if<Reading>(&data)) {
        v[cQuantity] = int(r->quantity);
        v[cValue] = r->value;
        v[cReference] = r->reference;
        v[cTolerance] = r->tolerance;
        v[cDeviation] = r->deviation;
        v[cPass] = int(r->pass);
    } else if (const auto *w = std::get_if<ParameterWrite>(&data)) {
        v[cParameter] = int(w->parameter);
        v[cValue] = w->value;
        v[cConfirmed] = int(w->confirmed);
    } else if (const auto *b = std::get_if<BatchRead>(&data)) {
        v[cBatchStation] = opt(b->station);
        v[cBatchBaud] = opt(b->baud);
        v[cBatchTemp] = opt(b->tempOffset);
        v[cBatchHumi] = opt(b->humiOffset);
        v[cBatchOrder] = opt(b->order);
    } else if (const auto *d = std::get_if<Disconnect>(&data)) {
        v[cEndedBy] = int(d->by);
        v[cReason] = d->reason;
    }
}

// recordSelect lists the insert columns in their order, after seq.
RecordData readData(Kind kind, const QSqlQuery &q)
{
    auto at = [&q](int column) {
        return q.value(column + 1);
    };
    switch (kind) {
    case Kind::Attempt:
        return Attempt{at(cPort).toString(),   at(cBaud).toInt(),          Mode(at(cMode).toInt()),
                       at(cIdent).toString(),  optFrom<int>(at(cAddress)), at(cOk).toBool(),
                       at(cReason).toString(), at(cSerial).toString()};
    case Kind::Reading:
        return Reading{Quantity(at(cQuantity).toInt()), at(cValue).toDouble(),
                       at(cReference).toDouble(),       at(cTolerance).toDouble(),
                       at(cDeviation).toDouble(),       at(cPass).toBool()};
    case Kind::Write:
        return ParameterWrite{Parameter(at(cParameter).toInt()), at(cValue).toDouble(),
                              at(cConfirmed).toBool()};
    case Kind::Batch:
        return BatchRead{optFrom<int>(at(cBatchStation)), optFrom<int>(at(cBatchBaud)),
                         optFrom<double>(at(cBatchTemp)), optFrom<double>(at(cBatchHumi)),
                         optFrom<int>(at(cBatchOrder))};
    case Kind::Disconnect:
        return Disconnect{EndedBy(at(cEndedBy).toInt()), at(cReason).toString()};
    }
    return Disconnect{};
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
    Record r;
    r.seq = q.value(0).toLongLong();
    r.id = idFrom(q.value(1));
    r.unit = idFrom(q.value(2));
    r.time = timeFrom(q.value(3));
    r.utcOffset = q.value(4).toInt();
    r.station = q.value(5).toString();
    r.toolVersion = q.value(6).toString();
    r.data = readData(Kind(q.value(7).toInt()), q);
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
    if (const auto *a = std::get_if<Attempt>(&attempt.data)) {
        u.port = a->port;
        u.baud = a->baud;
        u.mode = a->mode;
        u.ident = a->ident;
        u.address = a->address;
        u.serial = a->serial;
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
         {std::pair{&insertRecord, insertRecordSql}, std::pair{&insertUnit, insertUnitSql},
          std::pair{&findUnit, "SELECT seq FROM units WHERE id = ?"}}) {
        if (!query->prepare(QString::fromLatin1(sql))) {
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
    QVariant v[cCount];
    v[cId] = idValue(r.id);
    v[cUnit] = unit;
    v[cTime] = timeValue(r.time);
    v[cOffset] = r.utcOffset;
    v[cStation] = text(r.station);
    v[cVersion] = text(r.toolVersion);
    v[cKind] = int(r.kind());
    bindData(v, r.data);
    for (int i = 0; i < cCount; ++i)
        insertRecord.bindValue(i, v[i]);
    return run(insertRecord);
}

} // namespace movra::records::rows
