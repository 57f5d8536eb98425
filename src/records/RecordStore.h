#pragma once

// The local record store: an SQLite file that a thread of its own writes.
// A call that records something only stamps and queues it (microseconds,
// whatever the disk does); the records window reads the file on the calling
// thread. A central PostgreSQL database, when configured, gets a copy from
// another thread.
//
// When the file cannot be written, the store says why once through
// problem(), keeps the records in memory up to a bound and writes them when
// the file is back (tried again on the next record and on a timer).

#include <QObject>
#include <QSqlDatabase>
#include <QVector>
#include <functional>
#include <memory>
#include <optional>

#include "records/LocalOffset.h"
#include "records/Problem.h"
#include "records/Record.h"
#include "records/StationConfig.h"

class QIODevice;
class QTemporaryDir;
class QThread;

namespace movra::records {

class CentralWorker;
class StoreWriter;
namespace schema {
struct Result;
}

class RecordStore : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int memoryBound = 20000; // records kept while the file is away
        qint64 sizeLimit = 0;    // bytes the file may take; 0: what the disk holds
        // Waits before trying the file again, doubling up to retryMaxMs; a
        // new record tries too once the wait is over. 0: no timer, only
        // records and retryNow() try again.
        int retryFirstMs = 1000;
        int retryMaxMs = 30000;
        int centralRetryFirstMs = 1000;
        int centralRetryMaxMs = 60000;
        int flushChunk = 500; // records per transaction
        // How long a record may wait to share a transaction with the next
        // ones; waitForWrites() and close() do not wait. 0: each at once.
        int commitDelayMs = 0;
    };

    explicit RecordStore(QObject *parent = nullptr);
    explicit RecordStore(const Options &options, QObject *parent = nullptr);
    ~RecordStore() override;

    // Stamped on every record that comes without them.
    void setStation(const QString &name) { stationName = name; }
    void setToolVersion(const QString &version) { toolVersion = version; }

    // Opens the file, creating or migrating it (on the calling thread's
    // time: done once at start). False when it cannot be written now; the
    // reason went out through problem(). Records are taken either way.
    bool open(const QString &path);
    // The same without waiting: the writer thread opens the file, and a
    // problem comes later through problem().
    void openLater(const QString &path);
    // For reading only: no writer, no migration, no change of journal mode.
    // An older file is read from a migrated copy. False, with the problem,
    // when the file cannot be read as a record store.
    bool openReadOnly(const QString &path);
    // From now on copies the records to the central database at `url`
    // (postgresql://…). False, with a problem() naming it, when the URL is
    // not one.
    bool startCentral(const QString &url);
    // What became of the records taken since open().
    struct Closed
    {
        int lost = 0; // never reached the file
        Problem problem = Problem::None;
        QString detail; // the file's own error
        int foundVersion = 0;
        QString centralWhy;     // why the central copy is not complete; empty when it is
        bool abandoned = false; // the central copy was still busy and left to end alone
    };
    // Writes what waits if the file takes it, waits up to `centralWaitMs`
    // for the central copy of the records written, then lets go of the file
    // and ends the central copy (waiting at most 1 s for a step under way).
    // Records in the file wait for the next start.
    Closed close(int centralWaitMs = 0);
    // For a window going away, without waiting: the writer's thread writes
    // what waits and lets go of the file on its own, the central copy ends
    // alone. finishClosing() waits for them (the central copy at most 1 s);
    // it runs when the application ends.
    void closeLater();
    static void finishClosing();

    QString path() const { return filePath; }
    Problem currentProblem() const { return problemNow; }
    QString problemText() const { return problemMessage; }
    QString problemDetail() const { return problemWhy; }
    int problemVersion() const { return problemFound; }
    // Records taken but not yet in the file.
    int keptInMemory() const;
    int droppedFromMemory() const { return dropped; }

    // The unit under test: from a successful connection to its end.
    QUuid unitStarted(Attempt attempt);
    void attemptFailed(Attempt attempt);
    // Into the current unit.
    void add(const RecordData &data);
    void unitEnded(const Disconnect &disconnect);
    QUuid currentUnit() const { return unit; }

    // Any record; the store fills in the id, time, offset, station and
    // version it comes without.
    void append(Record record);

    // Blocks until every record taken so far is in the file or has failed
    // to go in, and problem()/recovered() have been emitted. For closing,
    // for tests and for a program without an event loop.
    void waitForWrites();

    // Reads of the file, on the calling thread; they see what the writer
    // has committed. Units newest first.
    int unitCount(const UnitFilter &filter) const;
    QVector<UnitSummary> units(const UnitFilter &filter, int limit,
                               const UnitSummary *after = nullptr) const;
    QVector<Record> unitRecords(const QUuid &unit, int limit = -1, qint64 afterSeq = 0) const;
    qint64 recordCount() const;
    // Records in the file not yet in the central database.
    qint64 waitingForCentral() const;

    // The records of [since, until) (an invalid end is open), oldest first,
    // until `take` says no; with a serial number, only those of units given
    // it. False, with the reason in `why`, when the file could not be read.
    bool forEachRecord(const QDateTime &since, const QDateTime &until,
                       const std::function<bool(const Record &)> &take, QString *why = nullptr,
                       const QString &serial = QString()) const;
    // As CSV: the units the filter shows (by their start), with their records.
    bool exportUnits(const UnitFilter &filter, QIODevice *out) const;

public slots:
    // Tries the file again now instead of waiting for the timer.
    void retryNow();

signals:
    // A text for the log pane, once for each thing that goes wrong.
    void problem(const QString &text);
    // The problem is over.
    void recovered(const QString &text);

private:
    bool forEach(const QString &where, const QVariantList &binds,
                 const std::function<bool(const Record &)> &take, QString *why = nullptr) const;
    void shutDown();
    void stamp(Record &record) const;
    void startWriter();
    int stopWriter();
    void setProblem(Problem kind, const QString &text, const QString &detail, int found);
    schema::Result inspectReader();
    schema::Result migratedCopy();
    void openReader() const;
    void closeReader() const;

    // The file for one read. While all is well the connection stays open;
    // while a problem lasts it is opened for the call and closed after:
    // SQLite shares one -shm mapping among the connections of a process,
    // and one left open would keep the writer from starting afresh.
    class Read
    {
    public:
        explicit Read(const RecordStore *store);
        ~Read();
        QSqlDatabase db;

    private:
        const RecordStore *store;
    };
    void writerProblem(int kind, const QString &text, const QString &detail, int found);
    void writerRecovered(const QString &file, int written);
    void startWorker();
    bool stopWorker(int waitMs);
    void deliverSignals();

    Options options;
    QString reader;
    QString filePath;
    QString readPath; // filePath, or its migrated copy
    bool readOnly = false;
    bool immutable = false; // read without side files
    std::unique_ptr<QTemporaryDir> migrated;
    QString stationName;
    QString toolVersion;
    mutable bool connected = false;
    mutable LocalOffset localOffset;
    Problem problemNow = Problem::None;
    QString problemMessage;
    QString problemWhy;
    int problemFound = 0;
    qint64 lastWritten = 0;
    int dropped = 0;
    bool memoryFullSaid = false;
    QUuid unit;

    QThread *writerThread = nullptr;
    StoreWriter *writer = nullptr;
    QThread *workerThread = nullptr;
    CentralWorker *worker = nullptr;
    std::optional<CentralUrl> central;
    QString centralTarget;
};

} // namespace movra::records
