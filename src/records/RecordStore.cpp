#include "records/RecordStore.h"
#include "records/RecordText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QtEndian>
#include <atomic>

#include "records/CentralWorker.h"
#include "records/Schema.h"
#include "records/StoreWriter.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

// Problems after which the file can still be read for the window.
bool readable(Problem kind)
{
    return kind == Problem::None || kind == Problem::ReadOnly || kind == Problem::Locked ||
           kind == Problem::DiskFull;
}

} // namespace

RecordStore::RecordStore(QObject *parent) : RecordStore(Options(), parent) {}

RecordStore::RecordStore(const Options &options, QObject *parent)
    : QObject(parent), options(options),
      reader(QStringLiteral("movra_records_reader_%1").arg(++connections)),
      stationName(QSysInfo::machineHostName())
{
}

RecordStore::~RecordStore()
{
    close();
}

bool RecordStore::open(const QString &path)
{
    shutDown();
    filePath = readPath = path;
    startWriter();
    Problem opened = Problem::None;
    QMetaObject::invokeMethod(
        writer, [w = writer, &opened] { opened = w->open(); }, Qt::BlockingQueuedConnection);
    deliverSignals();
    if (opened == Problem::None)
        openReader();
    if (central)
        startWorker();
    return opened == Problem::None;
}

void RecordStore::openLater(const QString &path)
{
    shutDown();
    filePath = readPath = path;
    startWriter();
    QMetaObject::invokeMethod(
        writer, [w = writer] { w->open(); }, Qt::QueuedConnection);
    if (central)
        startWorker();
}

bool RecordStore::openReadOnly(const QString &path)
{
    shutDown();
    filePath = readPath = path;
    readOnly = true;
    schema::Result found = inspectReader();
    if (found.problem == Problem::CannotOpen || found.problem == Problem::IoError) {
        // In a folder it cannot write, or on a full disk, SQLite cannot make
        // the side files a WAL file is read with; a file nobody writes can
        // do without them.
        immutable = true;
        found = inspectReader();
    }
    if (found.problem == Problem::None && found.found < schema::current)
        found = migratedCopy();
    if (found.problem == Problem::None)
        return true;
    closeReader();
    setProblem(found.problem, QString(), found.detail, found.found);
    return false;
}

schema::Result RecordStore::inspectReader()
{
    openReader();
    QSqlDatabase db = QSqlDatabase::database(reader, false);
    return connected ? schema::inspect(db)
                     : schema::Result{classifySqlite(db.lastError()), db.lastError().text()};
}

// The file as this version reads it, in a folder of its own; the file
// itself is left as it is.
schema::Result RecordStore::migratedCopy()
{
    closeReader();
    migrated = std::make_unique<QTemporaryDir>();
    const QString copy = migrated->filePath(QStringLiteral("records.sqlite"));
    for (const char *suffix : {"", "-wal"}) {
        const QString from = filePath + QLatin1String(suffix);
        if (QFile::exists(from) && !QFile::copy(from, copy + QLatin1String(suffix)))
            return schema::Result{
                Problem::CannotOpen,
                QStringLiteral("cannot copy %1 to %2").arg(from, migrated->path())};
    }
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    schema::Result result;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
        db.setDatabaseName(copy);
        result = db.open() ? schema::prepare(db)
                           : schema::Result{classifySqlite(db.lastError()), db.lastError().text()};
        db.close();
    }
    QSqlDatabase::removeDatabase(reader);
    readPath = copy;
    if (result.problem == Problem::None)
        openReader();
    return result;
}

RecordStore::Closed RecordStore::close(int centralWaitMs)
{
    Closed closed;
    closed.lost = stopWriter() + dropped;
    if (closed.lost > 0) {
        closed.problem = problemNow;
        closed.detail = problemWhy;
        closed.foundVersion = problemFound;
    }
    if (worker && centralWaitMs > 0 && lastWritten > 0) {
        QMetaObject::invokeMethod(worker, &CentralWorker::copyNow, Qt::QueuedConnection);
        closed.centralWhy = worker->waitCopied(lastWritten, QDeadlineTimer(centralWaitMs));
    }
    closed.abandoned = !stopWorker(1000);
    shutDown();
    central.reset();
    centralTarget.clear();
    return closed;
}

void RecordStore::shutDown()
{
    stopWorker(1000);
    stopWriter();
    closeReader();
    migrated.reset();
    readOnly = false;
    immutable = false;
    lastWritten = 0;
    unit = QUuid();
    problemNow = Problem::None;
    problemMessage.clear();
    problemWhy.clear();
    problemFound = 0;
    dropped = 0;
    memoryFullSaid = false;
}

void RecordStore::startWriter()
{
    writerThread = new QThread;
    writerThread->setObjectName(QStringLiteral("records writer"));
    writer = new StoreWriter(filePath, options);
    writer->moveToThread(writerThread);
    connect(writerThread, &QThread::finished, writer, &QObject::deleteLater);
    connect(writer, &StoreWriter::problem, this, &RecordStore::writerProblem);
    connect(writer, &StoreWriter::recovered, this, &RecordStore::writerRecovered);
    writerThread->start();
}

// The records the file did not take.
int RecordStore::stopWriter()
{
    if (!writer)
        return 0;
    // A last try for what waits; what the file does not take now is lost.
    int lost = 0;
    QMetaObject::invokeMethod(
        writer,
        [w = writer, &lost] {
            if (w->queued() > 0)
                w->retryNow();
            w->drain();
            lost = w->queued();
            w->stop();
        },
        Qt::BlockingQueuedConnection);
    deliverSignals();
    lastWritten = writer->lastWritten();
    writerThread->quit();
    writerThread->wait();
    delete writerThread;
    writerThread = nullptr;
    writer = nullptr;
    return lost;
}

void RecordStore::openReader() const
{
    closeReader();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
    // Reads never change the file, nor its journal mode.
    if (immutable) {
        db.setDatabaseName(QUrl::fromLocalFile(readPath).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?immutable=1"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(readPath);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=100"));
    }
    connected = db.open();
}

void RecordStore::closeReader() const
{
    connected = false;
    if (QSqlDatabase::contains(reader)) {
        QSqlDatabase::database(reader, false).close();
        QSqlDatabase::removeDatabase(reader);
    }
}

RecordStore::Read::Read(const RecordStore *store) : store(store)
{
    if (!store->connected && (store->writer || store->readOnly) && readable(store->problemNow))
        store->openReader();
    if (store->connected)
        db = QSqlDatabase::database(store->reader, false);
}

RecordStore::Read::~Read()
{
    db = QSqlDatabase();
    if (store->problemNow != Problem::None)
        store->closeReader();
}

// Signals the writer queued for this thread, now rather than at the next
// turn of the event loop.
void RecordStore::deliverSignals()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void RecordStore::writerProblem(int kind, const QString &text, const QString &detail, int found)
{
    if (Problem(kind) != Problem::None)
        setProblem(Problem(kind), text, detail, found);
    emit problem(text);
}

void RecordStore::setProblem(Problem kind, const QString &text, const QString &detail, int found)
{
    problemNow = kind;
    problemMessage = text;
    problemWhy = detail;
    problemFound = found;
}

void RecordStore::writerRecovered(const QString &file, int written)
{
    QString text =
        RecordsText::tr("测试记录库 %1 已恢复，补写了暂存的 %2 条记录。").arg(file).arg(written);
    if (dropped > 0)
        text += RecordsText::tr("另有 %1 条因超过暂存上限而丢失。").arg(dropped);
    setProblem(Problem::None, QString(), QString(), 0);
    dropped = 0;
    memoryFullSaid = false;
    openReader(); // the file may be a new one
    emit recovered(text);
}

void RecordStore::stamp(Record &r) const
{
    if (r.time.isNull()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        r.time = QDateTime::fromMSecsSinceEpoch(now, Qt::UTC);
        r.utcOffset = localOffset.at(now);
    } else {
        r.time = r.time.toUTC();
    }
    if (r.id.isNull())
        r.id = newId(r.time);
    if (r.station.isEmpty())
        r.station = stationName;
    if (r.toolVersion.isEmpty())
        r.toolVersion = toolVersion;
}

QUuid RecordStore::unitStarted(Attempt attempt)
{
    attempt.ok = true;
    Record r;
    r.unit = newId();
    r.data = attempt;
    unit = r.unit;
    append(r);
    return unit;
}

void RecordStore::attemptFailed(Attempt attempt)
{
    attempt.ok = false;
    Record r;
    r.data = attempt;
    append(r);
}

void RecordStore::add(const RecordData &data)
{
    Record r;
    r.unit = unit;
    r.data = data;
    append(r);
}

void RecordStore::unitEnded(const Disconnect &disconnect)
{
    add(disconnect);
    unit = QUuid();
}

void RecordStore::append(Record record)
{
    if (!writer)
        return;
    stamp(record);
    if (writer->push(record))
        return;
    ++dropped;
    if (!memoryFullSaid) {
        memoryFullSaid = true;
        emit problem(RecordsText::tr("测试记录库不可用期间暂存在内存中的记录已达上限 %1 条；"
                                     "记录库恢复之前，之后的记录不再保存。")
                         .arg(options.memoryBound));
    }
}

int RecordStore::keptInMemory() const
{
    return writer ? writer->queued() : 0;
}

void RecordStore::waitForWrites()
{
    if (!writer)
        return;
    QMetaObject::invokeMethod(
        writer, [w = writer] { w->drain(); }, Qt::BlockingQueuedConnection);
    deliverSignals();
}

void RecordStore::retryNow()
{
    if (writer)
        QMetaObject::invokeMethod(
            writer, [w = writer] { w->retryNow(); }, Qt::QueuedConnection);
}

} // namespace movra::records
