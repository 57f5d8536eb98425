#include "records/Problem.h"

#include <QSqlError>

namespace movra::records {

namespace {
int primaryCode(const QSqlError &error, bool *ok)
{
    // Extended result codes carry the primary code in their low byte.
    return error.nativeErrorCode().toInt(ok) & 0xFF;
}
} // namespace

bool isRecordError(const QSqlError &error)
{
    bool ok = false;
    const int code = primaryCode(error, &ok);
    // SQLITE_TOOBIG, SQLITE_CONSTRAINT, SQLITE_MISMATCH, SQLITE_RANGE
    return ok && (code == 18 || code == 19 || code == 20 || code == 25);
}

Problem classifySqlite(const QSqlError &error)
{
    bool ok = false;
    const int code = primaryCode(error, &ok);
    if (!ok) {
        // Some of Qt's own calls keep SQLite's message but not its code.
        const QString text = error.databaseText();
        if (text.contains(QLatin1String("disk is full")))
            return Problem::DiskFull;
        if (text.contains(QLatin1String("readonly")))
            return Problem::ReadOnly;
        if (text.contains(QLatin1String("locked")))
            return Problem::Locked;
        if (text.contains(QLatin1String("malformed")) ||
            text.contains(QLatin1String("not a database")))
            return Problem::Corrupt;
        return Problem::IoError;
    }
    switch (code) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return Problem::Locked;
    case 8:  // SQLITE_READONLY
    case 23: // SQLITE_AUTH
        return Problem::ReadOnly;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Problem::Corrupt;
    case 13: // SQLITE_FULL
        return Problem::DiskFull;
    case 14: // SQLITE_CANTOPEN
    case 3:  // SQLITE_PERM
        return Problem::CannotOpen;
    default:
        return Problem::IoError;
    }
}

} // namespace movra::records
