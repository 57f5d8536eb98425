#pragma once

// The thread that writes the local file, internal to the store. The caller
// only queues a record; the waits of SQLite's commits and WAL restarts
// belong here, not in the window.

#include <QDeadlineTimer>
#include <QMutex>
#include <QObject>
#include <QSqlError>
#include <QTimer>
#include <atomic>
#include <deque>
#include <memory>

#include "records/RecordStore.h"

namespace movra::records {

namespace rows {
class Writer;
}
namespace schema {
struct Result;
}

// The wait before the next try after a failure: doubling from `first` up
// to `most`.
struct Backoff
{
    Backoff(int first, int most) : first(first), most(most) {}
    int failed()
    {
        delay = delay == 0 ? first : qMin(delay * 2, most);
        next = QDeadlineTimer(delay);
        return delay;
    }
    void reset() { *this = Backoff(first, most); }
    int left() const { return int(qMax<qint64>(0, next.remainingTime())); }

    int first;
    int most;
    int delay = 0;
    QDeadlineTimer next; // expired: try at once
};

class StoreWriter : public QObject
{
    Q_OBJECT
public:
    StoreWriter(const QString &path, const RecordStore::Options &options);
    ~StoreWriter() override;

    // From any thread. False when the queue is at its bound: the record is
    // dropped.
    bool push(const Record &record);
    int queued() const;
    qint64 lastWritten() const { return lastSeq; } // 0: nothing written

    // On the writer's thread. drain() writes all that waits, or fails
    // trying; finish() gives what waits a last try and lets go of the file,
    // returning the records the file did not take.
    void retryNow();
    void drain();
    int finish();

signals:
    void problem(int kind, const QString &text, const QString &detail, int found);
    void recovered(const QString &file, int written);
    void wrote();

private:
    bool open();
    schema::Result openFile();
    void closeConnection();
    void turn();
    void write();
    bool writeChunk();
    QSqlError writeSome(size_t count);
    void fail(Problem kind, const QString &detail, int found = 0);
    void backOff();

    const QString path;
    const RecordStore::Options options;
    const QString connection;

    // Held for no more than a push or a swap: the caller never waits.
    mutable QMutex lock;
    std::deque<Record> incoming; // guarded by lock
    bool turnPosted = false;     // guarded by lock
    std::deque<Record> pending;  // the writer's own, oldest first
    std::atomic<int> pendingCount{0};
    std::atomic<qint64> lastSeq{0};

    std::unique_ptr<rows::Writer> writer; // null while the file cannot be written
    Problem problemNow = Problem::None;
    QString stuckAt;
    int written = 0; // since the problem began
    bool refusedSaid = false;
    QTimer timer; // the next retry, or the shared commit while the file is writable
    Backoff retry;
};

} // namespace movra::records
