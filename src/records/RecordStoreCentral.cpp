// The store's side of the central copy: starting and stopping its thread,
// waking it for new records, and how far it got.

#include <QSqlQuery>
#include <QThread>
#include <QVariant>

#include "records/CentralWorker.h"
#include "records/RecordStore.h"
#include "records/RecordText.h"
#include "records/StoreWriter.h"

namespace movra::records {

bool RecordStore::startCentral(const QString &url)
{
    QString why;
    const std::optional<CentralUrl> parsed = CentralUrl::parse(url, &why);
    if (!parsed) {
        emit problem(RecordsText::tr("中央记录库地址 %1 无效：%2。记录只保存在本地。")
                         .arg(redactUrl(url), why));
        return false;
    }
    stopWorker(1000);
    central = *parsed;
    centralTarget = parsed->target();
    if (writer)
        startWorker();
    return true;
}

void RecordStore::startWorker()
{
    if (workerThread || !central)
        return;
    workerThread = new QThread;
    workerThread->setObjectName(QStringLiteral("records copy"));
    worker = new CentralWorker(filePath, *central,
                               {options.centralRetryFirstMs, options.centralRetryMaxMs});
    worker->moveToThread(workerThread);
    connect(workerThread, &QThread::started, worker, &CentralWorker::start);
    connect(workerThread, &QThread::finished, worker, &QObject::deleteLater);
    connect(worker, &CentralWorker::problem, this, &RecordStore::problem);
    connect(worker, &CentralWorker::recovered, this, &RecordStore::recovered);
    connect(writer, &StoreWriter::wrote, worker, &CentralWorker::wake);
    workerThread->start();
}

// False when a copy step was still under way after `waitMs`: it is left to
// end on its own thread, and what it did not copy goes next time.
bool RecordStore::stopWorker(int waitMs)
{
    if (!workerThread)
        return true;
    disconnect(worker, nullptr, this, nullptr);
    QMetaObject::invokeMethod(worker, &CentralWorker::stop, Qt::QueuedConnection);
    workerThread->quit();
    const bool ended = workerThread->wait(waitMs);
    if (ended)
        delete workerThread;
    else
        connect(workerThread, &QThread::finished, workerThread, &QObject::deleteLater);
    workerThread = nullptr;
    worker = nullptr;
    return ended;
}

qint64 RecordStore::waitingForCentral() const
{
    const Read read(this);
    if (!read.db.isOpen() || centralTarget.isEmpty())
        return 0;
    QSqlQuery q(read.db);
    q.prepare(QStringLiteral("SELECT count(*) FROM records WHERE seq > coalesce("
                             "(SELECT last_seq FROM copy_state WHERE target = ?), 0)"));
    q.addBindValue(centralTarget);
    if (!q.exec() || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace movra::records
