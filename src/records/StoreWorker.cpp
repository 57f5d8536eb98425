#include "records/StoreWorker.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "records/CentralCopy.h"

namespace movra::records {

namespace {
std::atomic<int> connections{0};
constexpr int batchSize = 500;
constexpr int checkpointEveryMs = 1000;
constexpr int debounceMs = 100;
// Another station's tool or an earlier run may have left records waiting.
constexpr int idlePollMs = 5000;
} // namespace

StoreWorker::StoreWorker(const QString &localPath, std::shared_ptr<std::atomic<bool>> fresh)
    : localPath(localPath), localName(QStringLiteral("movra_records_worker_%1").arg(++connections)),
      fresh(std::move(fresh)), timer(this)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &StoreWorker::tick);
}

StoreWorker::~StoreWorker() = default;

void StoreWorker::start()
{
    openLocal();
    checkpointDue = true;
    timer.start(0);
}

bool StoreWorker::openLocal()
{
    if (QSqlDatabase::contains(localName))
        return QSqlDatabase::database(localName, false).isOpen();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), localName);
    db.setDatabaseName(localPath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2000"));
    if (db.open())
        return true;
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(localName);
    return false;
}

void StoreWorker::setCentral(const CentralUrl &url, const Timing &t)
{
    central = std::make_unique<CentralCopy>(url);
    timing = t;
    retryDelay = 0;
    nextTry = QDeadlineTimer();
    centralProblem = Problem::None;
    cursor = -1;
    copyDue = true;
    timer.start(0);
}

void StoreWorker::wake()
{
    fresh->store(false);
    checkpointDue = true;
    copyDue = true;
    if (!timer.isActive())
        timer.start(debounceMs);
}

void StoreWorker::stop()
{
    timer.stop();
    central.reset();
    if (QSqlDatabase::contains(localName)) {
        QSqlDatabase::database(localName, false).close();
        QSqlDatabase::removeDatabase(localName);
    }
}

void StoreWorker::tick()
{
    if (checkpointDue && nextCheckpoint.hasExpired())
        checkpoint();
    if (central && nextTry.hasExpired())
        copyRound();

    qint64 wait = -1;
    auto sooner = [&wait](qint64 ms) { wait = wait < 0 ? ms : qMin(wait, ms); };
    if (checkpointDue)
        sooner(qMax<qint64>(0, nextCheckpoint.remainingTime()));
    if (central) {
        const qint64 backOff = qMax<qint64>(0, nextTry.remainingTime());
        sooner(copyDue ? backOff : qMax<qint64>(backOff, idlePollMs));
    }
    if (wait >= 0)
        timer.start(int(wait));
}

// PASSIVE: never waits for, nor blocks, the writer on the GUI thread.
void StoreWorker::checkpoint()
{
    checkpointDue = false;
    nextCheckpoint = QDeadlineTimer(checkpointEveryMs);
    if (!openLocal())
        return;
    QSqlQuery q(QSqlDatabase::database(localName, false));
    q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
}

void StoreWorker::copyRound()
{
    QString why;
    if (!central->isConnected() && !central->connect(&why)) {
        centralFailed(Problem::CentralUnreachable, why);
        return;
    }
    if (!openLocal()) {
        centralFailed(Problem::None, QString());
        return;
    }
    QSqlDatabase local = QSqlDatabase::database(localName, false);
    if (cursor < 0) {
        QSqlQuery q(local);
        q.prepare(QStringLiteral("SELECT last_seq FROM copy_state WHERE target = ?"));
        q.addBindValue(central->url().target());
        if (!q.exec()) {
            centralFailed(Problem::None, QString());
            return;
        }
        cursor = q.next() ? q.value(0).toLongLong() : 0;
    }
    const CentralCopy::Result result = central->copy(local, cursor, batchSize);
    if (result.failed == CentralCopy::Failed::Local) {
        // The store reports its own file's troubles.
        centralFailed(Problem::None, QString());
        return;
    }
    if (result.failed == CentralCopy::Failed::Central) {
        const Problem kind =
            central->answers() ? Problem::CentralRejected : Problem::CentralUnreachable;
        central->disconnect();
        centralFailed(kind, result.why);
        return;
    }
    if (centralProblem != Problem::None) {
        centralProblem = Problem::None;
        emit recovered(QStringLiteral("中央记录库 %1 已恢复连接，继续上传记录。")
                           .arg(central->url().redacted()));
    }
    retryDelay = 0;
    nextTry = QDeadlineTimer();
    copyDue = result.copied == batchSize;
    if (result.copied > 0) {
        cursor = result.lastSeq;
        emit copied(central->url().target(), cursor);
    }
}

// Reports the problem once and backs off. Problem::None: a failure that is
// not the central database's, backed off without a word.
void StoreWorker::centralFailed(Problem kind, const QString &detail)
{
    retryDelay = retryDelay == 0 ? timing.retryFirstMs : qMin(retryDelay * 2, timing.retryMaxMs);
    nextTry = QDeadlineTimer(retryDelay);
    copyDue = true;
    if (kind == Problem::None || kind == centralProblem)
        return;
    centralProblem = kind;
    const QString where = central->url().redacted();
    emit problem(kind == Problem::CentralUnreachable
                     ? QStringLiteral("中央记录库 %1 无法连接（%2）。记录保留在本地，恢复后补传。")
                           .arg(where, detail)
                     : QStringLiteral("中央记录库 %1 不接受记录（%2）。记录保留在本地，稍后重试。")
                           .arg(where, detail));
}

} // namespace movra::records
