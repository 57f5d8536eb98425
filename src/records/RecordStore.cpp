#include "records/RecordStore.h"
#include "records/RecordText.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <atomic>

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

RecordStore::RecordStore(const Options &options)
    : options(options), reader(QStringLiteral("movra_records_reader_%1").arg(++connections)),
      stationName(QSysInfo::machineHostName())
{
}

RecordStore::~RecordStore()
{
    close();
}

bool RecordStore::open(const QString &path)
{
    openLater(path);
    waitForWrites();
    return trouble.kind == Problem::None;
}

void RecordStore::openLater(const QString &path)
{
    shutDown();
    filePath = readPath = path;
    startWriter();
    startWorker();
}

bool RecordStore::openReadOnly(const QString &path)
{
    shutDown();
    filePath = readPath = path;
    schema::Result found = inspectReader();
    if (found.problem == Problem::CannotOpen || found.problem == Problem::IoError) {
        // In a folder it cannot write, or on a full disk, SQLite cannot make
        // the side files a WAL file is read with. A file nobody writes can
        // do without them, but records still in its WAL would go unseen:
        // those are read from a copy.
        const bool walLeft = QFileInfo(path + QLatin1String("-wal")).size() > 0;
        immutable = !walLeft;
        found = walLeft ? migratedCopy() : inspectReader();
    }
    if (found.problem == Problem::None && found.found < schema::current && !migrated)
        found = migratedCopy();
    if (found.problem == Problem::None)
        return true;
    closeReader();
    trouble = {found.problem, QString(), found.detail, found.found};
    return false;
}

schema::Result RecordStore::inspectReader()
{
    openReader();
    QSqlDatabase db = QSqlDatabase::database(reader, false);
    if (!connected)
        return schema::Result{classifySqlite(db.lastError()), db.lastError().text()};
    return migrated ? schema::prepare(db) : schema::inspect(db);
}

// The file as this version reads it, in a folder of its own; the file
// itself is left as it is.
schema::Result RecordStore::migratedCopy()
{
    closeReader();
    migrated = std::make_unique<QTemporaryDir>();
    immutable = false;
    readPath = migrated->filePath(QStringLiteral("records.sqlite"));
    for (const char *suffix : {"", "-wal"}) {
        const QString from = filePath + QLatin1String(suffix);
        if (QFile::exists(from) && !QFile::copy(from, readPath + QLatin1String(suffix)))
            return schema::Result{
                Problem::CannotOpen,
                QStringLiteral("cannot copy %1 to %2").arg(from, migrated->path())};
    }
    QFile::setPermissions(readPath, QFile::ReadOwner | QFile::WriteOwner);
    return inspectReader();
}

void RecordStore::openReader() const
{
    closeReader();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
    // Reads never change the file, nor its journal mode; a migrated copy is
    // the store's own.
    if (immutable) {
        db.setDatabaseName(QUrl::fromLocalFile(readPath).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?immutable=1"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    } else {
        db.setDatabaseName(readPath);
        if (!migrated)
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
    if (!store->connected && !store->filePath.isEmpty() && readable(store->trouble.kind))
        store->openReader();
    if (store->connected)
        db = QSqlDatabase::database(store->reader, false);
}

RecordStore::Read::~Read()
{
    db = QSqlDatabase();
    if (store->trouble.kind != Problem::None)
        store->closeReader();
}

void RecordStore::writerProblem(int kind, const QString &text, const QString &detail, int found)
{
    if (Problem(kind) != Problem::None)
        trouble = {Problem(kind), text, detail, found};
    emit problem(text);
}

void RecordStore::writerRecovered(const QString &file, int written)
{
    QString text =
        RecordsText::tr("测试记录库 %1 已恢复，补写了暂存的 %2 条记录。").arg(file).arg(written);
    if (dropped > 0)
        text += RecordsText::tr("另有 %1 条因超过暂存上限而丢失。").arg(dropped);
    trouble = Trouble();
    dropped = 0;
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

void RecordStore::append(Record record)
{
    if (!writer)
        return;
    stamp(record);
    if (!writer->push(record) && ++dropped == 1)
        emit problem(RecordsText::tr("测试记录库不可用期间暂存在内存中的记录已达上限 %1 条；"
                                     "记录库恢复之前，之后的记录不再保存。")
                         .arg(options.memoryBound));
}

int RecordStore::keptInMemory() const
{
    return writer ? writer->queued() : 0;
}

void RecordStore::waitForWrites()
{
    if (!writer)
        return;
    QMetaObject::invokeMethod(writer, &StoreWriter::drain, Qt::BlockingQueuedConnection);
    // What the writer said meanwhile, now rather than at the next turn of
    // the event loop.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void RecordStore::retryNow()
{
    if (writer)
        QMetaObject::invokeMethod(writer, &StoreWriter::retryNow, Qt::QueuedConnection);
}

} // namespace movra::records
