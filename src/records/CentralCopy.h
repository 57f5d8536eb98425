#pragma once

// The central PostgreSQL database, by connection name. A record already there
// (same id) is skipped, so a batch cut off by a lost connection can simply be
// sent again. Internal but for read().

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>

#include "records/Record.h"
#include "records/StationConfig.h"

namespace movra::records::central {

// Connects as `name` and, with `create`, makes sure the tables are there.
// On failure, with `why`, no connection of that name is left.
bool open(const CentralUrl &url, const QString &name, QString *why, bool create);
// Closes and forgets connection `name`, of either database.
void close(const QString &name);

// The batch in one transaction; false, with `why`, when it did not go.
bool copy(const CentralUrl &url, const QString &name, const QVector<Record> &batch, QString *why);

// The records of [since, until) (an invalid end is open), of `station`
// or all, of the units given `serial` or all, oldest first, until `take`
// says no. False, with `why`, when the database cannot give them.
bool read(const CentralUrl &url, const QDateTime &since, const QDateTime &until,
          const QString &station, const QString &serial,
          const std::function<bool(const Record &)> &take, QString *why);

} // namespace movra::records::central
