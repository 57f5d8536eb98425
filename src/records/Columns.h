#pragma once

// The columns of a record, listed once: the local file's table, its insert
// and read, the central table and its copy, JSON and CSV all follow this
// list. Internal to the library.

#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <array>

#include "records/Record.h"

namespace movra::records::columns {

enum class Type {
    Id,
    Unit,
    Time,
    Int,
    Real,
    Text,
    Bool,
    Pass,
    Kind,
    Mode,
    Quantity,
    Parameter,
    EndedBy,
    Order
};

struct Column
{
    const char *name;   // in both databases and, but for the time, in JSON
    const char *header; // in CSV
    Type type;
    bool required; // NOT NULL
};

constexpr int count = 39;
extern const Column list[count];

// A record flattened, one value a column, invalid where its kind has none:
// ids QUuid, the time a UTC QDateTime, enums their int codes, flags bool.
using Row = std::array<QVariant, count>;
Row flatten(const Record &record);
Record unflatten(const Row &row);

// "a, b, c" with each name after `prefix`; the unit's as `unit` gives it.
QString names(const QString &prefix = QString(), const QString &unit = QString());
QString placeholders();
// "name TYPE" for CREATE TABLE or ADD COLUMN, in the local file or the
// central one; declarations() lists them all.
QString declaration(const Column &column, bool central);
QString declarations(bool central);

// A value as each place keeps it, and back. The local file's unit column
// holds the unit's seq, which its writer looks up: not converted here.
QVariant toSqlite(Type type, const QVariant &value);
QVariant fromSqlite(Type type, const QVariant &value);
QVariant toCentral(Type type, const QVariant &value);
QVariant fromCentral(Type type, const QVariant &value);
QJsonValue toJson(Type type, const QVariant &value);
QString toCell(Type type, const QVariant &value);

} // namespace movra::records::columns
