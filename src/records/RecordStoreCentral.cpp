// The store's threads, the writer's and the central copy's: started, ended,
// or left to end alone when a window closes; and ids.

#include <QCoreApplication>
#include <QMutex>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <QVariant>
#include <climits>
#include <utility>
#include <vector>

#include "records/CentralWorker.h"
#include "records/RecordStore.h"
#include "records/RecordText.h"
#include "records/StoreWriter.h"

namespace movra::records {

namespace {

// Threads left to end alone, with how long finishClosing() waits for each.
QMutex endingLock;
std::vector<std::pair<QThread *, unsigned long>> ending;

void startOn(QObject *object, const char *name)
{
    auto *thread = new QThread;
    thread->setObjectName(QLatin1String(name));
    object->moveToThread(thread);
    QObject::connect(thread, &QThread::finished, object, &QObject::deleteLater);
    thread->start();
}

// False when the thread is still busy (a copy step waiting on the network):
// it is left to end alone.
bool reap(QThread *thread, unsigned long waitMs)
{
    if (thread->wait(waitMs)) {
        delete thread;
        return true;
    }
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    return false;
}

// Runs `last` on the object's thread and ends that thread; waits for it up
// to `waitMs`, or with `later` leaves the wait to finishClosing().
bool end(QObject *object, const std::function<void()> &last, unsigned long waitMs, bool later)
{
    QThread *thread = object->thread();
    QMetaObject::invokeMethod(
        object,
        [last] {
            last();
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    if (!later)
        return reap(thread, waitMs);
    static const bool hooked = (qAddPostRoutine(&RecordStore::finishClosing), true);
    Q_UNUSED(hooked);
    QMutexLocker locked(&endingLock);
    ending.emplace_back(thread, waitMs);
    return false;
}

} // namespace

void RecordStore::startWriter()
{
    writer = new StoreWriter(filePath, options);
    connect(writer, &StoreWriter::problem, this, &RecordStore::writerProblem);
    connect(writer, &StoreWriter::recovered, this, &RecordStore::writerRecovered);
    startOn(writer, "records writer");
    QMetaObject::invokeMethod(writer, &StoreWriter::retryNow, Qt::QueuedConnection);
}

// The records the file did not take.
int RecordStore::stopWriter(bool later)
{
    StoreWriter *w = std::exchange(writer, nullptr);
    if (!w)
        return 0;
    if (later) {
        disconnect(w, nullptr, this, nullptr);
        end(
            w, [w] { w->finish(); }, ULONG_MAX, true);
        return 0;
    }
    int lost = 0;
    end(
        w,
        [w, &lost, this] {
            lost = w->finish();
            lastWritten = w->lastWritten();
        },
        ULONG_MAX, false);
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall); // its last problem()
    return lost;
}

bool RecordStore::startCentral(const QString &url)
{
    QString why;
    const std::optional<CentralUrl> parsed = CentralUrl::parse(url, &why);
    if (!parsed) {
        emit problem(RecordsText::tr("中央记录库地址 %1 无效：%2。记录只保存在本地。")
                         .arg(redactUrl(url), why));
        return false;
    }
    stopWorker();
    central = parsed;
    startWorker();
    return true;
}

void RecordStore::startWorker()
{
    if (worker || !writer || !central)
        return;
    worker = new CentralWorker(filePath, *central,
                               Backoff(options.centralRetryFirstMs, options.centralRetryMaxMs));
    connect(worker, &CentralWorker::problem, this, &RecordStore::problem);
    connect(worker, &CentralWorker::recovered, this, &RecordStore::recovered);
    connect(writer, &StoreWriter::wrote, worker, &CentralWorker::wake);
    connect(writer, &StoreWriter::recovered, worker, &CentralWorker::reopen);
    startOn(worker, "records copy");
    QMetaObject::invokeMethod(worker, &CentralWorker::copyNow, Qt::QueuedConnection);
}

// False when a copy step was still under way after 1 s: what it did not
// copy goes next time.
bool RecordStore::stopWorker(bool later)
{
    CentralWorker *w = std::exchange(worker, nullptr);
    if (!w)
        return true;
    disconnect(w, nullptr, this, nullptr);
    return end(
        w, [w] { w->stop(); }, 1000, later);
}

RecordStore::Closed RecordStore::close(int centralWaitMs)
{
    // In this order: the writer's last problem() sets the trouble.
    Closed closed{stopWriter() + dropped, trouble.kind, trouble.detail, trouble.found, {}, false};
    if (worker && centralWaitMs > 0 && lastWritten > 0) {
        QMetaObject::invokeMethod(worker, &CentralWorker::copyNow, Qt::QueuedConnection);
        closed.centralWhy = worker->waitCopied(lastWritten, QDeadlineTimer(centralWaitMs));
    }
    closed.abandoned = !stopWorker();
    shutDown();
    central.reset();
    return closed;
}

void RecordStore::closeLater()
{
    stopWorker(true);
    stopWriter(true);
    close();
}

void RecordStore::shutDown()
{
    stopWorker();
    stopWriter();
    closeReader();
    migrated.reset();
    filePath.clear();
    immutable = false;
    lastWritten = 0;
    trouble = Trouble();
    dropped = 0;
}

void RecordStore::finishClosing()
{
    std::vector<std::pair<QThread *, unsigned long>> all;
    {
        QMutexLocker locked(&endingLock);
        all.swap(ending);
    }
    for (const auto &[thread, waitMs] : all)
        reap(thread, waitMs);
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
