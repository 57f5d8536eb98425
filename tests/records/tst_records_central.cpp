// The copy to a central PostgreSQL database, against a real server this
// program starts (initdb, pg_ctl, a Unix socket in a temporary folder):
// idempotent, nothing lost or doubled when the server stops in the middle
// of a copy, when two stations write at once, or when the tool is closed
// with records waiting.

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include "PgCluster.h"
#include "RecordsTestSupport.h"
#include "records/CentralWorker.h"
#include "records/RecordStore.h"

using namespace records_test;

namespace {

RecordStore::Options quickRetries()
{
    RecordStore::Options options;
    options.centralRetryFirstMs = 50;
    options.centralRetryMaxMs = 400;
    return options;
}

// `units` units of ten records each, in the file when it returns.
void writeUnits(UnitStore &store, int units)
{
    for (int u = 0; u < units; ++u) {
        store.unitStarted(okAttempt());
        for (int i = 0; i < 4; ++i) {
            store.add(reading(Quantity::Temperature, 23 + i / 10.0, 23.1, 0.2));
            store.add(reading(Quantity::Humidity, 50 + i, 51, 1.5));
        }
        store.unitEnded(Disconnect{EndedBy::Operator, {}});
    }
    store.waitForWrites();
}

void execLocal(const QString &path, const QString &sql)
{
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("local"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY2(q.exec(sql), qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("local"));
}

QSet<QString> localIds(RecordStore &store)
{
    QSet<QString> ids;
    for (const Record &r : allRecords(store))
        ids.insert(r.id.toString(QUuid::WithoutBraces));
    return ids;
}

} // namespace

class CentralTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void copiesEveryKind();
    void copyIsIdempotent();
    void serverStopsDuringCopy();
    void twoStationsAtOnce();
    void closedWithRecordsWaiting();
    void notWokenAfterStop();
    void widensAnOlderTable();
    void followsAReplacedFile();

private:
    QSet<QString> centralIds();
    void checkNoSecret(const QSignalSpy &spy);

    PgCluster cluster;
    std::unique_ptr<QTemporaryDir> dir;
    QString path;
};

void CentralTest::initTestCase()
{
    isolate();
    REQUIRE_CLUSTER(cluster);
}

void CentralTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    path = dir->filePath(QStringLiteral("records.sqlite"));
    QSqlQuery q(cluster.connection());
    QVERIFY2(q.exec(QStringLiteral("DROP TABLE IF EXISTS records CASCADE")),
             qPrintable(q.lastError().text()));
}

QSet<QString> CentralTest::centralIds()
{
    QSet<QString> ids;
    QSqlQuery q(cluster.connection());
    if (q.exec(QStringLiteral("SELECT id FROM records"))) {
        while (q.next())
            ids.insert(q.value(0).toString());
    }
    return ids;
}

// The password, plain or as written in the URL, appears in no message.
void CentralTest::checkNoSecret(const QSignalSpy &spy)
{
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(cluster.password()));
    for (const QList<QVariant> &args : spy) {
        const QString text = args.at(0).toString();
        QVERIFY2(!text.contains(cluster.password()) && !text.contains(encoded), qPrintable(text));
    }
}

void CentralTest::copiesEveryKind()
{
    UnitStore store(quickRetries());
    store.setStation(QStringLiteral("一号工位"));
    QVERIFY(store.open(path));
    QVERIFY(store.startCentral(cluster.url()));
    const QUuid unit = store.unitStarted(okAttempt());
    store.add(reading(Quantity::Temperature, 23.4, 23.0, 0.5));
    store.add(reading(Quantity::Humidity, 47.5, 50.0, 2.0));
    store.add(ParameterWrite{Parameter::HumiCorrection, -1.5, true});
    store.add(BatchRead{1, 9600, std::nullopt, -1.5, 0});
    Record calibrated;
    calibrated.unit = unit;
    calibrated.data =
        Calibration{Quantity::Humidity, 50, 1, 48.5, -1.5, 0, std::nullopt, 5, false, std::nullopt};
    calibrated.trace = {"SN-2", "李工", "REF-7", QDate(2030, 1, 31), false};
    store.append(calibrated);
    store.unitEnded(Disconnect{EndedBy::PortLost, QStringLiteral("拔出")});
    Attempt refused = okAttempt();
    refused.reason = QStringLiteral("无应答");
    store.attemptFailed(refused);
    QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(8), 20000);
    QTRY_COMPARE(waitingForCentral(path, cluster.url()), qint64(0));

    QSqlQuery q(cluster.connection());
    QVERIFY(q.exec(QStringLiteral(
        "SELECT kind, quantity, value, reference, deviation, pass, station, unit::text,"
        " batch_humi_offset, batch_temp_offset, ended_by, reason, utc_offset"
        " FROM records ORDER BY t, kind")));
    QStringList kinds;
    while (q.next()) {
        kinds << q.value(0).toString();
        QCOMPARE(q.value(6).toString(), QStringLiteral("一号工位"));
        if (q.value(0).toString() == QLatin1String("reading") &&
            q.value(1).toString() == QLatin1String("humidity")) {
            QCOMPARE(q.value(2).toDouble(), 47.5);
            QCOMPARE(q.value(4).toDouble(), -2.5);
            QCOMPARE(q.value(5).toBool(), false);
            QCOMPARE(q.value(7).toString(), unit.toString(QUuid::WithoutBraces));
        }
        if (q.value(0).toString() == QLatin1String("batch")) {
            QCOMPARE(q.value(8).toDouble(), -1.5);
            QVERIFY(q.value(9).isNull());
        }
        if (q.value(0).toString() == QLatin1String("calibration"))
            QVERIFY(q.value(5).isNull()); // a dry run: not judged, nor counted in its unit
        if (q.value(0).toString() == QLatin1String("disconnect")) {
            QCOMPARE(q.value(10).toString(), QStringLiteral("port_lost"));
            QCOMPARE(q.value(11).toString(), QStringLiteral("拔出"));
        }
    }
    QCOMPARE(kinds.size(), 8);
    QVERIFY(q.exec(QStringLiteral("SELECT passed, failed FROM units")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toInt(), 1);
    QCOMPARE(q.value(1).toInt(), 1);
    QCOMPARE(centralIds(), localIds(store));
}

// Sent again, from the same file with its copy position lost and from a
// copy of the file: still one row per record.
void CentralTest::copyIsIdempotent()
{
    {
        UnitStore store(quickRetries());
        QVERIFY(store.open(path));
        QVERIFY(store.startCentral(cluster.url()));
        writeUnits(store, 5);
        QTRY_COMPARE_WITH_TIMEOUT(waitingForCentral(path, cluster.url()), qint64(0), 20000);
    }
    QCOMPARE(cluster.count(), qint64(50));
    execLocal(path, QStringLiteral("DELETE FROM copy_state"));
    const QString copy = dir->filePath(QStringLiteral("copy.sqlite"));
    QVERIFY(QFile::copy(path, copy));
    for (const QString &file : {path, copy}) {
        RecordStore store(quickRetries());
        QVERIFY(store.open(file));
        QVERIFY(store.startCentral(cluster.url()));
        QTRY_COMPARE_WITH_TIMEOUT(waitingForCentral(file, cluster.url()), qint64(0), 20000);
        QCOMPARE(cluster.count(), qint64(50));
    }
}

void CentralTest::serverStopsDuringCopy()
{
    // 10000 records: 20 batches, a second or two of copying here, half a
    // minute under the sanitizers on a busy machine.
    const int units = 1000;
    UnitStore store(quickRetries());
    QSignalSpy problems(&store, &RecordStore::problem);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    QVERIFY(store.open(path));
    writeUnits(store, units);
    QVERIFY(store.startCentral(cluster.url()));
    QTRY_VERIFY_WITH_TIMEOUT(cluster.count() > 0, 20000);
    QVERIFY(cluster.stop());
    qInfo("server stopped with %lld of %d records copied",
          store.recordCount() - waitingForCentral(path, cluster.url()), units * 10);
    QTRY_VERIFY_WITH_TIMEOUT(!problems.isEmpty(), 20000);
    QVERIFY2(problems.at(0).at(0).toString().contains(QStringLiteral("无法连接")),
             qPrintable(problems.at(0).at(0).toString()));
    QVERIFY(waitingForCentral(path, cluster.url()) > 0); // stopped before the end

    // More records while the server is away.
    writeUnits(store, 10);
    QString why;
    QVERIFY2(cluster.start(&why), qPrintable(why));
    QTRY_COMPARE_WITH_TIMEOUT(waitingForCentral(path, cluster.url()), qint64(0), 180000);
    const qint64 expected = (units + 10) * 10;
    QCOMPARE(cluster.count(), expected);
    QCOMPARE(centralIds(), localIds(store));
    QCOMPARE(problems.count(), 1);
    QCOMPARE(recovered.count(), 1);
    checkNoSecret(problems);
    checkNoSecret(recovered);
}

// Two processes, two local files, one central table created by whichever
// comes first.
void CentralTest::twoStationsAtOnce()
{
    const int each = 3000;
    QProcess a;
    QProcess b;
    a.start(helperPath(), {QStringLiteral("station"), dir->filePath("a.sqlite"), cluster.url(),
                           QStringLiteral("A"), QString::number(each)});
    b.start(helperPath(), {QStringLiteral("station"), dir->filePath("b.sqlite"), cluster.url(),
                           QStringLiteral("B"), QString::number(each)});
    QVERIFY(a.waitForFinished(150000));
    QVERIFY(b.waitForFinished(150000));
    const QByteArray outA = a.readAllStandardOutput();
    const QByteArray outB = b.readAllStandardOutput();
    QVERIFY2(a.exitCode() == 0 && outA.contains("done"), outA.constData());
    QVERIFY2(b.exitCode() == 0 && outB.contains("done"), outB.constData());
    QVERIFY2(!outA.contains("problem") && !outB.contains("problem"), (outA + outB).constData());
    QCOMPARE(cluster.count(QStringLiteral("station = 'A'")), qint64(each));
    QCOMPARE(cluster.count(QStringLiteral("station = 'B'")), qint64(each));
    QCOMPARE(cluster.count(), qint64(2 * each));
}

void CentralTest::closedWithRecordsWaiting()
{
    QVERIFY(cluster.stop());
    {
        UnitStore store(quickRetries());
        QSignalSpy problems(&store, &RecordStore::problem);
        QVERIFY(store.open(path));
        QVERIFY(store.startCentral(cluster.url()));
        writeUnits(store, 5);
        QTRY_VERIFY_WITH_TIMEOUT(!problems.isEmpty(), 20000);
        QCOMPARE(waitingForCentral(path, cluster.url()), qint64(50));
        checkNoSecret(problems);
    }
    QString why;
    QVERIFY2(cluster.start(&why), qPrintable(why));
    RecordStore store(quickRetries());
    QVERIFY(store.open(path));
    QVERIFY(store.startCentral(cluster.url()));
    QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(50), 20000);
    QTRY_COMPARE(waitingForCentral(path, cluster.url()), qint64(0));
    QCOMPARE(centralIds(), localIds(store));
}

// stop() first, then a wake and a copy request, as a record written at
// closing time would queue them: no copy round runs after the stop.
void CentralTest::notWokenAfterStop()
{
    {
        UnitStore store;
        QVERIFY(store.open(path));
        store.unitStarted(okAttempt());
    }
    QThread thread;
    auto *worker = new CentralWorker(path, *CentralUrl::parse(cluster.url()), {10, 10});
    worker->moveToThread(&thread);
    connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
    thread.start();
    QMetaObject::invokeMethod(worker, &CentralWorker::stop, Qt::BlockingQueuedConnection);
    QMetaObject::invokeMethod(worker, &CentralWorker::wake, Qt::QueuedConnection);
    QMetaObject::invokeMethod(worker, &CentralWorker::copyNow, Qt::QueuedConnection);
    QCOMPARE(worker->waitCopied(1, QDeadlineTimer(500)), QStringLiteral("no answer in time"));
    thread.quit();
    QVERIFY(thread.wait(5000));
    QCOMPARE(cluster.count(), qint64(-1)); // no round: the table was never even made
}

// A table made before the columns that name the run and the calibration is
// given them by the next station that connects.
void CentralTest::widensAnOlderTable()
{
    {
        UnitStore store(quickRetries());
        QVERIFY(store.open(path));
        QVERIFY(store.startCentral(cluster.url()));
        writeUnits(store, 1);
        QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(10), 20000);
    }
    QSqlQuery q(cluster.connection());
    QStringList drops;
    for (const char *column :
         {"operator", "reference_id", "reference_due", "reference_expired", "as_found",
          "correction_before", "correction_after", "as_left", "samples", "written"})
        drops << QStringLiteral("DROP COLUMN %1").arg(column);
    QVERIFY2(q.exec(QStringLiteral("ALTER TABLE records ") + drops.join(", ")),
             qPrintable(q.lastError().text()));
    RecordStore store(quickRetries());
    QVERIFY(store.open(path));
    QVERIFY(store.startCentral(cluster.url()));
    Record calibrated;
    calibrated.data =
        Calibration{Quantity::Temperature, 25, 0.2, 24.8, 0, 0.2, 25.02, 5, true, true};
    calibrated.trace = {"SN-3", "李工", "REF-7", QDate(2030, 1, 31), false};
    store.append(calibrated);
    QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(11), 20000);
    QVERIFY(
        q.exec(QStringLiteral("SELECT operator, as_left FROM records WHERE kind = 'calibration'")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), QStringLiteral("李工"));
    QCOMPARE(q.value(1).toDouble(), 25.02);
}

// The file is moved aside while the tool runs (as an operator does with a
// damaged one) and the writer starts a new one: the new file is copied too.
void CentralTest::followsAReplacedFile()
{
    RecordStore::Options options = quickRetries();
    options.retryFirstMs = options.retryMaxMs = 3600 * 1000; // retried by hand
    UnitStore store(options);
    QVERIFY(store.open(path));
    QVERIFY(store.startCentral(cluster.url()));
    writeUnits(store, 2);
    QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(20), 20000);

    // A lock held elsewhere makes the writer let go of the file.
    QProcess holder;
    holder.start(helperPath(), {QStringLiteral("lock"), path});
    QVERIFY2(holder.waitForReadyRead(10000), qPrintable(holder.errorString()));
    writeUnits(store, 1);
    QCOMPARE(store.currentProblem(), Problem::Locked);
    for (const QString suffix : {"", "-wal", "-shm"})
        QVERIFY(QFile::rename(path + suffix, path + suffix + QStringLiteral(".old")));
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.recordCount(), 10);
    holder.write("\n");
    QVERIFY(holder.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(cluster.count(), qint64(30), 20000);
}

QTEST_GUILESS_MAIN(CentralTest)
#include "tst_records_central.moc"
