#include "records/RecordStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlDatabase>
#include <QSysInfo>
#include <QThread>

#include "records/RecordRows.h"
#include "records/Schema.h"
#include "records/StoreWorker.h"

namespace movra::records {

namespace {

std::atomic<int> connections{0};

const QString kept = QStringLiteral("记录暂存在内存中，稍后自动重试。");

QString problemSentence(Problem kind, const QString &file, const QString &detail, int found)
{
    switch (kind) {
    case Problem::CannotOpen:
        return QStringLiteral("测试记录库 %1 无法打开（%2）。").arg(file, detail) + kept;
    case Problem::ReadOnly:
        return QStringLiteral("测试记录库 %1 是只读的，无法写入（%2）。").arg(file, detail) + kept;
    case Problem::Locked:
        return QStringLiteral("测试记录库 %1 被另一个程序锁住（%2）。").arg(file, detail) + kept;
    case Problem::Corrupt:
        return QStringLiteral("测试记录库 %1 已损坏（%2），本软件不再改动它。请把它移走或修复；"
                              "在此之前记录暂存在内存中。")
            .arg(file, detail);
    case Problem::DiskFull:
        return QStringLiteral("磁盘已满，测试记录库 %1 无法写入（%2）。记录暂存在内存中，"
                              "腾出空间后自动写入。")
            .arg(file, detail);
    case Problem::TooNew:
        return QStringLiteral("测试记录库 %1 由较新版本的软件写入（格式版本 %2，本软件只认识到 "
                              "%3），本软件不改动它。记录暂存在内存中。")
            .arg(file)
            .arg(found)
            .arg(schema::current);
    case Problem::NotRecords:
        return QStringLiteral("%1 不是测试记录库（其中有别的数据），本软件不改动它。"
                              "记录暂存在内存中。")
            .arg(file);
    default:
        return QStringLiteral("读写测试记录库 %1 出错（%2）。").arg(file, detail) + kept;
    }
}

// A file found corrupt or foreign is not touched again until it changes.
bool sticky(Problem kind)
{
    return kind == Problem::Corrupt || kind == Problem::TooNew || kind == Problem::NotRecords;
}

} // namespace

RecordStore::RecordStore(QObject *parent) : RecordStore(Options(), parent) {}

RecordStore::RecordStore(const Options &options, QObject *parent)
    : QObject(parent), options(options),
      connection(QStringLiteral("movra_records_%1").arg(++connections)),
      stationName(QSysInfo::machineHostName()),
      fresh(std::make_shared<std::atomic<bool>>(false))
{
    retryTimer.setSingleShot(true);
    connect(&retryTimer, &QTimer::timeout, this, &RecordStore::retryNow);
}

RecordStore::~RecordStore()
{
    close();
}

bool RecordStore::open(const QString &path)
{
    shutDown();
    filePath = path;
    retryDelay = 0;
    return openConnection();
}

void RecordStore::close()
{
    shutDown();
    central.reset();
    centralTarget.clear();
}

void RecordStore::shutDown()
{
    // A last chance for what was kept, when the file took writes again.
    while (writable && !pending.empty() && writeChunk()) {
    }
    stopWorker();
    closeConnection();
    retryTimer.stop();
    pending.clear();
    unit = QUuid();
    problemNow = Problem::None;
    problemMessage.clear();
    stuckAt.clear();
    dropped = 0;
    memoryFullSaid = false;
}

bool RecordStore::openConnection()
{
    closeConnection();
    const schema::Result opened = openFile();
    if (opened.problem != Problem::None) {
        if (!opened.readable)
            closeConnection();
        fail(opened.problem, opened.detail, opened.found);
        return false;
    }
    writable = true;
    startWorker();
    if (pending.empty() && problemNow == Problem::None)
        return true;
    flush();
    return writable;
}

schema::Result RecordStore::openFile()
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(filePath);
    // The GUI thread never waits for another writer: a busy file is a
    // problem to report and retry.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=0"));
    connected = db.open();
    if (!connected)
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
    q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // The worker checkpoints, so that no write here pays for one.
    q.exec(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
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

void RecordStore::closeConnection()
{
    writer.reset();
    writable = false;
    connected = false;
    if (QSqlDatabase::contains(connection)) {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
    }
}

void RecordStore::stamp(Record &r) const
{
    if (r.time.isNull()) {
        const QDateTime now = QDateTime::currentDateTime();
        r.time = now.toUTC();
        r.utcOffset = now.offsetFromUtc();
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

void RecordStore::add(const Reading &reading)
{
    append(Record{{}, unit, {}, 0, {}, {}, reading});
}

void RecordStore::add(const ParameterWrite &write)
{
    append(Record{{}, unit, {}, 0, {}, {}, write});
}

void RecordStore::add(const BatchRead &batch)
{
    append(Record{{}, unit, {}, 0, {}, {}, batch});
}

void RecordStore::unitEnded(const Disconnect &disconnect)
{
    append(Record{{}, unit, {}, 0, {}, {}, disconnect});
    unit = QUuid();
}

void RecordStore::append(Record record)
{
    stamp(record);
    if (writable && pending.empty() && writeNow(record))
        return;
    keep(record);
    if (!flushQueued && nextRetry.hasExpired())
        retryNow();
}

bool RecordStore::writeNow(const Record &record)
{
    const QSqlError error = writeSome({&record});
    if (error.isValid()) {
        fail(classifySqlite(error), error.text());
        return false;
    }
    wakeWorker();
    return true;
}

// The error that stopped the write, none when the records went in. A record
// the file refuses for what it holds is skipped, not retried for ever.
QSqlError RecordStore::writeSome(const QVector<const Record *> &records)
{
    // Transactions by statement: QSqlDatabase::commit() drops SQLite's error
    // code, and a full disk would read as some other error.
    QSqlQuery control(QSqlDatabase::database(connection, false));
    const auto *attempt = std::get_if<Attempt>(&records.at(0)->data);
    // A unit's row and its first record go in together.
    const bool together = records.size() > 1 || (attempt && attempt->ok);
    if (together && !control.exec(QStringLiteral("BEGIN")))
        return control.lastError();
    for (const Record *r : records) {
        if (writer->write(*r))
            continue;
        const QSqlError error = writer->lastError();
        if (!isRecordError(error)) {
            if (together)
                control.exec(QStringLiteral("ROLLBACK"));
            return error;
        }
        refused(error.text());
    }
    if (together && !control.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = control.lastError();
        control.exec(QStringLiteral("ROLLBACK"));
        return error;
    }
    return QSqlError();
}

void RecordStore::refused(const QString &why)
{
    ++rejected;
    if (rejectedSaid)
        return;
    rejectedSaid = true;
    emit problem(QStringLiteral("一条测试记录无法存入记录库 %1（%2），已跳过。")
                     .arg(QDir::toNativeSeparators(filePath), why.trimmed()));
}

void RecordStore::keep(const Record &record)
{
    if (int(pending.size()) < options.memoryBound) {
        pending.push_back(record);
        return;
    }
    ++dropped;
    if (!memoryFullSaid) {
        memoryFullSaid = true;
        emit problem(QStringLiteral("测试记录库不可用期间暂存在内存中的记录已达上限 %1 条；"
                                    "记录库恢复之前，之后的记录不再保存。")
                         .arg(options.memoryBound));
    }
}

void RecordStore::retryNow()
{
    flushQueued = false;
    if (filePath.isEmpty())
        return;
    if (sticky(problemNow) && fileUnchanged()) {
        scheduleRetry();
        return;
    }
    if (!writable) {
        openConnection();
        return;
    }
    flush();
}

bool RecordStore::writeChunk()
{
    const int chunk = qMin(int(pending.size()), options.flushChunk);
    QVector<const Record *> records;
    records.reserve(chunk);
    for (int i = 0; i < chunk; ++i)
        records << &pending[size_t(i)];
    const QSqlError error = writeSome(records);
    if (error.isValid()) {
        fail(classifySqlite(error), error.text());
        return false;
    }
    pending.erase(pending.begin(), pending.begin() + chunk);
    written += chunk;
    wakeWorker();
    return true;
}

// Writes what was kept, a chunk per turn of the event loop so that a long
// backlog does not freeze the window.
void RecordStore::flush()
{
    if (!pending.empty() && !writeChunk())
        return;
    if (!pending.empty()) {
        flushQueued = true;
        QTimer::singleShot(0, this, &RecordStore::retryNow);
        return;
    }
    if (problemNow != Problem::None) {
        QString text = QStringLiteral("测试记录库 %1 已恢复，补写了暂存的 %2 条记录。")
                           .arg(QDir::toNativeSeparators(filePath))
                           .arg(written);
        if (dropped > 0)
            text += QStringLiteral("另有 %1 条因超过暂存上限而丢失。").arg(dropped);
        problemNow = Problem::None;
        problemMessage.clear();
        stuckAt.clear();
        dropped = 0;
        written = 0;
        memoryFullSaid = false;
        emit recovered(text);
    }
    retryDelay = 0;
    nextRetry = QDeadlineTimer();
    retryTimer.stop();
}

void RecordStore::fail(Problem kind, const QString &detail, int found)
{
    if (kind == Problem::Corrupt || kind == Problem::CannotOpen || kind == Problem::IoError)
        closeConnection();
    writable = false;
    if (sticky(kind))
        stuckAt = fingerprint();
    if (kind != problemNow) {
        if (problemNow == Problem::None)
            written = 0;
        problemNow = kind;
        problemMessage =
            problemSentence(kind, QDir::toNativeSeparators(filePath), detail.trimmed(), found);
        emit problem(problemMessage);
    }
    scheduleRetry();
}

void RecordStore::scheduleRetry()
{
    retryDelay = retryDelay == 0 ? options.retryFirstMs
                                 : qMin(retryDelay * 2, options.retryMaxMs);
    nextRetry = QDeadlineTimer(retryDelay);
    retryTimer.start(retryDelay);
}

QString RecordStore::fingerprint() const
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return QString();
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

bool RecordStore::fileUnchanged() const
{
    return fingerprint() == stuckAt;
}

} // namespace movra::records
