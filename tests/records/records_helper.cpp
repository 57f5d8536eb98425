// A second process for the record store tests.
//
//   lock FILE                 holds an exclusive transaction on FILE until a
//                             line arrives on standard input
//   station FILE URL NAME N   writes N records as station NAME and waits
//                             until the central database at URL has them all
//   full FOLDER               runs the store on FOLDER, a tiny filesystem of
//                             its own, fills it, frees it, says what it saw
//
// Results go to standard output as "key value" lines.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>
#include <QVariant>
#include <cstdio>

#include "RecordsTestSupport.h"
#include "records/RecordStore.h"

using namespace records_test;

namespace {

void say(const QString &key, const QString &value = QString())
{
    std::printf("%s %s\n", qPrintable(key), value.toUtf8().constData());
    std::fflush(stdout);
}

int holdLock(const QString &file)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(file);
    if (!db.open())
        return 2;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
        say("error", q.lastError().text());
        return 3;
    }
    say("locked");
    char line[16];
    std::fgets(line, sizeof line, stdin);
    q.exec(QStringLiteral("ROLLBACK"));
    return 0;
}

int station(const QString &file, const QString &url, const QString &name, int count)
{
    RecordStore::Options options;
    options.centralRetryFirstMs = 50;
    options.centralRetryMaxMs = 500;
    UnitStore store(options);
    store.setStation(name);
    store.setToolVersion(QStringLiteral("helper"));
    if (!store.open(file) || !store.startCentral(url))
        return 2;
    QObject::connect(&store, &RecordStore::problem,
                     [](const QString &text) { say("problem", text); });
    // A unit of ten records per turn of the event loop, so that writing and
    // copying overlap, as on a station that tests all day.
    int written = 0;
    QTimer writer;
    QObject::connect(&writer, &QTimer::timeout, [&] {
        store.unitStarted(okAttempt());
        for (int i = 0; i < 8; ++i)
            store.add(reading(Quantity::Temperature, 20 + i / 10.0, 20.3, 0.5));
        store.unitEnded(Disconnect{EndedBy::Operator, {}});
        written += 10;
        if (written >= count)
            writer.stop();
    });
    writer.start(1);
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (written >= count && waitingForCentral(file, url) == 0) {
            say("done", QString::number(store.recordCount()));
            QCoreApplication::exit(0);
        }
    });
    check.start(50);
    QTimer::singleShot(120000, [] { QCoreApplication::exit(4); });
    return QCoreApplication::exec();
}

bool fill(const QString &path)
{
    QFile filler(path);
    if (!filler.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(4096, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    return true;
}

// SQLite reuses the space its WAL already has, so on a full disk some
// writes may still go in: what must hold is that each stretch of failures
// is said once and that every record ends up in the file exactly once.
int fullDisk(const QString &folder)
{
    RecordStore::Options options;
    options.retryFirstMs = 3600 * 1000; // retried by hand below
    UnitStore store(options);
    int problems = 0;
    int recoveries = 0;
    QObject::connect(&store, &RecordStore::problem, [&](const QString &t) {
        ++problems;
        say("problem", t);
    });
    QObject::connect(&store, &RecordStore::recovered, [&](const QString &) { ++recoveries; });
    const QString file = QDir(folder).filePath(QStringLiteral("records.sqlite"));
    if (!store.open(file))
        return 2;
    store.unitStarted(okAttempt());
    for (int i = 0; i < 20; ++i)
        store.add(reading(Quantity::Humidity, 50, 50, 1));
    store.waitForWrites();
    int appended = 21;
    say("before", QString::number(store.recordCount()));

    const QString fillerPath = QDir(folder).filePath(QStringLiteral("filler"));
    if (!fill(fillerPath))
        return 3;
    while (problems == 0 && appended < 5000) {
        store.add(reading(Quantity::Humidity, 50, 50, 1));
        store.waitForWrites();
        ++appended;
    }
    int keptMost = 0;
    for (int i = 0; i < 10; ++i) {
        store.add(reading(Quantity::Humidity, 50, 50, 1));
        ++appended;
        if (i % 3 == 0)
            store.retryNow();
        store.waitForWrites();
        keptMost = qMax(keptMost, store.keptInMemory());
    }
    say("appended", QString::number(appended));
    say("problems", QString::number(problems));
    say("recoveries_while_full", QString::number(recoveries));
    say("kept_most", QString::number(keptMost));
    say("failing", QString::number(store.currentProblem() == Problem::None ? 0 : 1));

    QFile::remove(fillerPath);
    store.retryNow();
    store.waitForWrites();
    say("kept_after", QString::number(store.keptInMemory()));
    say("problem_after", QString::number(int(store.currentProblem())));
    if (store.currentProblem() != Problem::None)
        say("problem_text_after", store.problemText());
    say("after", QString::number(store.recordCount()));
    store.close();
    say("integrity", integrity(file));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    isolate();
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args.at(0) == QLatin1String("lock"))
        return holdLock(args.at(1));
    if (args.size() == 5 && args.at(0) == QLatin1String("station"))
        return station(args.at(1), args.at(2), args.at(3), args.at(4).toInt());
    if (args.size() == 2 && args.at(0) == QLatin1String("full"))
        return fullDisk(args.at(1));
    std::fprintf(stderr, "usage: lock FILE | station FILE URL NAME N | full FOLDER\n");
    return 1;
}
