#pragma once

class QSqlError;

namespace movra::records {

// Why the store or the central copy cannot do its work right now.
enum class Problem {
    None,
    CannotOpen,
    ReadOnly,
    Locked,
    Corrupt,
    DiskFull,
    TooNew,     // written by a newer version of the tool
    NotRecords, // an SQLite file holding something else
    IoError,
    CentralUnreachable,
    CentralRejected, // the central server answered but refused the copy
};

// An error about what a record holds rather than about the file.
bool isRecordError(const QSqlError &error);

// The problem an SQLite error stands for.
Problem classifySqlite(const QSqlError &error);

} // namespace movra::records
