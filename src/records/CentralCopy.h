#pragma once

// Copies records of the local file to the central PostgreSQL database.
// Idempotent: a record already there (same id) is skipped, so a batch cut
// off by a lost connection can simply be sent again. Used on the worker's
// thread only. Internal.

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <functional>

#include "records/Record.h"
#include "records/StationConfig.h"

namespace movra::records {

class CentralCopy
{
public:
    explicit CentralCopy(const CentralUrl &url);
    ~CentralCopy();
    CentralCopy(const CentralCopy &) = delete;
    CentralCopy &operator=(const CentralCopy &) = delete;

    const CentralUrl &url() const { return where; }

    // Connects and, with `create`, makes sure the table is there.
    bool connect(QString *why, bool create = true);
    bool isConnected() const { return ready; }
    void disconnect();
    // Whether the server still answers.
    bool answers();

    enum class Failed { Nothing, Local, Central };
    struct Result
    {
        int copied = 0;
        qint64 lastSeq = 0;
        Failed failed = Failed::Nothing;
        QString why;
    };
    // The records after `afterSeq`, at most `limit`, in one transaction.
    Result copy(const QSqlDatabase &local, qint64 afterSeq, int limit);

    // The records of [since, until) (an invalid end is open), of `station`
    // or all, of the units given `serial` or all, oldest first, until `take`
    // says no. False, with `why`, when the database cannot give them.
    bool read(const QDateTime &since, const QDateTime &until, const QString &station,
              const QString &serial, const std::function<bool(const Record &)> &take, QString *why);

private:
    bool createTables(QString *why);
    // `text` without the password, whatever wrote it.
    QString scrub(const QString &text) const;

    CentralUrl where;
    QString name;
    bool ready = false;
};

} // namespace movra::records
