#include "records/StoreWriter.h"
#include "records/RecordText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStorageInfo>
#include <atomic>
#include <utility>

#include "records/RecordRows.h"
#include "records/Schema.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

QString problemSentence(Problem kind, const QString &file, const QString &detail, int found)
{
    const QString kept = RecordsText::tr("记录暂存在内存中，稍后自动重试。");
    switch (kind) {
    case Problem::CannotOpen:
        return RecordsText::tr("测试记录库 %1 无法打开（%2）。").arg(file, detail) + kept;
    case Problem::ReadOnly:
        return RecordsText::tr("测试记录库 %1 是只读的，无法写入（%2）。").arg(file, detail) + kept;
    case Problem::Locked:
        return RecordsText::tr("测试记录库 %1 被另一个程序锁住（%2）。").arg(file, detail) + kept;
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
        return RecordsText::tr("读写测试记录库 %1 出错（%2）。").arg(file, detail) + kept;
    }
}

// A file found corrupt or foreign is not touched again until it changes.
bool sticky(Problem kind)
{
    return kind == Problem::Corrupt || kind == Problem::TooNew || kind == Problem::NotRecords;
}

// SQLite makes the -shm file with the permissions the database has at the
// time, and keeps using it: after a stretch as a read-only file, it would
// refuse writes even once the database is writable again.
void matchSideFiles(const QString &path)
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

QString fingerprint(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

StoreWriter::StoreWriter(const QString &path, const RecordStore::Options &options)
    : path(path), options(options),
      connection(QStringLiteral("movra_records_writer_%1").arg(++connections)), timer(this),
      retry(options.retryFirstMs, options.retryMaxMs)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, [this] { writer ? write() : retryNow(); });
}

StoreWriter::~StoreWriter() = default;

bool StoreWriter::push(const Record &record)
{
    QMutexLocker locked(&lock);
    if (int(incoming.size()) + pendingCount >= options.memoryBound)
        return false;
    incoming.push_back(record);
    if (!std::exchange(turnPosted, true))
        QMetaObject::invokeMethod(this, &StoreWriter::turn, Qt::QueuedConnection);
    return true;
}

int StoreWriter::queued() const
{
    QMutexLocker locked(&lock);
    return int(incoming.size()) + pendingCount;
}

bool StoreWriter::open()
{
    closeConnection();
    matchSideFiles(path);
    const schema::Result opened = openFile();
    timer.stop();
    if (opened.problem == Problem::None)
        return true;
    if (!opened.readable)
        closeConnection();
    fail(opened.problem, opened.detail, opened.found);
    return false;
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
    auto rows = std::make_unique<rows::Writer>(db);
    if (!rows->prepare())
        return schema::Result{classifySqlite(rows->lastError()), rows->lastError().text(),
                              schema::current, true};
    writer = std::move(rows);
    return prepared;
}

void StoreWriter::closeConnection()
{
    writer.reset();
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

// One chunk per turn of the event loop, so that a stop or a retry gets in
// between the chunks of a long backlog.
void StoreWriter::turn()
{
    {
        QMutexLocker locked(&lock);
        turnPosted = false;
    }
    if (!writer) {
        // The next record is a chance to try again, once the wait is over.
        if (retry.next.hasExpired())
            retryNow();
        return;
    }
    // A commit costs more than the records it carries: they wait for the
    // next ones unless they make a chunk.
    if (options.commitDelayMs > 0 && queued() < options.flushChunk) {
        if (!timer.isActive())
            timer.start(options.commitDelayMs);
        return;
    }
    write();
}

void StoreWriter::write()
{
    timer.stop();
    if (!writer || !writeChunk() || queued() == 0)
        return;
    QMutexLocker locked(&lock);
    if (!std::exchange(turnPosted, true))
        QMetaObject::invokeMethod(this, &StoreWriter::turn, Qt::QueuedConnection);
}

void StoreWriter::drain()
{
    if (!writer)
        return;
    timer.stop(); // the commit is now
    while (writer && writeChunk() && queued() > 0) {
    }
}

int StoreWriter::finish()
{
    if (queued() > 0)
        retryNow();
    drain();
    timer.stop();
    closeConnection();
    return queued();
}

void StoreWriter::retryNow()
{
    if (sticky(problemNow) && fingerprint(path) == stuckAt)
        backOff();
    else if (writer || open())
        turn();
}

bool StoreWriter::writeChunk()
{
    {
        QMutexLocker locked(&lock);
        std::move(incoming.begin(), incoming.end(), std::back_inserter(pending));
        incoming.clear();
        pendingCount = int(pending.size());
    }
    const size_t n = std::min(pending.size(), size_t(options.flushChunk));
    if (n > 0) {
        const QSqlError error = writeSome(n);
        if (error.isValid()) {
            fail(classifySqlite(error), error.text());
            return false;
        }
        pending.erase(pending.begin(), pending.begin() + long(n));
        pendingCount = int(pending.size());
        lastSeq = qMax(lastSeq.load(), writer->lastSeq());
        written += int(n);
        emit wrote();
    }
    if (problemNow != Problem::None && queued() == 0) {
        problemNow = Problem::None;
        stuckAt.clear();
        retry.reset();
        emit recovered(QDir::toNativeSeparators(path), written);
    }
    return true;
}

// The error that stopped the write, none when the records went in. A record
// the file refuses for what it holds is skipped, not retried for ever.
QSqlError StoreWriter::writeSome(size_t count)
{
    // Transactions by statement: QSqlDatabase::commit() drops SQLite's error
    // code, and a full disk would read as some other error.
    QSqlQuery control(QSqlDatabase::database(connection, false));
    if (!control.exec(QStringLiteral("BEGIN")))
        return control.lastError();
    for (size_t i = 0; i < count; ++i) {
        if (writer->write(pending[i]))
            continue;
        const QSqlError error = writer->lastError();
        if (!isRecordError(error)) {
            control.exec(QStringLiteral("ROLLBACK"));
            return error;
        }
        const QString why = error.text().trimmed();
        if (!std::exchange(refusedSaid, true))
            emit problem(int(Problem::None),
                         RecordsText::tr("一条测试记录无法存入记录库 %1（%2），已跳过。")
                             .arg(QDir::toNativeSeparators(path), why),
                         why, 0);
    }
    if (!control.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = control.lastError();
        control.exec(QStringLiteral("ROLLBACK"));
        return error;
    }
    return QSqlError();
}

void StoreWriter::fail(Problem kind, const QString &detail, int found)
{
    // SQLite says only "disk I/O error" when the disk is too full for the
    // WAL's shared memory.
    if (kind == Problem::IoError &&
        QStorageInfo(QFileInfo(path).absolutePath()).bytesAvailable() < 65536)
        kind = Problem::DiskFull;
    writer.reset();
    if (kind == Problem::Corrupt || kind == Problem::CannotOpen || kind == Problem::IoError)
        closeConnection();
    if (sticky(kind))
        stuckAt = fingerprint(path);
    if (kind != problemNow) {
        if (problemNow == Problem::None)
            written = 0;
        problemNow = kind;
        // Closing the window cannot ask first, so the operator is told now.
        emit problem(
            int(kind),
            problemSentence(kind, QDir::toNativeSeparators(path), detail.trimmed(), found) +
                RecordsText::tr("关闭本软件时仍未写入的记录将丢失。"),
            detail.trimmed(), found);
    }
    backOff();
}

void StoreWriter::backOff()
{
    if (retry.failed() > 0)
        timer.start(retry.delay);
}

} // namespace movra::records
