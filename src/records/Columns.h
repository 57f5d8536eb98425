#pragma once

// The columns of a record, listed once: the local file's table, its insert
// and read, the central table and its copy, JSON and CSV all follow this
// list. Internal to the library.

#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <array>
#include <string_view>

#include "records/Record.h"
#include "records/RecordText.h"

namespace movra::records::columns {

// Code: an enumeration the central table keeps by its code; Order: one it keeps as a number.
enum class Type { Id, Unit, Time, Int, Real, Text, Bool, Pass, Code, Order };

struct Column
{
    const char *name;   // in both databases and, but for the time, in JSON
    const char *header; // in CSV
    Type type;
    bool required = false; // NOT NULL
    Names names = Names::Order;
};

// In the order of a CSV row.
inline constexpr Column list[] = {
    {"id", "记录ID", Type::Id, true},
    {"unit", "单元ID", Type::Unit},
    {"t", "时间(UTC)", Type::Time, true},
    {"utc_offset", "UTC偏移(秒)", Type::Int, true},
    {"station", "工位", Type::Text, true},
    {"tool_version", "软件版本", Type::Text, true},
    {"kind", "类型", Type::Code, true, Names::Kind},
    {"port", "串口", Type::Text},
    {"baud", "波特率", Type::Int},
    {"mode", "模式", Type::Code, false, Names::Mode},
    {"ident", "识别信息", Type::Text},
    {"address", "地址", Type::Int},
    {"ok", "连接成功", Type::Bool},
    {"quantity", "量", Type::Code, false, Names::Quantity},
    {"value", "数值", Type::Real},
    {"reference", "参考值", Type::Real},
    {"tolerance", "允差", Type::Real},
    {"deviation", "偏差", Type::Real},
    {"pass", "判定", Type::Pass},
    {"parameter", "参数", Type::Code, false, Names::Parameter},
    {"confirmed", "已确认", Type::Bool},
    {"batch_station", "读取地址", Type::Int},
    {"batch_baud", "读取波特率", Type::Int},
    {"batch_temp_offset", "读取温度修正", Type::Real},
    {"batch_humi_offset", "读取湿度修正", Type::Real},
    {"batch_order", "读取温湿度对调", Type::Order},
    {"ended_by", "断开方式", Type::Code, false, Names::EndedBy},
    {"reason", "原因", Type::Text},
    {"serial", "序列号", Type::Text},
    {"operator", "操作员", Type::Text},
    {"reference_id", "参考仪器", Type::Text},
    {"reference_due", "参考仪器有效期", Type::Text},
    {"reference_expired", "参考仪器已过期", Type::Bool},
    {"as_found", "校准前读数", Type::Real},
    {"correction_before", "原修正", Type::Real},
    {"correction_after", "新修正", Type::Real},
    {"as_left", "校准后读数", Type::Real},
    {"samples", "样本数", Type::Int},
    {"written", "已写入", Type::Bool},
};
constexpr int count = int(std::size(list));

// A column's position by its name; used where a constant is required, a
// misspelt name does not compile.
constexpr int at(std::string_view name)
{
    for (int i = 0; i < count; ++i) {
        if (name == list[i].name)
            return i;
    }
    throw "no such column";
}

// A record flattened, one value a column as the local file keeps it, null
// where its kind has none: ids 16 bytes, the time milliseconds since the
// epoch, enums and flags their numbers.
using Row = std::array<QVariant, count>;
Row flatten(const Record &record);
Record unflatten(const Row &row);

QVariant idValue(const QUuid &id); // null for a null id
QUuid idFrom(const QVariant &value);
QVariant timeValue(const QDateTime &time); // null for an invalid time
QDateTime timeFrom(const QVariant &value);

// "a, b, c" with each name after `prefix`; the unit's as `unit` gives it.
QString names(const QString &prefix = QString(), const QString &unit = QString());
// The insert of a row into either database, with `unit` for the unit's
// placeholder; a record already there is skipped.
QString insert(const QString &unit = QStringLiteral("?"));
// "name TYPE" for CREATE TABLE or ADD COLUMN, in the local file or the
// central one; declarations() lists them all.
QString declaration(const Column &column, bool central);
QString declarations(bool central);

// A row's value as the central database, JSON and CSV have it; back from
// the central database (and from the first local layout, which kept ids,
// times and enums as text too).
QVariant toCentral(const Column &column, const QVariant &value);
QVariant fromCentral(const Column &column, const QVariant &value);
QJsonValue toJson(const Column &column, const QVariant &value);
QString toCell(const Column &column, const QVariant &value);

} // namespace movra::records::columns
