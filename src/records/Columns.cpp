#include "records/Columns.h"

#include <QStringList>

#include "records/RecordText.h"

namespace movra::records::columns {

namespace {
enum Index {
    cId,
    cUnit,
    cTime,
    cOffset,
    cStation,
    cVersion,
    cKind,
    cPort,
    cBaud,
    cMode,
    cIdent,
    cAddress,
    cOk,
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
    cEndedBy,
    cReason,
    cSerial,
    cOperator,
    cReferenceId,
    cReferenceDue,
    cExpired,
    cAsFound,
    cCorrectionBefore,
    cCorrectionAfter,
    cAsLeft,
    cSamples,
    cWritten,
};
static_assert(cWritten + 1 == count);

template <typename T> QVariant opt(const std::optional<T> &v)
{
    return v ? QVariant(*v) : QVariant();
}

template <typename T> std::optional<T> optFrom(const QVariant &v)
{
    return v.isValid() && !v.isNull() ? std::optional<T>(v.value<T>()) : std::nullopt;
}

QVariant text(const QString &s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

static_assert(int(Type::Order) - int(Type::Kind) == int(Names::Order));

Names namesOf(Type type)
{
    return Names(int(type) - int(Type::Kind));
}

bool isEnum(Type type)
{
    return type >= Type::Kind && type <= Type::EndedBy;
}

void flattenData(Row &v, const RecordData &data)
{
    if (const auto *a = std::get_if<Attempt>(&data)) {
        v[cPort] = text(a->port);
        v[cBaud] = a->baud;
        v[cMode] = int(a->mode);
        v[cIdent] = a->ident;
        v[cAddress] = opt(a->address);
        v[cOk] = a->ok;
        v[cReason] = text(a->reason);
    } else if (const auto *r = std::get_if<Reading>(&data)) {
        v[cQuantity] = int(r->quantity);
        v[cValue] = r->value;
        v[cReference] = r->reference;
        v[cTolerance] = r->tolerance;
        v[cDeviation] = r->deviation;
        v[cPass] = r->pass;
    } else if (const auto *w = std::get_if<ParameterWrite>(&data)) {
        v[cParameter] = int(w->parameter);
        v[cValue] = w->value;
        v[cConfirmed] = w->confirmed;
    } else if (const auto *b = std::get_if<BatchRead>(&data)) {
        v[cBatchStation] = opt(b->station);
        v[cBatchBaud] = opt(b->baud);
        v[cBatchTemp] = opt(b->tempOffset);
        v[cBatchHumi] = opt(b->humiOffset);
        v[cBatchOrder] = opt(b->order);
    } else if (const auto *d = std::get_if<Disconnect>(&data)) {
        v[cEndedBy] = int(d->by);
        v[cReason] = text(d->reason);
    } else if (const auto *c = std::get_if<Calibration>(&data)) {
        v[cQuantity] = int(c->quantity);
        v[cReference] = c->reference;
        v[cTolerance] = c->tolerance;
        v[cAsFound] = opt(c->asFound);
        v[cCorrectionBefore] = c->correctionBefore;
        v[cCorrectionAfter] = opt(c->correctionAfter);
        v[cAsLeft] = opt(c->asLeft);
        v[cSamples] = c->samples;
        v[cWritten] = c->written;
        v[cPass] = opt(c->pass);
    }
}

void flattenTrace(Row &v, const Trace &t)
{
    v[cSerial] = text(t.serial);
    v[cOperator] = text(t.operatorName);
    v[cReferenceId] = text(t.reference);
    v[cReferenceDue] = t.referenceDue.isValid() ? t.referenceDue.toString(Qt::ISODate) : QVariant();
    v[cExpired] = t.expired ? QVariant(true) : QVariant();
}

Trace unflattenTrace(const Row &v)
{
    return Trace{v[cSerial].toString(), v[cOperator].toString(), v[cReferenceId].toString(),
                 QDate::fromString(v[cReferenceDue].toString(), Qt::ISODate), v[cExpired].toBool()};
}

RecordData unflattenData(const Row &v)
{
    switch (Kind(v[cKind].toInt())) {
    case Kind::Attempt:
        return Attempt{v[cPort].toString(),  v[cBaud].toInt(),          Mode(v[cMode].toInt()),
                       v[cIdent].toString(), optFrom<int>(v[cAddress]), v[cOk].toBool(),
                       v[cReason].toString()};
    case Kind::Reading:
        return Reading{Quantity(v[cQuantity].toInt()), v[cValue].toDouble(),
                       v[cReference].toDouble(),       v[cTolerance].toDouble(),
                       v[cDeviation].toDouble(),       v[cPass].toBool()};
    case Kind::Write:
        return ParameterWrite{Parameter(v[cParameter].toInt()), v[cValue].toDouble(),
                              v[cConfirmed].toBool()};
    case Kind::Batch:
        return BatchRead{optFrom<int>(v[cBatchStation]), optFrom<int>(v[cBatchBaud]),
                         optFrom<double>(v[cBatchTemp]), optFrom<double>(v[cBatchHumi]),
                         optFrom<int>(v[cBatchOrder])};
    case Kind::Calibration:
        return Calibration{Quantity(v[cQuantity].toInt()),
                           v[cReference].toDouble(),
                           v[cTolerance].toDouble(),
                           optFrom<double>(v[cAsFound]),
                           v[cCorrectionBefore].toDouble(),
                           optFrom<double>(v[cCorrectionAfter]),
                           optFrom<double>(v[cAsLeft]),
                           v[cSamples].toInt(),
                           v[cWritten].toBool(),
                           optFrom<bool>(v[cPass])};
    case Kind::Disconnect:
        break;
    }
    return Disconnect{EndedBy(v[cEndedBy].toInt()), v[cReason].toString()};
}
} // namespace

// In the order of a CSV row.
const Column list[count] = {
    {"id", "记录ID", Type::Id, true},
    {"unit", "单元ID", Type::Unit, false},
    {"t", "时间(UTC)", Type::Time, true},
    {"utc_offset", "UTC偏移(秒)", Type::Int, true},
    {"station", "工位", Type::Text, true},
    {"tool_version", "软件版本", Type::Text, true},
    {"kind", "类型", Type::Kind, true},
    {"port", "串口", Type::Text, false},
    {"baud", "波特率", Type::Int, false},
    {"mode", "模式", Type::Mode, false},
    {"ident", "识别信息", Type::Text, false},
    {"address", "地址", Type::Int, false},
    {"ok", "连接成功", Type::Bool, false},
    {"quantity", "量", Type::Quantity, false},
    {"value", "数值", Type::Real, false},
    {"reference", "参考值", Type::Real, false},
    {"tolerance", "允差", Type::Real, false},
    {"deviation", "偏差", Type::Real, false},
    {"pass", "判定", Type::Pass, false},
    {"parameter", "参数", Type::Parameter, false},
    {"confirmed", "已确认", Type::Bool, false},
    {"batch_station", "读取地址", Type::Int, false},
    {"batch_baud", "读取波特率", Type::Int, false},
    {"batch_temp_offset", "读取温度修正", Type::Real, false},
    {"batch_humi_offset", "读取湿度修正", Type::Real, false},
    {"batch_order", "读取温湿度对调", Type::Order, false},
    {"ended_by", "断开方式", Type::EndedBy, false},
    {"reason", "原因", Type::Text, false},
    {"serial", "序列号", Type::Text, false},
    {"operator", "操作员", Type::Text, false},
    {"reference_id", "参考仪器", Type::Text, false},
    {"reference_due", "参考仪器有效期", Type::Text, false},
    {"reference_expired", "参考仪器已过期", Type::Bool, false},
    {"as_found", "校准前读数", Type::Real, false},
    {"correction_before", "原修正", Type::Real, false},
    {"correction_after", "新修正", Type::Real, false},
    {"as_left", "校准后读数", Type::Real, false},
    {"samples", "样本数", Type::Int, false},
    {"written", "已写入", Type::Bool, false},
};

Row flatten(const Record &r)
{
    Row v;
    v[cId] = r.id;
    v[cUnit] = r.unit.isNull() ? QVariant() : QVariant(r.unit);
    v[cTime] = r.time.toUTC();
    v[cOffset] = r.utcOffset;
    v[cStation] = r.station;
    v[cVersion] = r.toolVersion;
    v[cKind] = int(r.kind());
    flattenData(v, r.data);
    flattenTrace(v, r.trace);
    return v;
}

Record unflatten(const Row &v)
{
    Record r;
    r.id = v[cId].toUuid();
    r.unit = v[cUnit].toUuid();
    r.time = v[cTime].toDateTime();
    r.utcOffset = v[cOffset].toInt();
    r.station = v[cStation].toString();
    r.toolVersion = v[cVersion].toString();
    r.data = unflattenData(v);
    r.trace = unflattenTrace(v);
    return r;
}

QString names(const QString &prefix, const QString &unit)
{
    QStringList out;
    for (const Column &c : list)
        out << (c.type == Type::Unit && !unit.isEmpty() ? unit : prefix + QLatin1String(c.name));
    return out.join(QLatin1String(", "));
}

QString placeholders()
{
    QStringList marks;
    for (int i = 0; i < count; ++i)
        marks << QStringLiteral("?");
    return marks.join(QLatin1String(", "));
}

QString declaration(const Column &c, bool central)
{
    QString type;
    switch (c.type) {
    case Type::Id:
        type = central ? "uuid PRIMARY KEY" : "BLOB NOT NULL UNIQUE";
        break;
    case Type::Unit:
        type = central ? "uuid" : "INTEGER REFERENCES units(seq)";
        break;
    case Type::Time:
        type = central ? "timestamptz" : "INTEGER";
        break;
    case Type::Real:
        type = central ? "double precision" : "REAL";
        break;
    case Type::Text:
        type = central ? "text" : "TEXT";
        break;
    case Type::Bool:
    case Type::Pass:
        type = central ? "boolean" : "INTEGER";
        break;
    default:
        type = central ? (isEnum(c.type) ? "text" : "integer") : "INTEGER";
    }
    if (c.required && c.type != Type::Id)
        type += QLatin1String(" NOT NULL");
    return QLatin1String(c.name) + QLatin1Char(' ') + type;
}

QString declarations(bool central)
{
    QStringList out;
    for (const Column &c : list)
        out << declaration(c, central);
    return out.join(QLatin1String(", "));
}

QVariant toSqlite(Type type, const QVariant &v)
{
    if (!v.isValid())
        return QVariant();
    switch (type) {
    case Type::Id:
    case Type::Unit:
        return v.toUuid().isNull() ? QVariant() : QVariant(v.toUuid().toRfc4122());
    case Type::Time:
        return v.toDateTime().toMSecsSinceEpoch();
    case Type::Bool:
    case Type::Pass:
        return int(v.toBool());
    case Type::Text:
        return v.toString().isNull() ? QVariant(QLatin1String("")) : v;
    default:
        return v;
    }
}

QVariant fromSqlite(Type type, const QVariant &v)
{
    if (v.isNull())
        return QVariant();
    switch (type) {
    case Type::Id:
    case Type::Unit:
        return QUuid::fromRfc4122(v.toByteArray());
    case Type::Time:
        return QDateTime::fromMSecsSinceEpoch(v.toLongLong(), Qt::UTC);
    case Type::Bool:
    case Type::Pass:
        return v.toBool();
    default:
        return v;
    }
}

QVariant toCentral(Type type, const QVariant &v)
{
    if (!v.isValid())
        return QVariant();
    if (isEnum(type))
        return code(namesOf(type), v.toInt());
    if (type == Type::Id || type == Type::Unit)
        return v.toUuid().toString(QUuid::WithoutBraces);
    return v;
}

QVariant fromCentral(Type type, const QVariant &v)
{
    if (v.isNull())
        return QVariant();
    if (isEnum(type))
        return fromCode(namesOf(type), v.toString()).value_or(0);
    switch (type) {
    case Type::Id:
    case Type::Unit:
        return QUuid::fromString(v.toString());
    case Type::Time:
        return v.toDateTime().toUTC();
    default:
        return v;
    }
}

QJsonValue toJson(Type type, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QJsonValue(QJsonValue::Undefined);
    switch (type) {
    case Type::Id:
    case Type::Unit:
        return v.toUuid().toString(QUuid::WithoutBraces);
    case Type::Time:
        return v.toDateTime().toUTC().toString(Qt::ISODateWithMs);
    case Type::Int:
        return v.toInt();
    case Type::Real:
        return v.toDouble();
    case Type::Text:
        return v.toString();
    case Type::Bool:
    case Type::Pass:
        return v.toBool();
    default:
        return code(namesOf(type), v.toInt());
    }
}

QString toCell(Type type, const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QString();
    switch (type) {
    case Type::Int:
    case Type::Real:
        return numberText(v.toDouble());
    case Type::Bool:
        return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    case Type::Pass:
        return v.toBool() ? QStringLiteral("合格") : QStringLiteral("不合格");
    case Type::Text:
    case Type::Id:
    case Type::Unit:
    case Type::Time:
        return toJson(type, v).toString();
    default:
        return label(namesOf(type), v.toInt());
    }
}

} // namespace movra::records::columns
