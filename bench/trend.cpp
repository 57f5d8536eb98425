// The trend's budgets: what an append costs with a full day kept, what a
// day of both quantities takes in memory, what a redraw costs and how often
// the window redraws while readings pour in.
//
// MOVRA_BENCH_SHORT=1 shortens the timed runs to prove they still work.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <vector>

#include "trend/TrendHistory.h"
#include "ui/TrendWindow.h"

using namespace movra::trend;

namespace {

constexpr qint64 kT0 = 1700000000000LL;
constexpr int kDay = 24 * 3600;

bool shortRun()
{
    return qEnvironmentVariableIntValue("MOVRA_BENCH_SHORT") != 0;
}

// A day once a second in both series, humidity 400 ms after temperature;
// values that settle and wander in tenths.
void fillDay(TrendHistory &h, qint64 startMs = kT0)
{
    for (int s = 0; s < kDay; ++s) {
        const qint64 t = startMs + s * 1000LL;
        h.append(Quantity::Temperature, t, 25.0 + (s * 7 % 5) / 10.0);
        h.append(Quantity::Humidity, t + 400, 50.0 + (s * 11 % 9) / 10.0);
    }
}

qint64 residentBytes()
{
#ifdef Q_OS_LINUX
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1)
            return fields[1].toLongLong() * 4096;
    }
#endif
    return -1;
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size())));
    return sorted[i];
}

// The most of the stamps (ms) that fall within any one second.
size_t mostInASecond(const std::vector<qint64> &stamps)
{
    size_t most = 0;
    for (size_t i = 0, j = 0; i < stamps.size(); ++i) {
        while (j < stamps.size() && stamps[j] < stamps[i] + 1000)
            ++j;
        most = std::max(most, j - i);
    }
    return most;
}

// Each append timed alone (the clock reads, some 20 ns, included), over a
// day's worth of appends to a history that already holds a full day, so
// every append also drops the oldest point.
void BM_trend_appendFullDay(benchmark::State &state)
{
    TrendHistory h;
    fillDay(h);
    qint64 t = kT0 + kDay * 1000LL;
    std::vector<double> micros;
    micros.reserve(size_t(state.max_iterations));
    int i = 0;
    for (auto _ : state) {
        const Quantity q = i % 2 ? Quantity::Humidity : Quantity::Temperature;
        const double v = q == Quantity::Temperature ? 25.0 + (i * 7 % 5) / 10.0 : 50.0;
        const auto start = std::chrono::steady_clock::now();
        h.append(q, t + (i % 2) * 400, v);
        const auto end = std::chrono::steady_clock::now();
        const std::chrono::duration<double> took = end - start;
        state.SetIterationTime(took.count());
        micros.push_back(took.count() * 1e6);
        if (++i % 2 == 0)
            t += 1000;
    }
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = percentile(micros, 1.0);
    state.counters["points"] = h.series(Quantity::Temperature).size();
}
BENCHMARK(BM_trend_appendFullDay)->UseManualTime()->Iterations(2 * kDay);

// A day of both quantities: what the history reports and what the process
// grew by.
void BM_trend_memoryOfADay(benchmark::State &state)
{
    for (auto _ : state) {
        const qint64 before = residentBytes();
        auto *h = new TrendHistory;
        fillDay(*h);
        const qint64 after = residentBytes();
        state.counters["history_MiB"] = double(h->memoryBytes()) / (1024.0 * 1024.0);
        state.counters["rss_growth_MiB"] =
            before < 0 ? -1.0 : double(after - before) / (1024.0 * 1024.0);
        benchmark::DoNotOptimize(h);
        delete h;
    }
}
BENCHMARK(BM_trend_memoryOfADay)->Iterations(1)->Unit(benchmark::kMillisecond);

// The operator changes the window or a band: the whole day is judged again.
void BM_trend_newSettingsOverADay(benchmark::State &state)
{
    TrendHistory h;
    fillDay(h);
    StabilitySettings s;
    for (auto _ : state) {
        s.windowSeconds = s.windowSeconds == 60 ? 3600 : 60;
        h.setSettings(s);
    }
}
BENCHMARK(BM_trend_newSettingsOverADay)->Unit(benchmark::kMillisecond);

// One redraw with a day kept and both bands on, including the event loop's
// layout and paint of the chart: the last hour, and the whole day.
void BM_trend_redraw(benchmark::State &state)
{
    TrendHistory h;
    fillDay(h);
    TrendWindow w(h, QString());
    w.setBand(Quantity::Temperature, Band{true, 25.2, 0.2});
    w.setBand(Quantity::Humidity, Band{true, 50.0, 0.5});
    w.show();
    QApplication::processEvents();
    const qint64 newest = h.newestMs();
    w.setVisibleRange(newest - state.range(0) * 3600 * 1000, newest);
    for (auto _ : state) {
        w.redrawNow();
        QApplication::processEvents();
    }
}
// A fixed count, so that callgrind's total divides into redraws.
BENCHMARK(BM_trend_redraw)
    ->Arg(1)
    ->Arg(24)
    ->ArgName("hours")
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);

// Readings every 10 ms (fifty times the usual rate of both quantities),
// each beyond what the chart shows, into a shown window with a day kept:
// how often it redraws.
void BM_trend_redrawRate(benchmark::State &state)
{
    const int seconds = shortRun() ? 1 : int(state.range(0));
    for (auto _ : state) {
        TrendHistory h;
        fillDay(h);
        TrendWindow w(h, QString());
        w.show();
        QApplication::processEvents();
        QElapsedTimer clock;
        std::vector<qint64> redraws;
        QObject::connect(&w, &TrendWindow::redrawn, [&] { redraws.push_back(clock.elapsed()); });
        qint64 t = h.newestMs();
        int n = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            t += 500;
            ++n;
            // Rising: every reading lies beyond what the chart shows.
            h.append(n % 2 ? Quantity::Humidity : Quantity::Temperature, t, 25.0 + n / 10.0);
        });
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        clock.start();
        tick.start(10);
        loop.exec();
        tick.stop();

        qint64 minGap = -1;
        for (size_t i = 1; i < redraws.size(); ++i)
            if (minGap < 0 || redraws[i] - redraws[i - 1] < minGap)
                minGap = redraws[i] - redraws[i - 1];
        state.counters["redraws_per_s"] = double(redraws.size()) / seconds;
        state.counters["most_in_any_1s"] = double(mostInASecond(redraws));
        state.counters["min_gap_ms"] = double(minGap);
    }
}
BENCHMARK(BM_trend_redrawRate)
    ->Arg(20)
    ->ArgName("seconds")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// What an open window adds to the process's CPU time, on the last hour,
// following: a 10 ms timer stands for the tick, both quantities come once a
// second (steady, with the usual tenth of noise), the link statistics change
// with every reading, and historyFed() is called as the tool does. The same
// run with the window hidden is the yardstick.
void BM_trend_cpuWhileOpen(benchmark::State &state)
{
    const bool shown = state.range(1) != 0;
    const int seconds = shortRun() ? 2 : int(state.range(0));
    for (auto _ : state) {
        TrendHistory h;
        fillDay(h, QDateTime::currentMSecsSinceEpoch() - kDay * 1000LL);
        TrendWindow w(h, QString());
        w.setBand(Quantity::Temperature, Band{true, 25.2, 0.5});
        movra::LinkStats stats;
        w.setLinkStatsProvider([&stats] { return stats; });
        if (shown)
            w.show();
        QApplication::processEvents();
        const int before = w.redrawCount();
        QElapsedTimer clock;
        std::vector<qint64> redraws;
        QObject::connect(&w, &TrendWindow::redrawn, [&] { redraws.push_back(clock.elapsed()); });

        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (++ticks % 100)
                return;
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            h.append(Quantity::Temperature, now, 25.0 + (ticks / 100 % 2) / 10.0);
            h.append(Quantity::Humidity, now + 1, 50.0 + (ticks / 100 % 3) / 10.0);
            stats.requests += 2;
            stats.replies += 2;
            stats.response.add(3);
            stats.response.add(2);
            w.historyFed();
        });
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        const std::clock_t cpu = std::clock();
        clock.start();
        tick.start(10);
        loop.exec();
        const double cpuMs = double(std::clock() - cpu) * 1000.0 / CLOCKS_PER_SEC;
        state.counters["cpu_ms_per_s"] = cpuMs / seconds;
        state.counters["redraws_per_s"] = double(w.redrawCount() - before) / seconds;
        state.counters["most_in_any_1s"] = double(mostInASecond(redraws));
    }
}
BENCHMARK(BM_trend_cpuWhileOpen)
    ->Args({60, 0})
    ->Args({60, 1})
    ->ArgNames({"seconds", "shown"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
