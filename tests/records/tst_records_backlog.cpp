// While the file cannot be written the records wait in memory: up to a
// bound that is reported, in their order, and into the file when it is
// back, tried again on a timer, with the next record or when asked.

#include <QBuffer>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/RecordStore.h"

using namespace records_test;

class BacklogTest : public StoreFileTest
{
    Q_OBJECT

private slots:
    void folderMissing();
    void memoryIsBounded();
    void retriesOnTheTimer();
    void retriesOnTheNextWrite();
    void backlogGoesInOrder();
    void sharedCommit_data();
    void sharedCommit();
};

void BacklogTest::folderMissing()
{
    path = dir->filePath(QStringLiteral("not/yet/records.sqlite"));
    UnitStore store(byHand());
    QSignalSpy problems(&store, &RecordStore::problem);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    QVERIFY(!store.open(path));
    store.unitStarted(okAttempt());
    store.add(reading(Quantity::Humidity, 40, 41, 2));
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    QVERIFY(problems.at(0).at(0).toString().contains(QStringLiteral("无法打开")));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(recovered.count(), 1);
    QVERIFY2(recovered.at(0).at(0).toString().contains(QStringLiteral("2 条")),
             qPrintable(recovered.at(0).at(0).toString()));
    const QVector<UnitSummary> units = store.units({}, 5);
    QCOMPARE(units.size(), 1);
    QCOMPARE(units.at(0).passed, 1);
}

void BacklogTest::memoryIsBounded()
{
    RecordStore::Options options = byHand();
    options.memoryBound = 5;
    path = dir->filePath(QStringLiteral("later/records.sqlite"));
    RecordStore store(options);
    QSignalSpy problems(&store, &RecordStore::problem);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    QVERIFY(!store.open(path));
    QVector<QUuid> ids;
    for (int i = 0; i < 8; ++i) {
        Record r =
            record(reading(Quantity::Temperature, 20 + i, 20, 1), QDateTime::currentDateTimeUtc());
        ids << r.id;
        store.append(r);
    }
    QCOMPARE(problems.count(), 2); // cannot open, then the bound
    QVERIFY2(problems.at(1).at(0).toString().contains(QStringLiteral("上限 5 条")),
             qPrintable(problems.at(1).at(0).toString()));
    QCOMPARE(store.keptInMemory(), 5);
    QCOMPARE(store.droppedFromMemory(), 3);

    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(recovered.count(), 1);
    const QString text = recovered.at(0).at(0).toString();
    QVERIFY2(text.contains(QStringLiteral("5 条")) && text.contains(QStringLiteral("3 条")),
             qPrintable(text));
    QCOMPARE(store.recordCount(), 5);
    // The first five are kept: a unit's start is never dropped for its readings.
    QVector<QUuid> kept;
    for (const Record &r : allRecords(store))
        kept << r.id;
    QCOMPARE(kept, ids.mid(0, 5));
}

void BacklogTest::retriesOnTheTimer()
{
    RecordStore::Options options;
    options.retryFirstMs = 20;
    options.retryMaxMs = 40;
    path = dir->filePath(QStringLiteral("later/records.sqlite"));
    UnitStore store(options);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    QVERIFY(!store.open(path));
    store.unitStarted(okAttempt());
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QTRY_COMPARE_WITH_TIMEOUT(recovered.count(), 1, 5000);
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.recordCount(), 1);
}

// Without a timer, the next record is what tries the file again.
void BacklogTest::retriesOnTheNextWrite()
{
    RecordStore::Options options;
    options.retryFirstMs = 0;
    options.retryMaxMs = 0;
    path = dir->filePath(QStringLiteral("later/records.sqlite"));
    UnitStore store(options);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    QVERIFY(!store.open(path));
    store.unitStarted(okAttempt());
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 1);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 1); // nothing tried it on its own
    store.add(reading(Quantity::Temperature, 1, 1, 1));
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(recovered.count(), 1);
    QCOMPARE(store.recordCount(), 2);
}

// A backlog longer than a transaction goes in, in order, with records
// taken while it is written at its end.
void BacklogTest::backlogGoesInOrder()
{
    RecordStore::Options options = byHand();
    options.flushChunk = 100;
    path = dir->filePath(QStringLiteral("later/records.sqlite"));
    UnitStore store(options);
    QVERIFY(!store.open(path));
    store.unitStarted(okAttempt());
    for (int i = 0; i < 349; ++i)
        store.add(reading(Quantity::Temperature, i, 1, 1));
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    store.retryNow();
    store.add(reading(Quantity::Humidity, 2, 2, 1));
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.recordCount(), 351);
    const QVector<Record> records = store.unitRecords(store.currentUnit());
    QCOMPARE(records.size(), 351);
    for (int i = 0; i < 349; ++i)
        QCOMPARE(std::get<Reading>(records.at(i + 1).data).value, double(i));
    QCOMPARE(std::get<Reading>(records.constLast().data).quantity, Quantity::Humidity);
}

// Records that wait to share a commit reach the file when the wait is over,
// at once when they fill a chunk or someone waits for them, and at close.
void BacklogTest::sharedCommit_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("then");
    QTest::addColumn<bool>("inFileAtOnce");
    QTest::newRow("the wait ends") << 3 << "wait" << false;
    QTest::newRow("a whole chunk") << 10 << "wait" << true;
    QTest::newRow("waited for") << 3 << "waitForWrites" << true;
    QTest::newRow("closed") << 3 << "close" << true;
}

void BacklogTest::sharedCommit()
{
    QFETCH(int, records);
    QFETCH(QString, then);
    QFETCH(bool, inFileAtOnce);
    path = dir->filePath(QStringLiteral("records.sqlite"));
    RecordStore::Options options = byHand();
    options.commitDelayMs = 300;
    options.flushChunk = 10;
    UnitStore store(options);
    QVERIFY(store.open(path));
    store.waitForWrites(); // the file made; nothing in it yet
    for (int i = 0; i < records; ++i)
        store.add(reading(Quantity::Humidity, 40 + i, 41, 2));
    RecordStore reader;
    QVERIFY(reader.open(path));
    if (then == QLatin1String("wait")) {
        QTest::qWait(100);
        QCOMPARE(reader.recordCount(), qint64(inFileAtOnce ? records : 0));
        QTRY_COMPARE_WITH_TIMEOUT(reader.recordCount(), qint64(records), 3000);
        return;
    }
    if (then == QLatin1String("waitForWrites"))
        store.waitForWrites();
    else
        store.close();
    QCOMPARE(reader.recordCount(), qint64(records));
}

QTEST_GUILESS_MAIN(BacklogTest)
#include "tst_records_backlog.moc"
