#include "records/RecordExport.h"

#include <QSqlError>
#include <QSqlQuery>

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
        const QJsonValue v = columns::toJson(c.type, row[size_t(i)]);
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
        const columns::Type type = columns::list[i].type;
        cells << columns::toCell(type, row[size_t(i)]);
        if (type == columns::Type::Time)
            cells << r.time.toOffsetFromUtc(r.utcOffset)
                         .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    }
    return cells;
}

// The store's reads for the records window. Units are paged by their start
// (index units_started) and filtered on the summary columns the triggers
// keep, so no query here touches more than the records it returns.
namespace {

struct Where
{
    QStringList terms;
    QVariantList values;

    void add(const QString &term, const QVariantList &binds = {})
    {
        terms << term;
        values << binds;
    }
    QString sql() const
    {
        return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(" AND ");
    }
    void bind(QSqlQuery &q) const
    {
        for (const QVariant &v : values)
            q.addBindValue(v);
    }
};

Where unitWhere(const UnitFilter &filter)
{
    Where where;
    if (filter.from.isValid())
        where.add(QStringLiteral("u.started >= ?"), {rows::timeValue(filter.from.toUTC())});
    if (filter.to.isValid())
        where.add(QStringLiteral("u.started < ?"), {rows::timeValue(filter.to.toUTC())});
    if (filter.verdict != Verdict::All)
        where.add(rows::verdictCondition(filter.verdict));
    if (!filter.serial.isEmpty())
        where.add(QStringLiteral("u.serial = ?"), {filter.serial});
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
    QSqlQuery q(read.db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM records r LEFT JOIN units u ON u.seq = r.unit "
                             "WHERE %2 ORDER BY r.t, r.seq")
                  .arg(rows::recordSelect(), where));
    for (const QVariant &v : binds)
        q.addBindValue(v);
    bool ok = q.exec();
    while (ok && q.next())
        ok = take(rows::readRecord(q));
    if (why && q.lastError().isValid())
        *why = q.lastError().text();
    return ok && !q.lastError().isValid();
}

bool RecordStore::forEachRecord(const QDateTime &since, const QDateTime &until,
                                const std::function<bool(const Record &)> &take, QString *why,
                                const QString &serial) const
{
    Where where;
    where.add(QStringLiteral("1"));
    if (since.isValid())
        where.add(QStringLiteral("r.t >= ?"), {since.toMSecsSinceEpoch()});
    if (until.isValid())
        where.add(QStringLiteral("r.t < ?"), {until.toMSecsSinceEpoch()});
    if (!serial.isEmpty())
        where.add(QStringLiteral("u.serial = ?"), {serial});
    return forEach(where.terms.join(QLatin1String(" AND ")), where.values, take, why);
}

bool RecordStore::exportUnits(const UnitFilter &filter, QIODevice *out) const
{
    Where where = unitWhere(filter);
    where.add(QStringLiteral("u.started IS NOT NULL"));
    csv::Writer csv(out);
    return csv.begin(csvHeaders()) &&
           forEach(where.terms.join(QLatin1String(" AND ")), where.values,
                   [&csv](const Record &r) { return csv.write(csvRow(r)); });
}

int RecordStore::unitCount(const UnitFilter &filter) const
{
    const Read read(this);
    if (!read.db.isOpen())
        return 0;
    const Where where = unitWhere(filter);
    QSqlQuery q(read.db);
    q.prepare(QStringLiteral("SELECT count(*) FROM units u") + where.sql());
    where.bind(q);
    return q.exec() && q.next() ? q.value(0).toInt() : 0;
}

QVector<UnitSummary> RecordStore::units(const UnitFilter &filter, int limit,
                                        const UnitSummary *after) const
{
    QVector<UnitSummary> out;
    const Read read(this);
    if (!read.db.isOpen())
        return out;
    Where where = unitWhere(filter);
    if (after)
        where.add(QStringLiteral("(u.started, u.seq) < (?, ?)"),
                  {rows::timeValue(after->unit.started), after->seq});
    QSqlQuery q(read.db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM units u%2 ORDER BY u.started DESC, u.seq DESC "
                             "LIMIT ?")
                  .arg(QLatin1String(rows::unitSelect), where.sql()));
    where.bind(q);
    q.addBindValue(limit);
    if (!q.exec())
        return out;
    while (q.next())
        out << rows::readUnit(q);
    return out;
}

QVector<Record> RecordStore::unitRecords(const QUuid &unitId, int limit, qint64 afterSeq) const
{
    QVector<Record> out;
    const Read read(this);
    if (!read.db.isOpen())
        return out;
    QSqlQuery q(read.db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM records r JOIN units u ON u.seq = r.unit "
                             "WHERE u.id = ? AND r.seq > ? ORDER BY r.seq LIMIT ?")
                  .arg(rows::recordSelect()));
    q.addBindValue(rows::idValue(unitId));
    q.addBindValue(afterSeq);
    q.addBindValue(limit);
    if (!q.exec())
        return out;
    while (q.next())
        out << rows::readRecord(q);
    return out;
}

qint64 RecordStore::recordCount() const
{
    const Read read(this);
    if (!read.db.isOpen())
        return 0;
    QSqlQuery q(read.db);
    return q.exec(QStringLiteral("SELECT count(*) FROM records")) && q.next()
               ? q.value(0).toLongLong()
               : 0;
}

} // namespace movra::records
