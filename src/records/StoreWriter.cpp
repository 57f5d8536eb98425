#include "records/StoreWriter.h"
#include "records/RecordText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStorageInfo>
#include <atomic>

#include "records/RecordRows.h"
#include "records/Schema.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

QString keptText()
{
    return RecordsText::tr("记录暂存在内存中，稍后自动重试。");
}

QString problemSentence(Problem kind, const QString &file, const QString &detail, int found)
{
    switch (kind) {
    case Problem::CannotOpen:
        return RecordsText::tr("测试记录库 %1 无法打开（%2）。").arg(file, detail) + keptText();
    case Problem::ReadOnly:
        return RecordsText::tr("测试记录库 %1 是只读的，无法写入（%2）。").arg(file, detail) +
               keptText();
    case Problem::Locked:
        return RecordsText::tr("测试记录库 %1 被另一个程序锁住（%2）。").arg(file, detail) +
               keptText();
    case Problem::Corrupt:
        return RecordsText::tr("测试记录库 %1 已损坏（%2），本软件不再改动它。请把它移走或修复；"
                               "在此之前记录暂存在内存中。")
            .arg(file, detail);
    case Problem::DiskFull:
        return RecordsText::tr("磁盘已满，测试记录库 %1 无法写入（%2）。记录暂存在内存中，"
                               "腾出空间后自动写入。")
            .arg(file, detail);
    case Problem::TooNew:
        return RecordsText::tr("测试记录库 %1 由较新版本的软件写入（格式版本 %2，本软件只认识到 "
                               "%3），本软件不改动它。记录暂存在内存中。")
            .arg(file)
            .arg(found)
            .arg(schema::current);
    case Problem::NotRecords:
        return RecordsText::tr("%1 不是测试记录库（其中有别的数据），本软件不改动它。"
                               "记录暂存在内存中。")
            .arg(file);
    default:
        return RecordsText::tr("读写测试记录库 %1 出错（%2）。").arg(file, detail) + keptText();
    }
}

// A file found corrupt or foreign is not touched again until it changes.
bool sticky(Problem kind)
{
    return kind == Problem::Corrupt || kind == Problem::TooNew || kind == Problem::NotRecords;
}

} // namespace

StoreWriter::StoreWriter(const QString &path, const Options &options)
    : path(path), options(options),
      connection(QStringLiteral("movra_records_writer_%1").arg(++connections)), retryTimer(this),
      commitTimer(this)
{
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &StoreWriter::retryNow);
    commitTimer.setSingleShot(true);
    connect(&commitTimer, &QTimer::timeout, this, &StoreWriter::commitNow);
}

StoreWriter::~StoreWriter() = default;

bool StoreWriter::push(const Record &record)
{
    QMutexLocker locked(&lock);
    if (int(incoming.size()) + pendingCount.load() >= options.memoryBound)
        return false;
    incoming.push_back(record);
    // While records wait for their shared commit, a new one joins them
    // without waking the writer, unless they make a whole chunk.
    const bool full = int(incoming.size()) + pendingCount.load() >= options.flushChunk;
    if (!wakePosted && (!commitArmed || full)) {
        wakePosted = true;
        QMetaObject::invokeMethod(this, &StoreWriter::turn, Qt::QueuedConnection);
    }
    return true;
}

void StoreWriter::commitNow()
{
    commitDue = true;
    turn();
}

int StoreWriter::queued() const
{
    QMutexLocker locked(&lock);
    return int(incoming.size()) + pendingCount.load();
}

void StoreWriter::take()
{
    QMutexLocker locked(&lock);
    if (pending.empty())
        pending.swap(incoming);
    else
        std::move(incoming.begin(), incoming.end(), std::back_inserter(pending));
    incoming.clear();
    pendingCount = int(pending.size());
}

Problem StoreWriter::open()
{
    retryDelay = 0;
    return openConnection() ? Problem::None : problemNow;
}

bool StoreWriter::openConnection()
{
    closeConnection();
    matchSideFiles();
    const schema::Result opened = openFile();
    if (opened.problem != Problem::None) {
        if (!opened.readable)
            closeConnection();
        fail(opened.problem, opened.detail, opened.found);
        return false;
    }
    writable = true;
    return true;
}

schema::Result StoreWriter::openFile()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    // Rides out a short lock by another connection; a longer one is a
    // problem to report and retry.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=100"));
    if (!db.open())
        return schema::Result{classifySqlite(db.lastError()), db.lastError().text(), 0, false};
    const schema::Result prepared = schema::prepare(db);
    if (prepared.problem != Problem::None)
        return prepared;
    QSqlQuery q(db);
    // A read-only or locked file opens and reads fine: a write that changes
    // nothing finds out now rather than at the first record.
    if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")) ||
        !q.exec(QStringLiteral("DELETE FROM copy_state WHERE 0"))) {
        const QSqlError error = q.lastError();
        q.exec(QStringLiteral("ROLLBACK"));
        return schema::Result{classifySqlite(error), error.text(), schema::current, true};
    }
    q.exec(QStringLiteral("ROLLBACK"));
    // Survives a crash of the tool; the last second may be lost to a power
    // cut, the file is never damaged by one.
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    if (options.sizeLimit > 0 && q.exec(QStringLiteral("PRAGMA page_size")) && q.next()) {
        const qint64 pages = options.sizeLimit / qMax(1, q.value(0).toInt());
        q.exec(QStringLiteral("PRAGMA max_page_count=%1").arg(qMax<qint64>(1, pages)));
    }
    writer = std::make_unique<rows::Writer>(db);
    if (!writer->prepare())
        return schema::Result{classifySqlite(writer->lastError()), writer->lastError().text(),
                              schema::current, true};
    return prepared;
}

// SQLite makes the -shm file with the permissions the database has at the
// time, and keeps using it: after a stretch as a read-only file, it would
// refuse writes even once the database is writable again.
void StoreWriter::matchSideFiles()
{
    const QFileInfo db(path);
    if (!db.exists() || !db.isWritable())
        return;
    for (const char *suffix : {"-shm", "-wal"}) {
        const QFileInfo side(path + QLatin1String(suffix));
        if (side.exists() && !side.isWritable())
            QFile::setPermissions(side.filePath(), db.permissions());
    }
}

void StoreWriter::closeConnection()
{
    writer.reset();
    writable = false;
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

void StoreWriter::stop()
{
    retryTimer.stop();
    closeConnection();
}

// One chunk per turn of the event loop, so that a long backlog lets a stop
// or a retry in between.
void StoreWriter::turn()
{
    {
        QMutexLocker locked(&lock);
        wakePosted = false;
    }
    if (!writable) {
        // The next record is a chance to try again, once the wait is over.
        if (nextRetry.hasExpired())
            retryNow();
        return;
    }
    if (options.commitDelayMs > 0 && !commitDue && queued() < options.flushChunk) {
        QMutexLocker locked(&lock);
        if (!commitArmed) {
            commitArmed = true;
            commitTimer.start(options.commitDelayMs);
        }
        return;
    }
    {
        QMutexLocker locked(&lock);
        commitArmed = false;
    }
    commitDue = false;
    commitTimer.stop();
    if (!writeChunk())
        return;
    QMutexLocker locked(&lock);
    if ((!incoming.empty() || !pending.empty()) && !wakePosted) {
        wakePosted = true;
        QMetaObject::invokeMethod(this, &StoreWriter::turn, Qt::QueuedConnection);
    }
}

void StoreWriter::drain()
{
    {
        QMutexLocker locked(&lock);
        commitArmed = false;
    }
    commitTimer.stop();
    while (writable && writeChunk() && queued() > 0) {
    }
}

void StoreWriter::retryNow()
{
    if (sticky(problemNow) && fingerprint() == stuckAt) {
        scheduleRetry();
        return;
    }
    if (!writable && !openConnection())
        return;
    turn();
}

bool StoreWriter::writeChunk()
{
    take();
    const size_t n = std::min(pending.size(), size_t(options.flushChunk));
    if (n > 0) {
        const QSqlError error = writeSome(pending, n);
        if (error.isValid()) {
            fail(classifySqlite(error), error.text());
            return false;
        }
        pending.erase(pending.begin(), pending.begin() + long(n));
        lastSeq = qMax(lastSeq.load(), writer->lastSeq());
        pendingCount = int(pending.size());
        if (problemNow != Problem::None)
            written += int(n);
        emit wrote();
    }
    if (queued() == 0 && problemNow != Problem::None) {
        problemNow = Problem::None;
        stuckAt.clear();
        retryDelay = 0;
        nextRetry = QDeadlineTimer();
        retryTimer.stop();
        emit recovered(QDir::toNativeSeparators(path), written);
    }
    return true;
}

// The error that stopped the write, none when the records went in. A record
// the file refuses for what it holds is skipped, not retried for ever.
QSqlError StoreWriter::writeSome(const std::deque<Record> &records, size_t count)
{
    // Transactions by statement: QSqlDatabase::commit() drops SQLite's error
    // code, and a full disk would read as some other error.
    QSqlQuery control(QSqlDatabase::database(connection, false));
    if (!control.exec(QStringLiteral("BEGIN")))
        return control.lastError();
    for (size_t i = 0; i < count; ++i) {
        if (writer->write(records[i]))
            continue;
        const QSqlError error = writer->lastError();
        if (!isRecordError(error)) {
            control.exec(QStringLiteral("ROLLBACK"));
            return error;
        }
        refused(error.text());
    }
    if (!control.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = control.lastError();
        control.exec(QStringLiteral("ROLLBACK"));
        return error;
    }
    return QSqlError();
}

void StoreWriter::refused(const QString &why)
{
    if (refusedSaid)
        return;
    refusedSaid = true;
    emit problem(int(Problem::None),
                 RecordsText::tr("一条测试记录无法存入记录库 %1（%2），已跳过。")
                     .arg(QDir::toNativeSeparators(path), why.trimmed()),
                 why.trimmed(), 0);
}

void StoreWriter::fail(Problem kind, const QString &detail, int found)
{
    // SQLite says only "disk I/O error" when the disk is too full for the
    // WAL's shared memory.
    if (kind == Problem::IoError &&
        QStorageInfo(QFileInfo(path).absolutePath()).bytesAvailable() < 65536)
        kind = Problem::DiskFull;
    if (kind == Problem::Corrupt || kind == Problem::CannotOpen || kind == Problem::IoError)
        closeConnection();
    writable = false;
    if (sticky(kind))
        stuckAt = fingerprint();
    if (kind != problemNow) {
        if (problemNow == Problem::None)
            written = 0;
        problemNow = kind;
        emit problem(int(kind),
                     problemSentence(kind, QDir::toNativeSeparators(path), detail.trimmed(), found),
                     detail.trimmed(), found);
    }
    scheduleRetry();
}

void StoreWriter::scheduleRetry()
{
    retryDelay = retryDelay == 0 ? options.retryFirstMs : qMin(retryDelay * 2, options.retryMaxMs);
    nextRetry = QDeadlineTimer(retryDelay);
    if (retryDelay > 0)
        retryTimer.start(retryDelay);
}

QString StoreWriter::fingerprint() const
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

} // namespace movra::records
