// What the store does when its file cannot be written: a corrupt file, a
// read-only file or folder, a lock held by another process, a full disk, a
// folder that is not there. Each is said once, the records taken meanwhile
// wait in memory (bounded) and go in when the file is back, and nothing
// already stored changes.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "RecordsTestSupport.h"
#include "records/RecordStore.h"

using namespace records_test;

namespace {

// A file with `units` units of three records, closed cleanly.
void prepare(const QString &path, int units)
{
    UnitStore store;
    QVERIFY(store.open(path));
    for (int i = 0; i < units; ++i) {
        store.unitStarted(okAttempt());
        store.add(reading(Quantity::Temperature, 23, 23, 1));
        store.unitEnded(Disconnect{EndedBy::Operator, {}});
    }
}

// "key value" lines of the helper's output.
QMultiMap<QString, QString> lines(const QByteArray &output)
{
    QMultiMap<QString, QString> out;
    for (const QByteArray &line : output.split('\n')) {
        const int space = line.indexOf(' ');
        if (space > 0)
            out.insert(QString::fromUtf8(line.left(space)), QString::fromUtf8(line.mid(space + 1)));
    }
    return out;
}

void moveAside(const QString &path)
{
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        if (QFile::exists(path + suffix))
            QVERIFY(QFile::rename(path + suffix, path + suffix + QStringLiteral(".bad")));
    }
}

} // namespace

class FailuresTest : public StoreFileTest
{
    Q_OBJECT

private slots:
    void corrupt_data();
    void corrupt();
    void readOnly_data();
    void readOnly();
    void readOnlyCopyWithWal();
    void locked_data();
    void locked();
    void sizeLimitReached();
    void diskFull();
};

void FailuresTest::corrupt_data()
{
    QTest::addColumn<bool>("wholeFile");
    QTest::newRow("not a database at all") << true;
    QTest::newRow("pages overwritten") << false;
}

void FailuresTest::corrupt()
{
    QFETCH(bool, wholeFile);
    if (wholeFile) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 100; ++i)
            f.write("these are not the records you are looking for\n");
    } else {
        prepare(path, 200);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.size() > 8 * 4096);
        // Every page after the first: the tables' roots and leaves.
        f.seek(4096);
        f.write(QByteArray(int(f.size()) - 4096, char(0xA5)));
    }
    const QByteArray before = fileHash(path);

    UnitStore store(byHand());
    QSignalSpy problems(&store, &RecordStore::problem);
    QSignalSpy recovered(&store, &RecordStore::recovered);
    store.open(path);
    for (int i = 0; i < 5; ++i) {
        store.unitStarted(okAttempt());
        store.retryNow();
    }
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    QVERIFY2(problems.at(0).at(0).toString().contains(QStringLiteral("已损坏")),
             qPrintable(problems.at(0).at(0).toString()));
    QCOMPARE(store.currentProblem(), Problem::Corrupt);
    QCOMPARE(store.keptInMemory(), 5);
    QCOMPARE(fileHash(path), before);

    // The operator moves the damaged file aside: a new one takes the records.
    moveAside(path);
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.recordCount(), 5);
    QCOMPARE(recovered.count(), 1);
    QCOMPARE(problems.count(), 1);
    QCOMPARE(fileHash(path + QStringLiteral(".bad")), before);
}

void FailuresTest::readOnly_data()
{
    QTest::addColumn<QString>("target"); // "file" or "folder"
    QTest::addColumn<int>("stored");     // units already in the file
    QTest::addColumn<QString>("says");

    // Which of the two a read-only folder reads as depends on how SQLite
    // meets it: no file can be made, or the file opens but not its WAL.
    QTest::newRow("read-only file") << "file" << 4 << QStringLiteral("只读");
    QTest::newRow("read-only folder, no file yet") << "folder" << 0 << QStringLiteral("无法打开");
    QTest::newRow("read-only folder, file there")
        << "folder" << 4 << QStringLiteral("只读|无法打开");
}

// As root, permission bits stop nothing: the path is made immutable with
// chattr, which the kernel enforces for root too.
void FailuresTest::readOnly()
{
    QFETCH(QString, target);
    QFETCH(int, stored);
    QFETCH(QString, says);

    const QString folder = dir->filePath(QStringLiteral("sub"));
    QVERIFY(QDir().mkpath(folder));
    path = QDir(folder).filePath(QStringLiteral("records.sqlite"));
    if (stored > 0)
        prepare(path, stored);
    const QByteArray before = fileHash(path);
    ReadOnly guard(target == QLatin1String("file") ? path : folder);
    if (!guard.ok())
        QSKIP(qPrintable("cannot make the path read-only here: " + guard.error()));
    qInfo("made read-only with %s", qPrintable(guard.how()));

    UnitStore store(byHand());
    QSignalSpy problems(&store, &RecordStore::problem);
    QVERIFY(!store.open(path));
    for (int i = 0; i < 4; ++i) {
        store.unitStarted(okAttempt());
        store.retryNow();
    }
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    const QString message = problems.at(0).at(0).toString();
    QVERIFY2(message.contains(QRegularExpression(says)), qPrintable(message));
    QVERIFY(message.endsWith(QStringLiteral("关闭本软件时仍未写入的记录将丢失。")));
    QCOMPARE(store.keptInMemory(), 4);
    if (target == QLatin1String("file"))
        QCOMPARE(store.unitCount({}), stored); // still readable for the window

    guard.undo();
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.unitCount({}), stored + 4);
    QCOMPARE(store.currentProblem(), Problem::None);
    store.close();
    if (stored > 0) {
        QVERIFY(!before.isEmpty());
        QCOMPARE(integrity(path), QStringLiteral("ok"));
    }
}

// A copy of a store taken while it was in use, say from a station's share,
// in a folder the reader cannot write: the records still in its WAL are read.
void FailuresTest::readOnlyCopyWithWal()
{
    const QString folder = dir->filePath(QStringLiteral("copy"));
    QVERIFY(QDir().mkpath(folder));
    const QString copy = QDir(folder).filePath(QStringLiteral("records.sqlite"));
    {
        RecordStore store;
        QVERIFY(store.open(path));
        for (int i = 0; i < 3; ++i)
            addUnit(store, QDateTime::currentDateTimeUtc(), Verdict::Passed);
        store.waitForWrites();
        for (const QString suffix : {"", "-wal"})
            QVERIFY(QFile::copy(path + suffix, copy + suffix));
    }
    QVERIFY(QFileInfo(copy + QStringLiteral("-wal")).size() > 0);
    const QByteArray before = fileHash(copy) + fileHash(copy + QStringLiteral("-wal"));
    ReadOnly guard(folder);
    if (!guard.ok())
        QSKIP(qPrintable("cannot make the folder read-only here: " + guard.error()));

    RecordStore store;
    QVERIFY(store.openReadOnly(copy));
    QCOMPARE(allRecords(store).size(), 3 * 3);
    QCOMPARE(store.unitCount({}), 3);
    store.close();
    QCOMPARE(fileHash(copy) + fileHash(copy + QStringLiteral("-wal")), before);
}

void FailuresTest::locked_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::newRow("locked while open") << true;
    QTest::newRow("opened while locked") << false;
}

// Another process holds an exclusive transaction. Recording must not wait
// for it: the window would freeze.
void FailuresTest::locked()
{
    QFETCH(bool, openFirst);
    prepare(path, 2);
    UnitStore store(byHand());
    QSignalSpy problems(&store, &RecordStore::problem);
    if (openFirst)
        QVERIFY(store.open(path));

    QProcess holder;
    holder.start(helperPath(), {QStringLiteral("lock"), path});
    QVERIFY2(holder.waitForReadyRead(10000), qPrintable(holder.errorString()));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

    if (!openFirst)
        store.open(path);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 5; ++i)
        store.unitStarted(okAttempt());
    QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    QVERIFY2(problems.at(0).at(0).toString().contains(QStringLiteral("锁住")),
             qPrintable(problems.at(0).at(0).toString()));
    QCOMPARE(store.keptInMemory(), 5);
    QCOMPARE(store.unitCount({}), 2); // reading goes on beside the lock

    holder.write("\n");
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(store.keptInMemory(), 0);
    QCOMPARE(store.unitCount({}), 7);
    QCOMPARE(problems.count(), 1);
}

// The file may not grow past its limit (PRAGMA max_page_count): SQLite
// answers SQLITE_FULL as it does on a full disk.
void FailuresTest::sizeLimitReached()
{
    prepare(path, 2);
    RecordStore::Options options = byHand();
    options.sizeLimit = QFileInfo(path).size() + 8 * 4096;
    UnitStore store(options);
    QSignalSpy problems(&store, &RecordStore::problem);
    QVERIFY(store.open(path));
    store.unitStarted(okAttempt());
    int written = 0;
    while (problems.isEmpty() && written < 20000) {
        store.add(reading(Quantity::Temperature, 20, 20, 1));
        store.waitForWrites();
        ++written;
    }
    for (int i = 0; i < 10; ++i)
        store.add(reading(Quantity::Temperature, 20, 20, 1));
    store.retryNow();
    store.waitForWrites();
    QCOMPARE(problems.count(), 1);
    QVERIFY2(problems.at(0).at(0).toString().contains(QStringLiteral("磁盘已满")),
             qPrintable(problems.at(0).at(0).toString()));
    QCOMPARE(store.currentProblem(), Problem::DiskFull);
    QCOMPARE(store.keptInMemory(), 11);
    QCOMPARE(store.recordCount(), 2 * 3 + 1 + written - 1);
    store.close();
    QCOMPARE(integrity(path), QStringLiteral("ok"));
}

// A real full disk: the helper runs in a mount namespace of its own on a
// 4 MiB tmpfs (unshare needs no privilege where user namespaces are on).
void FailuresTest::diskFull()
{
    const QString folder = dir->filePath(QStringLiteral("tiny"));
    QVERIFY(QDir().mkpath(folder));
    QProcess helper;
    helper.start(
        QStringLiteral("unshare"),
        {QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
         QStringLiteral("sh"), QStringLiteral("-c"),
         QStringLiteral("mount -t tmpfs -o size=4m tmpfs \"$1\" && exec \"$2\" full \"$1\""),
         QStringLiteral("sh"), folder, helperPath()});
    if (!helper.waitForStarted(10000))
        QSKIP("unshare is not installed: no private tmpfs for a real full disk");
    QVERIFY(helper.waitForFinished(60000));
    const QByteArray err = helper.readAllStandardError();
    if (helper.exitCode() != 0 && (err.startsWith("unshare:") || err.startsWith("mount:")))
        QSKIP(qPrintable("no user namespace for a private tmpfs: " + QString::fromLocal8Bit(err)));
    QCOMPARE(helper.exitCode(), 0);
    const auto out = lines(helper.readAllStandardOutput());
    QCOMPARE(out.value("before"), QStringLiteral("21"));
    // Said once for each stretch of failures, never again within one.
    const int problems = out.value("problems").toInt();
    QVERIFY(problems >= 1);
    QCOMPARE(problems, out.value("recoveries_while_full").toInt() + out.value("failing").toInt());
    for (const QString &text : out.values("problem"))
        QVERIFY2(text.contains(QStringLiteral("磁盘已满")), qPrintable(text));
    QVERIFY(out.value("kept_most").toInt() >= 1);
    QCOMPARE(out.value("kept_after"), QStringLiteral("0"));
    QCOMPARE(out.value("problem_after"), QString::number(int(Problem::None)));
    // Every record taken, before, during and after: none lost, none twice.
    QCOMPARE(out.value("after"), out.value("appended"));
    QCOMPARE(out.value("integrity"), QStringLiteral("ok"));
}

QTEST_GUILESS_MAIN(FailuresTest)
#include "tst_records_failures.moc"
