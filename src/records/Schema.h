#pragma once

// The layout of the local file, its version (PRAGMA user_version) and the
// step from each older version to the current one. Internal to the library.

#include <QSqlDatabase>
#include <QString>

#include "records/Problem.h"

namespace movra::records::schema {

constexpr int current = 5;

struct Result
{
    Problem problem = Problem::None;
    QString detail;
    int found = 0;         // the version the file had
    bool readable = false; // the records can be read even though not written
};

// What the file is, changing nothing: its version in `found`, or why it is
// not a record store this version can read.
Result inspect(QSqlDatabase &db);

// Creates the tables in an empty file or migrates an older one, in one
// transaction; a file of a newer version or another program is left alone.
Result prepare(QSqlDatabase &db);

} // namespace movra::records::schema
