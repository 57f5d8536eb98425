#include "records/RecordExport.h"

#include <QSqlError>
#include <QSqlQuery>
#include <limits>

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

namespace {
qint64 msOr(const QDateTime &t, qint64 open)
{
    return t.isValid() ? t.toMSecsSinceEpoch() : open;
}
} // namespace

bool RecordStore::forEachRecord(const QDateTime &since, const QDateTime &until,
                                const std::function<bool(const Record &)> &take, QString *why,
                                const QString &serial) const
{
    QString where = QStringLiteral("r.t >= ? AND r.t < ?");
    QVariantList binds{msOr(since, std::numeric_limits<qint64>::min()),
                       msOr(until, std::numeric_limits<qint64>::max())};
    if (!serial.isEmpty()) {
        where += QStringLiteral(" AND u.serial = ?");
        binds << serial;
    }
    return forEach(where, binds, take, why);
}

bool RecordStore::exportUnits(const UnitFilter &filter, QIODevice *out) const
{
    QString where = QStringLiteral("u.started >= ? AND u.started < ?");
    QVariantList binds{msOr(filter.from, std::numeric_limits<qint64>::min()),
                       msOr(filter.to, std::numeric_limits<qint64>::max())};
    if (filter.verdict != Verdict::All)
        where += QStringLiteral(" AND ") + rows::verdictCondition(filter.verdict);
    if (!filter.serial.isEmpty()) {
        where += QStringLiteral(" AND u.serial = ?");
        binds << filter.serial;
    }
    csv::Writer csv(out);
    return csv.begin(csvHeaders()) &&
           forEach(where, binds, [&csv](const Record &r) { return csv.write(csvRow(r)); });
}

} // namespace movra::records
