// The store's side of the background thread: starting and stopping it,
// waking it for new records and keeping the copy position it reports.

#include <QSqlQuery>
#include <QVariant>
#include <QThread>

#include "records/RecordStore.h"
#include "records/StationConfig.h"
#include "records/StoreWorker.h"

namespace movra::records {

bool RecordStore::startCentral(const QString &url)
{
    QString why;
    const std::optional<CentralUrl> parsed = CentralUrl::parse(url, &why);
    if (!parsed) {
        emit problem(QStringLiteral("中央记录库地址 %1 无效：%2。记录只保存在本地。")
                         .arg(redactUrl(url), why));
        return false;
    }
    central = *parsed;
    centralTarget = parsed->target();
    if (worker) {
        const StoreWorker::Timing timing{options.centralRetryFirstMs, options.centralRetryMaxMs};
        QMetaObject::invokeMethod(
            worker, [w = worker, u = *parsed, timing] { w->setCentral(u, timing); },
            Qt::QueuedConnection);
    }
    return true;
}

void RecordStore::startWorker()
{
    if (thread)
        return;
    thread = new QThread;
    thread->setObjectName(QStringLiteral("records"));
    worker = new StoreWorker(filePath, fresh);
    worker->moveToThread(thread);
    connect(thread, &QThread::started, worker, &StoreWorker::start);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &StoreWorker::problem, this, &RecordStore::problem);
    connect(worker, &StoreWorker::recovered, this, &RecordStore::recovered);
    connect(worker, &StoreWorker::copied, this, &RecordStore::copied);
    thread->start();
    if (central) {
        const StoreWorker::Timing timing{options.centralRetryFirstMs, options.centralRetryMaxMs};
        QMetaObject::invokeMethod(
            worker, [w = worker, u = *central, timing] { w->setCentral(u, timing); },
            Qt::QueuedConnection);
    }
}

void RecordStore::stopWorker()
{
    if (!thread)
        return;
    // Waits for at most the copy step under way; every network call has a
    // time-out.
    QMetaObject::invokeMethod(
        worker, [w = worker] { w->stop(); }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
    thread = nullptr;
    worker = nullptr;
}

void RecordStore::wakeWorker()
{
    if (worker && !fresh->exchange(true))
        QMetaObject::invokeMethod(
            worker, [w = worker] { w->wake(); }, Qt::QueuedConnection);
}

// Written here, not by the worker: a second writer on the file could make a
// write of the GUI thread find it busy.
void RecordStore::copied(const QString &target, qint64 seq)
{
    if (!writable)
        return;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral("INSERT INTO copy_state(target, last_seq) VALUES (?, ?) "
                             "ON CONFLICT(target) DO UPDATE SET "
                             "last_seq = max(last_seq, excluded.last_seq)"));
    q.addBindValue(target);
    q.addBindValue(seq);
    q.exec();
}

qint64 RecordStore::waitingForCentral() const
{
    if (!connected || centralTarget.isEmpty())
        return 0;
    QSqlQuery q(QSqlDatabase::database(connection, false));
    q.prepare(QStringLiteral("SELECT count(*) FROM records WHERE seq > coalesce("
                             "(SELECT last_seq FROM copy_state WHERE target = ?), 0)"));
    q.addBindValue(centralTarget);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace movra::records
