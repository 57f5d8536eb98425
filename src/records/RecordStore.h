#pragma once

// The local record store: an SQLite file that a thread of its own writes,
// so that recording only stamps and queues a record; reads run on the
// calling thread. A central PostgreSQL database, when configured, gets a
// copy from another thread. While the file cannot be written the store says
// why once through problem(), keeps the records in memory up to a bound and
// writes them when the file is back (tried on the next record and a timer).

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
        // Waits before trying the file again, doubling; 0: only the next
        // record and retryNow() try again.
        int retryFirstMs = 1000;
        int retryMaxMs = 30000;
        int centralRetryFirstMs = 1000;
        int centralRetryMaxMs = 60000;
        int flushChunk = 500; // records per transaction
        // How long a record may wait to share a commit with the next ones;
        // waitForWrites() and close() do not wait.
        int commitDelayMs = 0;
    };

    RecordStore() : RecordStore(Options()) {}
    explicit RecordStore(const Options &options);
    ~RecordStore() override;

    // Stamped on every record that comes without them.
    void setStation(const QString &name) { stationName = name; }
    void setToolVersion(const QString &version) { toolVersion = version; }

    // Opens the file, creating or migrating it, and waits for that. False,
    // with the reason through problem(), when it cannot be written now;
    // records are taken either way.
    bool open(const QString &path);
    // The same without waiting: a problem comes later through problem().
    void openLater(const QString &path);
    // For reading only: no writer, no migration, no change of journal mode;
    // an older file is read from a migrated copy. False, with the problem,
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
    Closed close(int centralWaitMs = 0);
    // The same without waiting, for a window going away: both threads end
    // alone, and finishClosing(), run when the application ends, waits for
    // them (the central copy at most 1 s).
    void closeLater();
    static void finishClosing();

    QString path() const { return filePath; } // empty while closed
    Problem currentProblem() const { return trouble.kind; }
    QString problemText() const { return trouble.text; }
    QString problemDetail() const { return trouble.detail; }
    int problemVersion() const { return trouble.found; }
    // Records taken but not yet in the file, and those dropped at the bound.
    int keptInMemory() const;
    int droppedFromMemory() const { return dropped; }

    // Any record; the store fills in the id, time, offset, station and
    // version it comes without.
    void append(Record record);

    // Blocks until every record taken so far is in the file or has failed
    // to go in, and problem()/recovered() have been emitted.
    void waitForWrites();

    // Reads of the file as the writer has committed it. Units newest first.
    int unitCount(const UnitFilter &filter) const;
    QVector<UnitSummary> units(const UnitFilter &filter, int limit,
                               const UnitSummary *after = nullptr) const;
    QVector<Record> unitRecords(const QUuid &unit, int limit = -1, qint64 afterSeq = 0) const;
    qint64 recordCount() const;

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
    int stopWriter(bool later = false);
    void startWorker();
    bool stopWorker(bool later = false);
    schema::Result inspectReader();
    schema::Result migratedCopy();
    void openReader() const;
    void closeReader() const;
    void writerProblem(int kind, const QString &text, const QString &detail, int found);
    void writerRecovered(const QString &file, int written);

    // The file for one read. While all is well the connection stays open;
    // while a problem lasts it is opened for the call and closed after:
    // SQLite shares one -shm mapping among the connections of a process,
    // and one left open would keep the writer from starting afresh.
    struct Read
    {
        explicit Read(const RecordStore *store);
        ~Read();
        QSqlDatabase db;
        const RecordStore *store;
    };

    struct Trouble
    {
        Problem kind = Problem::None;
        QString text;
        QString detail;
        int found = 0;
    };

    Options options;
    QString reader;
    QString filePath;
    QString readPath;       // filePath, or its migrated copy
    bool immutable = false; // read without side files
    std::unique_ptr<QTemporaryDir> migrated;
    QString stationName;
    QString toolVersion;
    mutable bool connected = false;
    mutable LocalOffset localOffset;
    Trouble trouble;
    qint64 lastWritten = 0;
    int dropped = 0;
    StoreWriter *writer = nullptr;
    CentralWorker *worker = nullptr;
    std::optional<CentralUrl> central;
};

} // namespace movra::records
