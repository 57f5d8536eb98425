#pragma once

// How a record and a unit map to rows of the local file (current schema).
// Internal to the library.

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "records/Record.h"

namespace movra::records::rows {

// The columns a SELECT must list, in this order, for readRecord(): the
// records table as r, joined to units as u for the unit's id.
QString recordSelect();
extern const char unitSelect[];

QVariant idValue(const QUuid &id);
QUuid idFrom(const QVariant &value);
QVariant timeValue(const QDateTime &utc);
QDateTime timeFrom(const QVariant &value);

Record readRecord(const QSqlQuery &query);
UnitSummary readUnit(const QSqlQuery &query);

// The condition on units (as u) for a verdict; empty for all.
QString verdictCondition(Verdict verdict);

// The unit a successful attempt opens.
Unit unitOf(const Record &attempt);

// Prepared inserts on one connection.
class Writer
{
public:
    explicit Writer(const QSqlDatabase &db) : db(db) {}

    bool prepare();
    // Adds the record; a successful attempt with a unit id adds the unit.
    // A record already there (same id) is left as it is.
    bool write(const Record &record);
    // A unit row with what is known of it (for migration).
    bool writeUnit(const Unit &unit);
    QSqlError lastError() const { return error; }
    // The seq of the last record inserted.
    qint64 lastSeq() const { return inserted; }

private:
    bool run(QSqlQuery &query);
    QVariant unitSeq(const QUuid &unit);

    QSqlDatabase db;
    QSqlQuery insertRecord;
    QSqlQuery insertUnit;
    QSqlQuery findUnit;
    QHash<QUuid, qint64> seqs;
    QSqlError error;
    qint64 inserted = 0;
};

} // namespace movra::records::rows
