#pragma once

// The thread that copies new records of the local file to the central
// database, internal to the store. How far it got is kept in the file
// (copy_state), so that records written while the server was away, or by an
// earlier run, follow when it answers.

#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QWaitCondition>

#include "records/StoreWriter.h"

namespace movra::records {

class CentralWorker : public QObject
{
    Q_OBJECT
public:
    CentralWorker(const QString &localPath, const CentralUrl &url, const Backoff &retry);

    // On the worker's thread. wake(): new records are in the file;
    // copyNow(): a round as soon as the back-off allows; reopen(): the file
    // is back after a problem, perhaps a new one; stop() is for good.
    void wake();
    void copyNow();
    void reopen();
    void stop();

    // From any thread: waits until the records up to `seq` are copied, a
    // round fails, or `deadline`. Empty when copied, else why not.
    QString waitCopied(qint64 seq, QDeadlineTimer deadline);

signals:
    void problem(const QString &text);
    void recovered(const QString &text);

private:
    void tick();
    void copyRound();
    bool readCursor(const QSqlDatabase &local);
    void keepPosition(const QSqlDatabase &local);
    void failed(Problem kind, const QString &detail);
    void report(qint64 copied, const QString &why);

    const QString localPath;
    const QString localName;
    const QString centralName;
    const CentralUrl url;
    QTimer timer;
    Backoff retry;
    bool copyDue = true;
    Problem centralProblem = Problem::None;
    qint64 cursor = -1; // last copied seq; -1 until read from the file
    bool stopped = false;

    QMutex stateLock;
    QWaitCondition stateChanged;
    qint64 copiedSeq = -1; // guarded by stateLock
    QString lastWhy;       // guarded by stateLock: why the last round failed
};

} // namespace movra::records
