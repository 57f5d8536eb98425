#include "records/RecordExport.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QSqlQuery>

#include "records/Csv.h"
#include "records/RecordRows.h"
#include "records/RecordStore.h"
#include "records/RecordText.h"

namespace movra::records {

namespace {

struct Column
{
    const char *key;
    const char *header;
};

// JSON keys and CSV headers, in CSV order.
const Column columns[] = {
    {"id", "记录ID"},
    {"unit", "单元ID"},
    {"time", "时间(UTC)"},
    {"local_time", "本地时间"},
    {"utc_offset", "UTC偏移(秒)"},
    {"station", "工位"},
    {"tool_version", "软件版本"},
    {"kind", "类型"},
    {"port", "串口"},
    {"baud", "波特率"},
    {"mode", "模式"},
    {"ident", "识别信息"},
    {"address", "地址"},
    {"ok", "连接成功"},
    {"quantity", "量"},
    {"value", "数值"},
    {"reference", "参考值"},
    {"tolerance", "允差"},
    {"deviation", "偏差"},
    {"pass", "判定"},
    {"parameter", "参数"},
    {"confirmed", "已确认"},
    {"batch_station", "读取地址"},
    {"batch_baud", "读取波特率"},
    {"batch_temp_offset", "读取温度修正"},
    {"batch_humi_offset", "读取湿度修正"},
    {"batch_order", "读取温湿度对调"},
    {"ended_by", "断开方式"},
    {"reason", "原因"},
    {"serial", "序列号"},
};

template <typename T> void put(QJsonObject &o, const char *key, const std::optional<T> &v)
{
    if (v)
        o.insert(QLatin1String(key), *v);
}

void putData(QJsonObject &o, const RecordData &data)
{
    if (const auto *a = std::get_if<Attempt>(&data)) {
        o.insert("port", a->port);
        o.insert("baud", a->baud);
        o.insert("mode", code(a->mode));
        o.insert("ident", a->ident);
        put(o, "address", a->address);
        o.insert("ok", a->ok);
        if (!a->reason.isEmpty())
            o.insert("reason", a->reason);
        if (!a->serial.isEmpty())
            o.insert("serial", a->serial);
    } else if (const auto *r = std::get_if<Reading>(&data)) {
        o.insert("quantity", code(r->quantity));
        o.insert("value", r->value);
        o.insert("reference", r->reference);
        o.insert("tolerance", r->tolerance);
        o.insert("deviation", r->deviation);
        o.insert("pass", r->pass);
    } else if (const auto *w = std::get_if<ParameterWrite>(&data)) {
        o.insert("parameter", code(w->parameter));
        o.insert("value", w->value);
        o.insert("confirmed", w->confirmed);
    } else if (const auto *b = std::get_if<BatchRead>(&data)) {
        put(o, "batch_station", b->station);
        put(o, "batch_baud", b->baud);
        put(o, "batch_temp_offset", b->tempOffset);
        put(o, "batch_humi_offset", b->humiOffset);
        put(o, "batch_order", b->order);
    } else if (const auto *d = std::get_if<Disconnect>(&data)) {
        o.insert("ended_by", code(d->by));
        if (!d->reason.isEmpty())
            o.insert("reason", d->reason);
    }
}

// A JSON value as a CSV cell: codes become labels, flags words.
QString cell(const QString &key, const QJsonValue &v)
{
    if (v.isUndefined() || v.isNull())
        return QString();
    if (v.isBool()) {
        if (key == QLatin1String("pass"))
            return v.toBool() ? QStringLiteral("合格") : QStringLiteral("不合格");
        return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    }
    if (v.isDouble())
        return numberText(v.toDouble());
    const QString text = v.toString();
    if (key == QLatin1String("kind"))
        return label(fromCode<Kind>(text, 5).value_or(Kind::Attempt));
    if (key == QLatin1String("mode"))
        return label(fromCode<Mode>(text, 2).value_or(Mode::Normal));
    if (key == QLatin1String("quantity"))
        return label(fromCode<Quantity>(text, 2).value_or(Quantity::Temperature));
    if (key == QLatin1String("parameter"))
        return label(fromCode<Parameter>(text, 5).value_or(Parameter::Station));
    if (key == QLatin1String("ended_by"))
        return label(fromCode<EndedBy>(text, 2).value_or(EndedBy::Operator));
    return text;
}

} // namespace

QJsonObject toJson(const Record &r)
{
    QJsonObject o;
    o.insert("id", r.id.toString(QUuid::WithoutBraces));
    if (!r.unit.isNull())
        o.insert("unit", r.unit.toString(QUuid::WithoutBraces));
    o.insert("time", r.time.toUTC().toString(Qt::ISODateWithMs));
    o.insert("utc_offset", r.utcOffset);
    o.insert("station", r.station);
    o.insert("tool_version", r.toolVersion);
    o.insert("kind", code(r.kind()));
    putData(o, r.data);
    return o;
}

QStringList csvHeaders()
{
    QStringList headers;
    for (const Column &c : columns)
        headers << QString::fromUtf8(c.header);
    return headers;
}

QStringList csvRow(const Record &r)
{
    const QJsonObject o = toJson(r);
    QStringList row;
    for (const Column &c : columns) {
        const QString key = QLatin1String(c.key);
        if (key == QLatin1String("local_time"))
            row << r.time.toOffsetFromUtc(r.utcOffset)
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        else
            row << cell(key, o.value(key));
    }
    return row;
}

bool RecordStore::exportRecords(const QDateTime &since, const QDateTime &until, Format format,
                                QIODevice *out, Verdict verdict, const QString &serial) const
{
    const Read read(this);
    if (!read.db.isOpen())
        return false;
    QString sql = QStringLiteral("SELECT %1 FROM records r LEFT JOIN units u ON u.seq = r.unit "
                                 "WHERE r.t >= ? AND r.t < ?")
                      .arg(QLatin1String(rows::recordSelect));
    if (verdict != Verdict::All)
        sql += QStringLiteral(" AND ") + rows::verdictCondition(verdict);
    if (!serial.isEmpty())
        sql += QStringLiteral(" AND u.serial = ?");
    sql += QStringLiteral(" ORDER BY r.t, r.seq");
    QSqlQuery q(read.db);
    q.setForwardOnly(true);
    q.prepare(sql);
    q.addBindValue(since.isValid() ? since.toMSecsSinceEpoch()
                                   : std::numeric_limits<qint64>::min());
    q.addBindValue(until.isValid() ? until.toMSecsSinceEpoch()
                                   : std::numeric_limits<qint64>::max());
    if (!serial.isEmpty())
        q.addBindValue(serial);
    if (!q.exec())
        return false;
    csv::Writer csv(out);
    bool ok = format == Format::Json || csv.begin(csvHeaders());
    while (ok && q.next()) {
        const Record r = rows::readRecord(q);
        if (format == Format::Csv) {
            ok = csv.write(csvRow(r));
        } else {
            const QByteArray line = QJsonDocument(toJson(r)).toJson(QJsonDocument::Compact) + '\n';
            ok = out->write(line) == line.size();
        }
    }
    return ok && q.lastError().type() == QSqlError::NoError;
}

} // namespace movra::records
