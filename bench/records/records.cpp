// The record store's budgets:
//   - one record written from the calling (GUI) thread, p99, with 1,000,000
//     records already in the file: at most 1 ms;
//   - the records window opening on those 1,000,000 records: at most 300 ms;
//   - 24 hours of one-second readings of both values, judged: at most 50 MB.
//
// The 1,000,000-record file is built once (units of 50 records over 60 days)
// and kept in $MOVRA_RECORDS_BENCH_DIR (default: a folder in the temporary
// folder); every write benchmark works on a fresh copy of it. --short uses
// 20,000 records and few iterations, to prove the code runs.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <thread>

#include "records/RecordRows.h"
#include "records/RecordStore.h"
#include "ui/RecordsWindow.h"

using namespace movra::records;
using Clock = std::chrono::steady_clock;

namespace {

int fixtureRecords = 1000000;
int writeIterations = 5000;
int openIterations = 10;
const QDateTime start = QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);

QString benchDir()
{
    QString dir = qEnvironmentVariable("MOVRA_RECORDS_BENCH_DIR");
    if (dir.isEmpty())
        dir = QDir::temp().filePath(QStringLiteral("movra-records-bench"));
    QDir().mkpath(dir);
    return dir;
}

Record make(const QDateTime &t, const QUuid &unit, const RecordData &data)
{
    Record r;
    r.id = newId(t);
    r.unit = unit;
    r.time = t;
    r.utcOffset = 8 * 3600;
    r.station = QStringLiteral("装配线3号工位");
    r.toolVersion = QStringLiteral("1.31");
    r.data = data;
    return r;
}

Reading judged(Quantity q, double value, double reference, double tolerance)
{
    return Reading{
        q, value, reference, tolerance, value - reference, qAbs(value - reference) < tolerance};
}

Attempt attempt()
{
    return Attempt{
        QStringLiteral("COM3"), 9600, Mode::Normal, QStringLiteral("KVT582 V2.1"), 1, true, {}};
}

// A record as the recorder hands it over: the store stamps the rest.
Record inUnit(const QUuid &unit, const RecordData &data)
{
    Record r;
    r.unit = unit;
    r.data = data;
    return r;
}

// Runs `fill` on a raw connection to a file the store has laid out, in
// transactions of 10,000: the same insert code as the store, without one
// commit per record.
template <typename Fill> bool bulk(const QString &path, Fill fill)
{
    {
        RecordStore store;
        if (!store.open(path))
            return false;
    }
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bulk"));
        db.setDatabaseName(path);
        if (db.open()) {
            rows::Writer writer(db);
            QSqlQuery q(db);
            int inTransaction = 0;
            auto put = [&](const Record &r) {
                if (inTransaction == 0)
                    q.exec(QStringLiteral("BEGIN"));
                writer.write(r);
                if (++inTransaction == 10000) {
                    q.exec(QStringLiteral("COMMIT"));
                    inTransaction = 0;
                }
            };
            ok = writer.prepare();
            if (ok)
                fill(put);
            if (inTransaction > 0)
                q.exec(QStringLiteral("COMMIT"));
            q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bulk"));
    return ok;
}

// Units of 50: connection, two writes, a batch read, 45 judged readings,
// disconnect; one unit every 4 minutes.
QString fixture()
{
    const QString path =
        QDir(benchDir()).filePath(QStringLiteral("records-%1.sqlite").arg(fixtureRecords));
    if (QFileInfo::exists(path))
        return path;
    const QString building = path + QStringLiteral(".part");
    QFile::remove(building);
    const bool ok = bulk(building, [](auto put) {
        for (int u = 0; u * 50 < fixtureRecords; ++u) {
            const QDateTime t = start.addSecs(240 * qint64(u));
            const QUuid unit = newId(t);
            put(make(t, unit, attempt()));
            put(make(t.addSecs(1), unit, ParameterWrite{Parameter::Address, 1, true}));
            put(make(t.addSecs(2), unit,
                     ParameterWrite{Parameter::TempCorrection, -0.3, u % 7 != 0}));
            put(make(t.addSecs(3), unit, BatchRead{1, 9600, -0.3, 0.5, 0}));
            for (int i = 0; i < 45; ++i) {
                const bool temperature = i % 2 == 0;
                const double wobble = ((u * 45 + i) % 13 - 6) / 10.0;
                put(make(t.addSecs(4 + i), unit,
                         temperature ? judged(Quantity::Temperature, 23.0 + wobble, 23.0, 0.5)
                                     : judged(Quantity::Humidity, 50.0 + 2 * wobble, 50.0, 1.0)));
            }
            put(make(t.addSecs(49), unit, Disconnect{EndedBy::Operator, {}}));
        }
    });
    if (!ok || !QFile::rename(building, path))
        qFatal("cannot build the benchmark file %s", qPrintable(building));
    return path;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, size_t(p * double(values.size())));
    return values[at];
}

// One judged reading per call of RecordStore::append, as the GUI thread makes
// it. Args: microseconds between writes (0: back to back); 0 times the call
// alone, 1 the call and waitForWrites(), i.e. until the record is committed
// by the writer thread (its insert, commit, WAL restarts and checkpoints).
void BM_WriteOne(benchmark::State &state)
{
    const QString scratch = QDir(benchDir()).filePath(QStringLiteral("scratch.sqlite"));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(scratch + suffix);
    if (!QFile::copy(fixture(), scratch)) {
        state.SkipWithError("cannot copy the benchmark file");
        return;
    }
    RecordStore store;
    if (!store.open(scratch)) {
        state.SkipWithError("cannot open the benchmark file");
        return;
    }
    const qint64 before = store.recordCount();
    const QUuid unit = newId();
    store.append(inUnit(unit, attempt()));
    const auto pause = std::chrono::microseconds(state.range(0));
    const bool untilCommitted = state.range(1) != 0;
    std::vector<double> micros;
    micros.reserve(size_t(writeIterations));
    int i = 0;
    for (auto _ : state) {
        const Reading r = judged(i % 2 ? Quantity::Humidity : Quantity::Temperature,
                                 23.0 + (i % 9) / 10.0, 23.2, 0.5);
        ++i;
        const auto t0 = Clock::now();
        store.append(inUnit(unit, r));
        if (untilCommitted)
            store.waitForWrites();
        const std::chrono::duration<double> took = Clock::now() - t0;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);
    }
    store.waitForWrites();
    if (store.keptInMemory() > 0 || store.currentProblem() != Problem::None)
        state.SkipWithError("the writes did not reach the file");
    state.counters["records_before"] = double(before);
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["p999_us"] = percentile(micros, 0.999);
    state.counters["max_us"] = percentile(micros, 1.0);
}

// What the window does when it opens: the store opened (layout checked,
// background thread started), the units counted and the first page read.
void BM_OpenFirstPage(benchmark::State &state)
{
    const QString path = fixture();
    std::vector<double> millis;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        RecordStore store;
        store.open(path);
        const int count = store.unitCount({});
        const QVector<UnitSummary> page = store.units({}, 200);
        const std::chrono::duration<double> took = Clock::now() - t0;
        benchmark::DoNotOptimize(count);
        benchmark::DoNotOptimize(page.size());
        state.SetIterationTime(took.count());
        millis.push_back(took.count() * 1e3);
    }
    state.counters["max_ms"] = percentile(millis, 1.0);
}

// What the GUI thread waits for on the 1,000,000-record file: opening it
// (the writer thread does the work), the first record of a unit, and
// closing as the window does (budget 5 ms each); for scale, the wait for the
// commit of a reading, and the writer's own end after closing.
void BM_GuiWaits(benchmark::State &state)
{
    const QString scratch = QDir(benchDir()).filePath(QStringLiteral("gui.sqlite"));
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
        QFile::remove(scratch + suffix);
    if (!QFile::copy(fixture(), scratch)) {
        state.SkipWithError("cannot copy the benchmark file");
        return;
    }
    std::vector<double> open, first, commit, close, ending;
    const auto ms = [](Clock::time_point t0) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    };
    for (auto _ : state) {
        RecordStore store;
        auto t0 = Clock::now();
        store.openLater(scratch);
        open.push_back(ms(t0));
        store.waitForWrites(); // the writer has opened the file: not the GUI's wait
        t0 = Clock::now();
        const QUuid unit = newId();
        store.append(inUnit(unit, attempt()));
        first.push_back(ms(t0));
        store.append(inUnit(unit, judged(Quantity::Temperature, 23.1, 23.0, 0.5)));
        t0 = Clock::now();
        store.waitForWrites(); // for scale: the two records committed
        commit.push_back(ms(t0));
        t0 = Clock::now();
        store.closeLater(); // as the window closes
        close.push_back(ms(t0));
        t0 = Clock::now();
        RecordStore::finishClosing(); // for scale: the end left to the writer's thread
        ending.push_back(ms(t0));
        state.SetIterationTime((open.back() + first.back() + close.back()) / 1e3);
    }
    state.counters["open_max_ms"] = percentile(open, 1.0);
    state.counters["first_record_max_ms"] = percentile(first, 1.0);
    state.counters["close_max_ms"] = percentile(close, 1.0);
    state.counters["close_p50_ms"] = percentile(close, 0.5);
    state.counters["commit_p50_ms"] = percentile(commit, 0.5);
    state.counters["ended_alone_p50_ms"] = percentile(ending, 0.5);
}

// The window itself, shown offscreen, on a store already open.
void BM_WindowOpens(benchmark::State &state)
{
    RecordStore store;
    store.open(fixture());
    std::vector<double> millis;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        RecordsWindow window(&store);
        window.show();
        QCoreApplication::processEvents();
        const std::chrono::duration<double> took = Clock::now() - t0;
        benchmark::DoNotOptimize(window.unitsView()->model()->rowCount());
        state.SetIterationTime(took.count());
        millis.push_back(took.count() * 1e3);
    }
    state.counters["max_ms"] = percentile(millis, 1.0);
}

// 24 units of one hour, each a connection, a reading of both values every
// second with the check on, a disconnect: the file's size once closed.
void BM_DayOfReadings(benchmark::State &state)
{
    const QString path = QDir(benchDir()).filePath(QStringLiteral("day.sqlite"));
    const int seconds = fixtureRecords >= 1000000 ? 24 * 3600 : 3600;
    qint64 bytes = 0;
    for (auto _ : state) {
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + suffix);
        bulk(path, [seconds](auto put) {
            QUuid unit;
            for (int s = 0; s < seconds; ++s) {
                const QDateTime t = start.addSecs(s);
                if (s % 3600 == 0) {
                    unit = newId(t);
                    put(make(t, unit, attempt()));
                }
                const double wobble = (s % 11 - 5) / 10.0;
                put(make(t, unit, judged(Quantity::Temperature, 23.0 + wobble, 23.0, 0.5)));
                put(make(t, unit, judged(Quantity::Humidity, 50.0 + wobble, 50.0, 1.0)));
                if (s % 3600 == 3599)
                    put(make(t, unit, Disconnect{EndedBy::Operator, {}}));
            }
        });
        bytes = QFileInfo(path).size() + QFileInfo(path + QStringLiteral("-wal")).size();
    }
    state.counters["seconds"] = seconds;
    state.counters["MB"] = double(bytes) / 1e6;
    state.counters["MB_per_24h"] = double(bytes) / 1e6 * (24.0 * 3600 / seconds);
    state.counters["bytes_per_reading"] = double(bytes) / (2.0 * seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::vector<char *> args(argv, argv + argc);
    const auto shortRun = std::find_if(args.begin(), args.end(),
                                       [](const char *a) { return qstrcmp(a, "--short") == 0; });
    if (shortRun != args.end()) {
        args.erase(shortRun);
        fixtureRecords = 20000;
        writeIterations = 200;
        openIterations = 2;
    }
    benchmark::RegisterBenchmark("records/write_one", BM_WriteOne)
        ->ArgNames({"pause_us", "committed"})
        ->Args({1000, 0})
        ->Args({0, 0})
        ->Args({1000, 1})
        ->Args({0, 1})
        ->Iterations(writeIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("records/open_first_page", BM_OpenFirstPage)
        ->Iterations(openIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("records/gui_waits", BM_GuiWaits)
        ->Iterations(openIterations * 3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("records/window_opens", BM_WindowOpens)
        ->Iterations(openIterations)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("records/day_of_readings", BM_DayOfReadings)
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
