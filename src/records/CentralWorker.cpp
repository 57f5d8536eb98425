#include "records/CentralWorker.h"
#include "records/RecordText.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>
#include <atomic>
#include <utility>

#include "records/CentralCopy.h"
#include "records/RecordRows.h"

namespace movra::records {

namespace {
std::atomic<int> connections{0};
constexpr int batchSize = 500;
constexpr int debounceMs = 100;
// Another run of the tool may have left records waiting.
constexpr int idlePollMs = 5000;
} // namespace

CentralWorker::CentralWorker(const QString &localPath, const CentralUrl &url, const Backoff &retry)
    : localPath(localPath), localName(QStringLiteral("movra_records_copy_%1").arg(++connections)),
      centralName(localName + QStringLiteral("_central")), url(url), timer(this), retry(retry)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &CentralWorker::tick);
}

void CentralWorker::wake()
{
    copyDue = true;
    if (!stopped && (!timer.isActive() || timer.remainingTime() > debounceMs))
        timer.start(qMax(debounceMs, retry.left()));
}

void CentralWorker::copyNow()
{
    copyDue = true;
    if (!stopped)
        timer.start(retry.left());
}

void CentralWorker::reopen()
{
    // A connection to a file moved aside would read it, and its position, for ever.
    central::close(localName);
    cursor = -1;
    wake();
}

void CentralWorker::stop()
{
    stopped = true;
    timer.stop();
    central::close(centralName);
    central::close(localName);
}

void CentralWorker::tick()
{
    if (stopped)
        return;
    if (retry.next.hasExpired())
        copyRound();
    timer.start(copyDue ? retry.left() : qMax(retry.left(), idlePollMs));
}

void CentralWorker::copyRound()
{
    QString why;
    if (!QSqlDatabase::contains(centralName) && !central::open(url, centralName, &why, true))
        return failed(Problem::CentralUnreachable, why);
    if (!QSqlDatabase::contains(localName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), localName);
        db.setDatabaseName(localPath);
        // Not the GUI thread: it may wait for the writer to finish a commit.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    }
    const QSqlDatabase local = QSqlDatabase::database(localName);
    QVector<Record> batch;
    const auto collect = [&batch](const Record &r) {
        batch << r;
        return true;
    };
    // The store reports its own file's troubles.
    if (!local.isOpen() || (cursor < 0 && !readCursor(local)) ||
        !rows::readRecords(local, QStringLiteral(" WHERE r.seq > ? ORDER BY r.seq LIMIT ?"),
                           {cursor, batchSize}, collect))
        return failed(Problem::None, QString());
    if (!batch.isEmpty() && !central::copy(url, centralName, batch, &why)) {
        const bool answers = [this] {
            QSqlQuery ping(QSqlDatabase::database(centralName, false));
            return ping.exec(QStringLiteral("SELECT 1")) && ping.next();
        }();
        central::close(centralName);
        return failed(answers ? Problem::CentralRejected : Problem::CentralUnreachable, why);
    }
    if (std::exchange(centralProblem, Problem::None) != Problem::None)
        emit recovered(
            RecordsText::tr("中央记录库 %1 已恢复连接，继续上传记录。").arg(url.redacted()));
    retry.reset();
    copyDue = batch.size() == batchSize;
    if (!batch.isEmpty()) {
        cursor = batch.constLast().seq;
        keepPosition(local);
    }
    report(cursor, QString());
}

bool CentralWorker::readCursor(const QSqlDatabase &local)
{
    QSqlQuery q(local);
    q.prepare(QStringLiteral("SELECT last_seq FROM copy_state WHERE target = ?"));
    q.addBindValue(url.target());
    if (!q.exec())
        return false;
    cursor = q.next() ? q.value(0).toLongLong() : 0;
    return true;
}

// If this fails the records are sent again next time, which the central
// database takes without doubling them.
void CentralWorker::keepPosition(const QSqlDatabase &local)
{
    QSqlQuery q(local);
    q.prepare(QStringLiteral("INSERT INTO copy_state(target, last_seq) VALUES (?, ?) "
                             "ON CONFLICT(target) DO UPDATE SET "
                             "last_seq = max(last_seq, excluded.last_seq)"));
    q.addBindValue(url.target());
    q.addBindValue(cursor);
    q.exec();
}

void CentralWorker::report(qint64 copied, const QString &why)
{
    QMutexLocker locked(&stateLock);
    if (copied >= 0)
        copiedSeq = copied;
    lastWhy = why;
    stateChanged.wakeAll();
}

QString CentralWorker::waitCopied(qint64 seq, QDeadlineTimer deadline)
{
    QMutexLocker locked(&stateLock);
    // A round that failed last stands until the next one: the back-off may
    // be longer than the caller can wait.
    while (copiedSeq < seq && lastWhy.isEmpty() && stateChanged.wait(&stateLock, deadline)) {
    }
    if (copiedSeq >= seq)
        return QString();
    return lastWhy.isEmpty() ? QStringLiteral("no answer in time") : lastWhy;
}

// Reports the problem once and backs off. Problem::None: a failure that is
// not the central database's, backed off without a word.
void CentralWorker::failed(Problem kind, const QString &detail)
{
    retry.failed();
    copyDue = true;
    const QString where = url.redacted();
    report(-1, kind == Problem::None ? QStringLiteral("the local file cannot be read")
                                     : QStringLiteral("%1: %2").arg(where, detail));
    if (kind == Problem::None || kind == centralProblem)
        return;
    centralProblem = kind;
    emit problem(kind == Problem::CentralUnreachable
                     ? RecordsText::tr("中央记录库 %1 无法连接（%2）。记录保留在本地，恢复后补传。")
                           .arg(where, detail)
                     : RecordsText::tr("中央记录库 %1 不接受记录（%2）。记录保留在本地，稍后重试。")
                           .arg(where, detail));
}

} // namespace movra::records
