#pragma once

// The thread that writes the local file. The GUI thread only queues a
// record (a few microseconds); here it goes in, in one transaction with
// whatever else waits. SQLite syncs the WAL whenever it starts it over after
// a checkpoint (milliseconds on an ordinary disk), and that wait belongs
// here, not in the window.
//
// When the file cannot be written the records stay queued (up to a bound)
// and are tried again when the next one comes or on a timer. Internal.

#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QSqlError>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>

#include "records/Problem.h"
#include "records/Record.h"
#include "records/RecordStore.h"

namespace movra::records {

namespace rows {
class Writer;
}
namespace schema {
struct Result;
}

class StoreWriter : public QObject
{
    Q_OBJECT
public:
    using Options = RecordStore::Options;

    StoreWriter(const QString &path, const Options &options);
    ~StoreWriter() override;

    // From any thread. False when the queue is at its bound and the record
    // was dropped.
    bool push(const Record &record);
    int queued() const;
    // The seq of the last record this writer put in the file; 0: none.
    qint64 lastWritten() const { return lastSeq; }

    // On the writer's thread.
    Problem open();
    void retryNow();
    // Writes all that waits, or fails trying; then returns.
    void drain();
    void stop();

signals:
    void problem(int kind, const QString &text, const QString &detail, int found);
    void recovered(const QString &text, int written);
    void wrote();

private:
    schema::Result openFile();
    bool openConnection();
    void closeConnection();
    void matchSideFiles();
    void turn();
    void commitNow();
    void take();
    bool writeChunk();
    QSqlError writeSome(const std::deque<Record> &records, size_t count);
    void fail(Problem kind, const QString &detail, int found = 0);
    void refused(const QString &why);
    void scheduleRetry();
    QString fingerprint() const;

    const QString path;
    const Options options;
    const QString connection;

    // Records come in under the lock, which is held for no more than a
    // push or a swap: the writer must never make the caller wait.
    mutable QMutex lock;
    std::deque<Record> incoming; // guarded by lock
    bool wakePosted = false;     // guarded by lock
    bool commitArmed = false;    // guarded by lock: records wait for commitTimer
    std::deque<Record> pending;  // the writer's own, oldest first
    std::atomic<int> pendingCount{0};
    std::atomic<qint64> lastSeq{0};

    std::unique_ptr<rows::Writer> writer;
    bool writable = false;
    Problem problemNow = Problem::None;
    QString stuckAt;
    int written = 0;
    bool refusedSaid = false;
    QTimer retryTimer;
    QTimer commitTimer;
    bool commitDue = false;
    QDeadlineTimer nextRetry;
    int retryDelay = 0;
};

} // namespace movra::records
