#include "records/Columns.h"

#include <QStringList>
#include <type_traits>

namespace movra::records::columns {

namespace {

template <int I> constexpr std::integral_constant<int, I> col{};

// How a field with nothing in it is kept: as nothing, as an empty text (the
// station, the version, the ident), or a flag only when it is set.
enum Keep { Usual, EvenEmpty, OnlyTrue };

// Puts a record's fields into a row.
struct Put
{
    Row &row;

    template <typename T> void operator()(int i, const T &v, Keep = Usual)
    {
        if constexpr (std::is_enum_v<T>)
            row[i] = int(v);
        else
            row[i] = v;
    }
    template <typename T> void operator()(int i, const std::optional<T> &v)
    {
        if (v)
            (*this)(i, *v);
    }
    void operator()(int i, bool b, Keep keep = Usual)
    {
        if (b || keep != OnlyTrue)
            row[i] = int(b);
    }
    void operator()(int i, const QString &s, Keep keep = Usual)
    {
        if (!s.isEmpty() || keep == EvenEmpty)
            row[i] = s.isNull() ? QStringLiteral("") : s;
    }
    void operator()(int i, const QUuid &id) { row[i] = idValue(id); }
    void operator()(int i, const QDateTime &t) { row[i] = timeValue(t); }
    void operator()(int i, const QDate &d)
    {
        if (d.isValid())
            row[i] = d.toString(Qt::ISODate);
    }
};

// Takes them out again.
struct Take
{
    const Row &row;

    template <typename T> void operator()(int i, T &v, Keep = Usual)
    {
        if constexpr (std::is_enum_v<T>)
            v = T(row[i].toInt());
        else
            v = row[i].value<T>();
    }
    template <typename T> void operator()(int i, std::optional<T> &v)
    {
        v.reset();
        if (!row[i].isNull())
            (*this)(i, v.emplace());
    }
    void operator()(int i, QUuid &id) { id = idFrom(row[i]); }
    void operator()(int i, QDateTime &t) { t = timeFrom(row[i]); }
    void operator()(int i, QDate &d) { d = QDate::fromString(row[i].toString(), Qt::ISODate); }
};

// Each field of a record with its column, for Put and Take alike.
template <typename Io, typename D> void walk(Io &io, D &d)
{
    using T = std::remove_const_t<D>;
    if constexpr (std::is_same_v<T, Attempt>) {
        io(col<at("port")>, d.port);
        io(col<at("baud")>, d.baud);
        io(col<at("mode")>, d.mode);
        io(col<at("ident")>, d.ident, EvenEmpty);
        io(col<at("address")>, d.address);
        io(col<at("ok")>, d.ok);
        io(col<at("reason")>, d.reason);
    } else if constexpr (std::is_same_v<T, Reading>) {
        io(col<at("quantity")>, d.quantity);
        io(col<at("value")>, d.value);
        io(col<at("reference")>, d.reference);
        io(col<at("tolerance")>, d.tolerance);
        io(col<at("deviation")>, d.deviation);
        io(col<at("pass")>, d.pass);
    } else if constexpr (std::is_same_v<T, ParameterWrite>) {
        io(col<at("parameter")>, d.parameter);
        io(col<at("value")>, d.value);
        io(col<at("confirmed")>, d.confirmed);
    } else if constexpr (std::is_same_v<T, BatchRead>) {
        io(col<at("batch_station")>, d.station);
        io(col<at("batch_baud")>, d.baud);
        io(col<at("batch_temp_offset")>, d.tempOffset);
        io(col<at("batch_humi_offset")>, d.humiOffset);
        io(col<at("batch_order")>, d.order);
    } else if constexpr (std::is_same_v<T, Disconnect>) {
        io(col<at("ended_by")>, d.by);
        io(col<at("reason")>, d.reason);
    } else if constexpr (std::is_same_v<T, Calibration>) {
        io(col<at("quantity")>, d.quantity);
        io(col<at("reference")>, d.reference);
        io(col<at("tolerance")>, d.tolerance);
        io(col<at("as_found")>, d.asFound);
        io(col<at("correction_before")>, d.correctionBefore);
        io(col<at("correction_after")>, d.correctionAfter);
        io(col<at("as_left")>, d.asLeft);
        io(col<at("samples")>, d.samples);
        io(col<at("written")>, d.written);
        io(col<at("pass")>, d.pass);
    } else {
        io(col<at("id")>, d.id);
        io(col<at("unit")>, d.unit);
        io(col<at("t")>, d.time);
        io(col<at("utc_offset")>, d.utcOffset);
        io(col<at("station")>, d.station, EvenEmpty);
        io(col<at("tool_version")>, d.toolVersion, EvenEmpty);
        io(col<at("serial")>, d.trace.serial);
        io(col<at("operator")>, d.trace.operatorName);
        io(col<at("reference_id")>, d.trace.reference);
        io(col<at("reference_due")>, d.trace.referenceDue);
        io(col<at("reference_expired")>, d.trace.expired, OnlyTrue);
        std::visit([&io](auto &data) { walk(io, data); }, d.data);
    }
}

template <size_t... I> RecordData alternative(size_t kind, std::index_sequence<I...>)
{
    RecordData data = Disconnect{};
    ((kind == I ? void(data.emplace<I>()) : void()), ...);
    return data;
}

} // namespace

Row flatten(const Record &record)
{
    Row row;
    Put put{row};
    walk(put, record);
    row[at("kind")] = int(record.kind());
    return row;
}

Record unflatten(const Row &row)
{
    Record record;
    record.data = alternative(row[at("kind")].toUInt(),
                              std::make_index_sequence<std::variant_size_v<RecordData>>());
    Take take{row};
    walk(take, record);
    return record;
}

QVariant idValue(const QUuid &id)
{
    return id.isNull() ? QVariant() : QVariant(id.toRfc4122());
}

QUuid idFrom(const QVariant &value)
{
    return QUuid::fromRfc4122(value.toByteArray());
}

QVariant timeValue(const QDateTime &time)
{
    return time.isValid() ? QVariant(time.toMSecsSinceEpoch()) : QVariant();
}

QDateTime timeFrom(const QVariant &value)
{
    return value.isNull() ? QDateTime()
                          : QDateTime::fromMSecsSinceEpoch(value.toLongLong(), Qt::UTC);
}

QString names(const QString &prefix, const QString &unit)
{
    QStringList out;
    for (const Column &c : list)
        out << (c.type == Type::Unit && !unit.isEmpty() ? unit : prefix + QLatin1String(c.name));
    return out.join(QLatin1String(", "));
}

QString insert(const QString &unit)
{
    QStringList marks = QVector<QString>(count, QStringLiteral("?")).toList();
    marks[at("unit")] = unit;
    return QStringLiteral("INSERT INTO records(%1) VALUES (%2) ON CONFLICT(id) DO NOTHING")
        .arg(names(), marks.join(QLatin1String(", ")));
}

QString declaration(const Column &c, bool central)
{
    // By Type: in the local file, in the central database.
    const char *const types[][2] = {
        {"BLOB NOT NULL UNIQUE", "uuid PRIMARY KEY"},
        {"INTEGER REFERENCES units(seq)", "uuid"},
        {"INTEGER", "timestamptz"},
        {"INTEGER", "integer"},
        {"REAL", "double precision"},
        {"TEXT", "text"},
        {"INTEGER", "boolean"},
        {"INTEGER", "boolean"},
        {"INTEGER", "text"},
        {"INTEGER", "integer"},
    };
    const bool notNull = c.required && c.type != Type::Id;
    return QLatin1String(c.name) + QLatin1Char(' ') + QLatin1String(types[int(c.type)][central]) +
           (notNull ? QLatin1String(" NOT NULL") : QLatin1String());
}

QString declarations(bool central)
{
    QStringList out;
    for (const Column &c : list)
        out << declaration(c, central);
    return out.join(QLatin1String(", "));
}

QVariant toCentral(const Column &c, const QVariant &v)
{
    // The central table keeps the order as a number.
    return c.type == Type::Order ? v : toJson(c, v).toVariant();
}

QVariant fromCentral(const Column &c, const QVariant &v)
{
    if (v.isNull())
        return QVariant();
    switch (c.type) {
    case Type::Id:
    case Type::Unit:
        return idValue(QUuid::fromString(v.toString()));
    case Type::Time:
        return timeValue(v.toDateTime());
    case Type::Code:
        return fromCode(c.names, v.toString()).value_or(0);
    default:
        return v;
    }
}

QJsonValue toJson(const Column &c, const QVariant &v)
{
    if (v.isNull())
        return QJsonValue(QJsonValue::Undefined);
    switch (c.type) {
    case Type::Id:
    case Type::Unit:
        return idFrom(v).toString(QUuid::WithoutBraces);
    case Type::Time:
        return timeFrom(v).toString(Qt::ISODateWithMs);
    case Type::Bool:
    case Type::Pass:
        return v.toBool();
    case Type::Code:
    case Type::Order:
        return code(c.names, v.toInt());
    default:
        return QJsonValue::fromVariant(v);
    }
}

QString toCell(const Column &c, const QVariant &v)
{
    if (v.isNull())
        return QString();
    switch (c.type) {
    case Type::Int:
    case Type::Real:
        return numberText(v.toDouble());
    case Type::Bool:
        return v.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    case Type::Pass:
        return v.toBool() ? QStringLiteral("合格") : QStringLiteral("不合格");
    case Type::Code:
    case Type::Order:
        return label(c.names, v.toInt());
    default:
        return toJson(c, v).toString();
    }
}

} // namespace movra::records::columns
