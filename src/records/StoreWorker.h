#pragma once

// The store's background thread: keeps the WAL short (the writing
// connection never checkpoints, so a write never pays for one) and, when
// configured, copies new records to the central database. Internal.

#include <QDeadlineTimer>
#include <QObject>
#include <QSqlDatabase>
#include <QTimer>
#include <atomic>
#include <memory>

#include "records/Problem.h"
#include "records/StationConfig.h"

namespace movra::records {

class CentralCopy;

class StoreWorker : public QObject
{
    Q_OBJECT
public:
    struct Timing
    {
        int retryFirstMs = 1000;
        int retryMaxMs = 60000;
    };

    StoreWorker(const QString &localPath, std::shared_ptr<std::atomic<bool>> fresh);
    ~StoreWorker() override;

    // All of these run on the worker's thread.
    void start();
    void setCentral(const CentralUrl &url, const Timing &timing);
    void wake();
    void stop();

signals:
    void problem(const QString &text);
    void recovered(const QString &text);
    void copied(const QString &target, qint64 seq);

private:
    void tick();
    bool openLocal();
    void checkpoint();
    void copyRound();
    void centralFailed(Problem kind, const QString &detail);

    QString localPath;
    QString localName;
    std::shared_ptr<std::atomic<bool>> fresh;
    QTimer timer;
    QDeadlineTimer nextCheckpoint;
    bool checkpointDue = false;

    std::unique_ptr<CentralCopy> central;
    Timing timing;
    int retryDelay = 0;
    QDeadlineTimer nextTry;
    bool copyDue = false;
    Problem centralProblem = Problem::None;
    qint64 cursor = -1; // last copied seq; -1 until read from the file
};

} // namespace movra::records
