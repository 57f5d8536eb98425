#pragma once

// The local record store: an SQLite file, written on the caller's thread
// (a write is one short insert, no wait on a lock or the network), read for
// the records window and exported. A central PostgreSQL database, when
// configured, gets a copy from a thread of its own.
//
// When the file cannot be written, the store says why once through
// problem(), keeps the records in memory up to a bound and writes them when
// the file is back (tried again on the next write and on a timer).

#include <QDeadlineTimer>
#include <QObject>
#include <QSqlError>
#include <QTimer>
#include <QVector>
#include <atomic>
#include <deque>
#include <memory>

#include "records/Problem.h"
#include "records/Record.h"
#include "records/StationConfig.h"

class QIODevice;
class QThread;

namespace movra::records {

namespace rows {
class Writer;
}
namespace schema {
struct Result;
}
class StoreWorker;

class RecordStore : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        int memoryBound = 20000; // records kept while the file is away
        qint64 sizeLimit = 0;    // bytes the file may take; 0: what the disk holds
        int retryFirstMs = 1000; // then doubling up to retryMaxMs
        int retryMaxMs = 30000;
        int centralRetryFirstMs = 1000;
        int centralRetryMaxMs = 60000;
        int flushChunk = 500; // records written per turn of the event loop
    };

    enum class Format { Csv, Json };

    explicit RecordStore(QObject *parent = nullptr);
    explicit RecordStore(const Options &options, QObject *parent = nullptr);
    ~RecordStore() override;

    // Stamped on every record that comes without them.
    void setStation(const QString &name) { stationName = name; }
    void setToolVersion(const QString &version) { toolVersion = version; }

    // Opens the file, creating or migrating it. False when it cannot be
    // written now; the reason went out through problem().
    bool open(const QString &path);
    // From now on copies the records to the central database at `url`
    // (postgresql://…). False, with a problem() naming it, when the URL is
    // not one.
    bool startCentral(const QString &url);
    // Ends the central copy and lets go of the file; records still in
    // memory are lost, records in the file wait for the next start.
    void close();

    QString path() const { return filePath; }
    bool isWritable() const { return writable; }
    Problem currentProblem() const { return problemNow; }
    QString problemText() const { return problemMessage; }
    int keptInMemory() const { return int(pending.size()); }
    int droppedFromMemory() const { return dropped; }

    // The unit under test: from a successful connection to its end.
    QUuid unitStarted(Attempt attempt);
    void attemptFailed(Attempt attempt);
    void add(const Reading &reading);
    void add(const ParameterWrite &write);
    void add(const BatchRead &batch);
    void unitEnded(const Disconnect &disconnect);
    QUuid currentUnit() const { return unit; }

    // Any record; the store fills in the id, time, offset, station and
    // version it comes without.
    void append(Record record);

    // Reads of the file, on the calling thread. Units newest first.
    int unitCount(const UnitFilter &filter) const;
    QVector<UnitSummary> units(const UnitFilter &filter, int limit,
                               const UnitSummary *after = nullptr) const;
    QVector<Record> unitRecords(const QUuid &unit, int limit = -1, qint64 afterSeq = 0) const;
    qint64 recordCount() const;
    // Records in the file not yet in the central database.
    qint64 waitingForCentral() const;

    // Records of [since, until) (an invalid end is open) oldest first; with
    // a verdict, only those of units with that verdict.
    bool exportRecords(const QDateTime &since, const QDateTime &until, Format format,
                       QIODevice *out, Verdict verdict = Verdict::All) const;

public slots:
    // Tries the file again now instead of waiting for the timer.
    void retryNow();

signals:
    // A text for the log pane, once for each thing that goes wrong.
    void problem(const QString &text);
    // The problem is over.
    void recovered(const QString &text);

private:
    void shutDown();
    void stamp(Record &record) const;
    bool openConnection();
    schema::Result openFile();
    void closeConnection();
    bool writeNow(const Record &record);
    QSqlError writeSome(const QVector<const Record *> &records);
    void refused(const QString &why);
    void keep(const Record &record);
    bool writeChunk();
    void flush();
    void fail(Problem kind, const QString &detail, int found = 0);
    void scheduleRetry();
    bool fileUnchanged() const;
    QString fingerprint() const;
    void startWorker();
    void stopWorker();
    void copied(const QString &target, qint64 seq);
    void wakeWorker();

    Options options;
    QString connection;
    QString filePath;
    QString stationName;
    QString toolVersion;
    bool connected = false;
    bool writable = false;
    Problem problemNow = Problem::None;
    QString problemMessage;
    QString stuckAt; // file state when it was found corrupt or foreign
    std::unique_ptr<rows::Writer> writer;

    std::deque<Record> pending;
    int dropped = 0;
    int rejected = 0;
    bool rejectedSaid = false;
    bool memoryFullSaid = false;
    int written = 0; // since the problem began
    QTimer retryTimer;
    QDeadlineTimer nextRetry;
    int retryDelay = 0;
    bool flushQueued = false;

    QUuid unit;
    QThread *thread = nullptr;
    StoreWorker *worker = nullptr;
    std::optional<CentralUrl> central;
    QString centralTarget;
    std::shared_ptr<std::atomic<bool>> fresh; // set when there is something new to copy
};

} // namespace movra::records
