#include "records/RecordExport.h"

#include "records/Columns.h"
#include "records/Csv.h"
#include "records/RecordRows.h"
#include "records/RecordStore.h"

namespace movra::records {

QJsonObject toJson(const Record &r)
{
    const columns::Row row = columns::flatten(r);
    QJsonObject o;
    for (int i = 0; i < columns::count; ++i) {
        const columns::Column &c = columns::list[i];
        const QJsonValue v = columns::toJson(c, row[i]);
        if (!v.isUndefined())
            o.insert(c.type == columns::Type::Time ? QStringLiteral("time") : QLatin1String(c.name),
                     v);
    }
    return o;
}

QStringList csvHeaders()
{
    QStringList headers;
    for (const columns::Column &c : columns::list) {
        headers << QString::fromUtf8(c.header);
        if (c.type == columns::Type::Time)
            headers << QStringLiteral("本地时间");
    }
    return headers;
}

QStringList csvRow(const Record &r)
{
    const columns::Row row = columns::flatten(r);
    QStringList cells;
    for (int i = 0; i < columns::count; ++i) {
        cells << columns::toCell(columns::list[i], row[i]);
        if (columns::list[i].type == columns::Type::Time)
            cells << r.time.toOffsetFromUtc(r.utcOffset)
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    }
    return cells;
}

// The store's reads for the records window. Units are paged by their start
// (index units_started) and filtered on the summary columns the triggers
// keep, so no query here touches more than the records it returns.
namespace {

rows::Where unitWhere(const UnitFilter &filter)
{
    rows::Where where;
    where.filter(QStringLiteral("u.started >= ?"), columns::timeValue(filter.from));
    where.filter(QStringLiteral("u.started < ?"), columns::timeValue(filter.to));
    if (filter.verdict != Verdict::All)
        where.add(rows::verdictCondition(filter.verdict));
    where.filter(QStringLiteral("u.serial = ?"), filter.serial);
    return where;
}

} // namespace

bool RecordStore::forEach(const QString &where, const QVariantList &binds,
                          const std::function<bool(const Record &)> &take, QString *why) const
{
    const Read read(this);
    if (!read.db.isOpen()) {
        if (why)
            *why = QStringLiteral("cannot open %1").arg(readPath);
        return false;
    }
    QSqlError error;
    const bool ok = rows::readRecords(read.db, where + QStringLiteral(" ORDER BY r.t, r.seq"),
                                      binds, take, &error);
    if (why && error.isValid())
        *why = error.text();
    return ok;
}

bool RecordStore::forEachRecord(const QDateTime &since, const QDateTime &until,
                                const std::function<bool(const Record &)> &take, QString *why,
                                const QString &serial) const
{
    rows::Where where;
    where.filter(QStringLiteral("r.t >= ?"), columns::timeValue(since));
    where.filter(QStringLiteral("r.t < ?"), columns::timeValue(until));
    where.filter(QStringLiteral("u.serial = ?"), serial);
    return forEach(where.sql(), where.values, take, why);
}

bool RecordStore::exportUnits(const UnitFilter &filter, QIODevice *out) const
{
    rows::Where where = unitWhere(filter);
    where.add(QStringLiteral("u.started IS NOT NULL"));
    csv::Writer csv(out);
    return csv.begin(csvHeaders()) && forEach(where.sql(), where.values, [&csv](const Record &r) {
               return csv.write(csvRow(r));
           });
}

int RecordStore::unitCount(const UnitFilter &filter) const
{
    const Read read(this);
    const rows::Where where = unitWhere(filter);
    QSqlQuery q = rows::select(
        read.db, QStringLiteral("SELECT count(*) FROM units u") + where.sql(), where.values);
    return q.next() ? q.value(0).toInt() : 0;
}

QVector<UnitSummary> RecordStore::units(const UnitFilter &filter, int limit,
                                        const UnitSummary *after) const
{
    const Read read(this);
    rows::Where where = unitWhere(filter);
    if (after)
        where.add(QStringLiteral("(u.started, u.seq) < (?, ?)"),
                  {columns::timeValue(after->unit.started), after->seq});
    QSqlQuery q = rows::select(read.db,
                               QStringLiteral("SELECT %1 FROM units u%2 ORDER BY u.started DESC, "
                                              "u.seq DESC LIMIT ?")
                                   .arg(QLatin1String(rows::unitSelect), where.sql()),
                               where.values << limit);
    QVector<UnitSummary> out;
    while (q.next())
        out << rows::readUnit(q);
    return out;
}

QVector<Record> RecordStore::unitRecords(const QUuid &unitId, int limit, qint64 afterSeq) const
{
    const Read read(this);
    QVector<Record> out;
    rows::readRecords(read.db,
                      QStringLiteral(" WHERE u.id = ? AND r.seq > ? ORDER BY r.seq LIMIT ?"),
                      {columns::idValue(unitId), afterSeq, limit}, [&out](const Record &r) {
                          out << r;
                          return true;
                      });
    return out;
}

qint64 RecordStore::recordCount() const
{
    const Read read(this);
    QSqlQuery q = rows::select(read.db, QStringLiteral("SELECT count(*) FROM records"));
    return q.next() ? q.value(0).toLongLong() : 0;
}

} // namespace movra::records
