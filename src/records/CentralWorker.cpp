#include "records/CentralWorker.h"
#include "records/RecordText.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>

#include "records/CentralCopy.h"

namespace movra::records {

namespace {
std::atomic<int> connections{0};
constexpr int batchSize = 500;
constexpr int debounceMs = 100;
// Another run of the tool may have left records waiting.
constexpr int idlePollMs = 5000;
} // namespace

CentralWorker::CentralWorker(const QString &localPath, const CentralUrl &url, const Timing &timing)
    : localPath(localPath), localName(QStringLiteral("movra_records_copy_%1").arg(++connections)),
      timing(timing), timer(this), central(std::make_unique<CentralCopy>(url))
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &CentralWorker::tick);
}

CentralWorker::~CentralWorker() = default;

void CentralWorker::start()
{
    timer.start(0);
}

void CentralWorker::wake()
{
    if (stopped)
        return;
    copyDue = true;
    if (!timer.isActive() || timer.remainingTime() > debounceMs)
        timer.start(qMax<qint64>(debounceMs, nextTry.remainingTime()));
}

void CentralWorker::copyNow()
{
    if (stopped)
        return;
    copyDue = true;
    timer.start(int(qMax<qint64>(0, nextTry.remainingTime())));
}

void CentralWorker::stop()
{
    stopped = true;
    timer.stop();
    central->disconnect();
    if (QSqlDatabase::contains(localName)) {
        QSqlDatabase::database(localName, false).close();
        QSqlDatabase::removeDatabase(localName);
    }
}

bool CentralWorker::openLocal()
{
    if (QSqlDatabase::contains(localName))
        return QSqlDatabase::database(localName, false).isOpen();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), localName);
    db.setDatabaseName(localPath);
    // Not the GUI thread: it may wait for the writer to finish a commit.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (db.open())
        return true;
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(localName);
    return false;
}

void CentralWorker::tick()
{
    if (stopped)
        return;
    if (nextTry.hasExpired())
        copyRound();
    const qint64 backOff = qMax<qint64>(0, nextTry.remainingTime());
    timer.start(int(copyDue ? backOff : qMax<qint64>(backOff, idlePollMs)));
}

void CentralWorker::copyRound()
{
    QString why;
    if (!central->isConnected() && !central->connect(&why)) {
        failed(Problem::CentralUnreachable, why);
        return;
    }
    if (!openLocal()) {
        failed(Problem::None, QString());
        return;
    }
    QSqlDatabase local = QSqlDatabase::database(localName, false);
    if (cursor < 0) {
        QSqlQuery q(local);
        q.prepare(QStringLiteral("SELECT last_seq FROM copy_state WHERE target = ?"));
        q.addBindValue(central->url().target());
        if (!q.exec()) {
            failed(Problem::None, QString());
            return;
        }
        cursor = q.next() ? q.value(0).toLongLong() : 0;
        kept = cursor;
    }
    const CentralCopy::Result result = central->copy(local, cursor, batchSize);
    if (result.failed == CentralCopy::Failed::Local) {
        // The store reports its own file's troubles.
        failed(Problem::None, QString());
        return;
    }
    if (result.failed == CentralCopy::Failed::Central) {
        const Problem kind =
            central->answers() ? Problem::CentralRejected : Problem::CentralUnreachable;
        central->disconnect();
        failed(kind, result.why);
        return;
    }
    if (centralProblem != Problem::None) {
        centralProblem = Problem::None;
        emit recovered(RecordsText::tr("中央记录库 %1 已恢复连接，继续上传记录。")
                           .arg(central->url().redacted()));
    }
    retryDelay = 0;
    nextTry = QDeadlineTimer();
    copyDue = result.copied == batchSize;
    if (result.copied > 0)
        cursor = result.lastSeq;
    keepPosition();
    report(cursor, QString());
}

void CentralWorker::report(qint64 copied, const QString &why)
{
    QMutexLocker locked(&stateLock);
    if (copied >= 0)
        copiedSeq = copied;
    failedRound = !why.isEmpty();
    lastWhy = why;
    stateChanged.wakeAll();
}

QString CentralWorker::waitCopied(qint64 seq, QDeadlineTimer deadline)
{
    QMutexLocker locked(&stateLock);
    // A round that failed last stands until the next one: the back-off may
    // be longer than the caller can wait.
    while (copiedSeq < seq && !failedRound) {
        if (!stateChanged.wait(&stateLock, deadline))
            return lastWhy.isEmpty() ? QStringLiteral("no answer in time") : lastWhy;
    }
    return copiedSeq >= seq ? QString() : lastWhy;
}

// If this fails the records are sent again next time, which the central
// database takes without doubling them.
void CentralWorker::keepPosition()
{
    if (cursor == kept)
        return;
    QSqlQuery q(QSqlDatabase::database(localName, false));
    q.prepare(QStringLiteral("INSERT INTO copy_state(target, last_seq) VALUES (?, ?) "
                             "ON CONFLICT(target) DO UPDATE SET "
                             "last_seq = max(last_seq, excluded.last_seq)"));
    q.addBindValue(central->url().target());
    q.addBindValue(cursor);
    if (q.exec())
        kept = cursor;
}

// Reports the problem once and backs off. Problem::None: a failure that is
// not the central database's, backed off without a word.
void CentralWorker::failed(Problem kind, const QString &detail)
{
    retryDelay = retryDelay == 0 ? timing.retryFirstMs : qMin(retryDelay * 2, timing.retryMaxMs);
    nextTry = QDeadlineTimer(retryDelay);
    copyDue = true;
    const QString where = central->url().redacted();
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
