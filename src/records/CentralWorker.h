#pragma once

// The thread that copies new records of the local file to the central
// database, with a connection of its own to each. It remembers how far it
// got in the local file (copy_state), so that records written while the
// server was away, or before the tool was closed, follow when it answers.
// Internal.

#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QWaitCondition>
#include <memory>

#include "records/Problem.h"
#include "records/StationConfig.h"

namespace movra::records {

class CentralCopy;

class CentralWorker : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        int retryFirstMs = 1000;
        int retryMaxMs = 60000;
    };

    CentralWorker(const QString &localPath, const CentralUrl &url, const Timing &timing);
    ~CentralWorker() override;

    // All of these run on the worker's thread.
    void start();
    // New records are in the file.
    void wake();
    // A copy round as soon as the back-off allows, without the debounce.
    void copyNow();
    // For good: a wake or a timer queued before it does nothing.
    void stop();

    // From any thread: waits until the records up to `seq` are copied, a
    // round fails, or `deadline`. Empty when copied, else why not.
    QString waitCopied(qint64 seq, QDeadlineTimer deadline);

signals:
    void problem(const QString &text);
    void recovered(const QString &text);

private:
    void tick();
    bool openLocal();
    void copyRound();
    void keepPosition();
    void failed(Problem kind, const QString &detail);
    void report(qint64 copied, const QString &why);

    const QString localPath;
    const QString localName;
    const Timing timing;
    QTimer timer;
    std::unique_ptr<CentralCopy> central;
    int retryDelay = 0;
    QDeadlineTimer nextTry;
    bool copyDue = true;
    Problem centralProblem = Problem::None;
    qint64 cursor = -1; // last copied seq; -1 until read from the file
    qint64 kept = -1;   // the position last written to the file
    bool stopped = false;

    mutable QMutex stateLock;
    QWaitCondition stateChanged;
    qint64 copiedSeq = -1; // guarded by stateLock
    QString lastWhy;       // guarded by stateLock: the last round's failure
    bool failedRound = false;
};

} // namespace movra::records
