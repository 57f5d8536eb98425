// The store's threads: the central copy's, started, stopped and woken for
// new records, and both left to end alone when a window closes; and ids.

#include <QMutex>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QThread>
#include <QVariant>
#include <climits>
#include <vector>

#include "records/CentralWorker.h"
#include "records/RecordStore.h"
#include "records/RecordText.h"
#include "records/StoreWriter.h"

namespace movra::records {

namespace {

// Threads of stores that closed later, with how long the end waits for each.
struct Ending
{
    QThread *thread;
    unsigned long waitMs;
};
QMutex endingLock;
std::vector<Ending> ending;

void endAlone(QThread *thread, unsigned long waitMs)
{
    static const bool hooked = (qAddPostRoutine(&RecordStore::finishClosing), true);
    Q_UNUSED(hooked);
    QMutexLocker locked(&endingLock);
    ending.push_back({thread, waitMs});
}

} // namespace

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

void RecordStore::closeLater()
{
    if (worker) {
        disconnect(worker, nullptr, this, nullptr);
        QMetaObject::invokeMethod(
            worker,
            [w = worker] {
                w->stop();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
        endAlone(workerThread, 1000);
        workerThread = nullptr;
        worker = nullptr;
    }
    if (writer) {
        disconnect(writer, nullptr, this, nullptr);
        QMetaObject::invokeMethod(
            writer,
            [w = writer] {
                if (w->queued() > 0)
                    w->retryNow();
                w->drain();
                w->stop();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
        endAlone(writerThread, ULONG_MAX);
        writerThread = nullptr;
        writer = nullptr;
    }
    shutDown();
    central.reset();
    centralTarget.clear();
}

void RecordStore::finishClosing()
{
    std::vector<Ending> all;
    {
        QMutexLocker locked(&endingLock);
        all.swap(ending);
    }
    for (const Ending &e : all) {
        if (e.thread->wait(e.waitMs))
            delete e.thread;
        else // a copy step still waits on the network: left to end alone
            connect(e.thread, &QThread::finished, e.thread, &QObject::deleteLater);
    }
}

QUuid newId(const QDateTime &utc)
{
    uchar bytes[16];
    const quint64 ms = quint64(utc.toMSecsSinceEpoch());
    for (int i = 0; i < 6; ++i)
        bytes[i] = uchar(ms >> (8 * (5 - i)));
    quint32 random[3];
    QRandomGenerator::global()->fillRange(random);
    for (int i = 0; i < 10; ++i)
        bytes[6 + i] = uchar(random[i / 4] >> (8 * (i % 4)));
    bytes[6] = uchar(0x70 | (bytes[6] & 0x0F)); // version 7
    bytes[8] = uchar(0x80 | (bytes[8] & 0x3F)); // RFC 4122 variant
    return QUuid::fromRfc4122(QByteArray(reinterpret_cast<const char *>(bytes), 16));
}

} // namespace movra::records
