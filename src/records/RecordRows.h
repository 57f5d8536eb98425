#pragma once

// How a record and a unit map to rows of the local file (current schema),
// and the reads they share. Internal to the library.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <functional>

#include "records/Columns.h"
#include "records/Record.h"

namespace movra::records::rows {

// Terms joined by AND, with the values their placeholders take.
struct Where
{
    QStringList terms;
    QVariantList values;

    void add(const QString &term, const QVariantList &binds = {})
    {
        terms << term;
        values << binds;
    }
    // Adds `term` unless `value` is empty: an open end, any serial.
    void filter(const QString &term, const QVariant &value)
    {
        if (!value.toString().isEmpty())
            add(term, {value});
    }
    // " WHERE a AND b", or nothing.
    QString sql() const
    {
        return terms.isEmpty() ? QString() : QStringLiteral(" WHERE ") + terms.join(" AND ");
    }
};

// `sql` run with `binds` on `db` if it is open, forward only; a failure is
// in lastError().
QSqlQuery select(const QSqlDatabase &db, const QString &sql, const QVariantList &binds = {});

// The records that `tail` (WHERE, ORDER BY, LIMIT) selects, given to `take`
// until it says no: of the local file (as r, joined to their units as u),
// or of the `central` database. False, with the error if there was one,
// when the read stopped short.
bool readRecords(const QSqlDatabase &db, const QString &tail, const QVariantList &binds,
                 const std::function<bool(const Record &)> &take, QSqlError *error = nullptr,
                 bool central = false);

// The columns a SELECT must list, in this order, for readUnit().
extern const char unitSelect[];
UnitSummary readUnit(const QSqlQuery &query);

// The condition on units (as u) for a verdict; empty for all.
QString verdictCondition(Verdict verdict);

// Prepared inserts on one connection.
class Writer
{
public:
    explicit Writer(const QSqlDatabase &db) : db(db) {}

    bool prepare();
    // Adds the record; a successful attempt with a unit id adds the unit.
    // A record already there (same id) is left as it is.
    bool write(const Record &record);
    // The unit an attempt's row opens, unless it is there.
    bool writeUnit(const columns::Row &attempt);
    QSqlError lastError() const { return error; }
    // The seq of the last record inserted.
    qint64 lastSeq() const { return inserted; }

private:
    bool run(QSqlQuery &query);

    QSqlDatabase db;
    QSqlQuery insertRecord;
    QSqlQuery insertUnit;
    QSqlError error;
    qint64 inserted = 0;
};

} // namespace movra::records::rows
