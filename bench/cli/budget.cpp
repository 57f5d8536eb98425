// movra's budgets, against the simulated transmitter on a pseudo-terminal:
//
//   movra --baud 9600 check --temp 25:0.5 --humi 45:1   exec to exit <= 150 ms
//   movra --baud auto identify, device at each rate     worst case   <= 1.2 s
//   first frame on the wire after exec                               <= 30 ms
//   peak RSS                                                         <= 15 MiB
//
// and the speed of the line, with budgets from mbpoll 1.4.11 on the same
// kind of pseudo-terminal (one reading 24 ms and 3 ms of CPU, 20 back-to-back
// reads 26 ms):
//
//   movra --no-records read                                exec to exit <= 36 ms
//   movra --no-records read --count 20 --interval 0        exec to exit <= 52 ms
//   CPU (user + system) of one reading                                  <= 6 ms
//
//
// and with --central, against a throwaway PostgreSQL server of its own:
//
//   movra --baud 9600 check --temp 25:0.5, the copy waited for      <= 400 ms
//   after each run, as many records in the central database as in the file
//
//   movra_bench_cli [--runs N] [--short] [--central]
//
// The simulator runs on a thread of this process and stamps the first byte
// it hears; movra is started with posix_spawn and reaped with wait4, whose
// rusage gives its peak RSS. movra finds the port in a Setting.ini of its
// own, as on a station, and stores its records under the same scratch
// folder. Prints a table; exits 1 only when a run does not succeed.

#include <QCoreApplication>
#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "Clock.h"
#ifdef MOVRA_BENCH_CENTRAL
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "PgCluster.h"
#endif
#include "SimulatorHost.h"

extern char **environ;

using movrabench::nowNs;

namespace {

// The device, on its own thread, so that it answers while this one waits.
class Device : public QThread
{
public:
    QString start()
    {
        QThread::start();
        m_ready.acquire();
        return m_path;
    }
    void setRate(qint32 rate)
    {
        QMetaObject::invokeMethod(
            m_host, [this, rate] { m_host->model().setBaudRate(rate); },
            Qt::BlockingQueuedConnection);
    }
    void arm() { m_firstNs = 0; }
    qint64 firstByteNs() const { return m_firstNs; }

protected:
    void run() override
    {
        movrasim::SimulatorHost host;
        host.model().setFixedTemperature(251);
        host.model().setFixedHumidity(453);
        QObject::connect(&host, &movrasim::SimulatorHost::bytesReceived, &host,
                         [this](const QByteArray &) {
                             qint64 none = 0;
                             m_firstNs.compare_exchange_strong(none, nowNs());
                         });
        m_host = &host;
        m_path = host.start();
        m_ready.release();
        exec();
        host.stop();
    }

private:
    movrasim::SimulatorHost *m_host = nullptr;
    QString m_path;
    QSemaphore m_ready;
    std::atomic<qint64> m_firstNs{0};
};

struct Sample
{
    int status = -1;
    double ms = 0;            // exec to exit
    double firstFrameMs = -1; // exec to the device's first byte
    double rssMiB = 0;
    double cpuMs = 0; // user + system
};

Sample spawn(const QStringList &args, Device &device)
{
    QList<QByteArray> owned{QByteArray(MOVRA_CLI)};
    for (const QString &a : args)
        owned << a.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);

    Sample s;
    device.arm();
    pid_t pid = 0;
    const qint64 start = nowNs();
    if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) == 0) {
        int wstatus = 0;
        rusage usage{};
        if (wait4(pid, &wstatus, 0, &usage) == pid && WIFEXITED(wstatus))
            s.status = WEXITSTATUS(wstatus);
        s.ms = double(nowNs() - start) / 1e6;
        s.rssMiB = double(usage.ru_maxrss) / 1024.0;
        const auto ms = [](const timeval &t) {
            return double(t.tv_sec) * 1e3 + t.tv_usec / 1e3;
        };
        s.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
        if (device.firstByteNs() > 0)
            s.firstFrameMs = double(device.firstByteNs() - start) / 1e6;
    }
    posix_spawn_file_actions_destroy(&quiet);
    return s;
}

struct Figures
{
    double min = 0, median = 0, p95 = 0, max = 0;
};

Figures figures(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.isEmpty())
        return {};
    const auto at = [&](double p) {
        return v[qMin(v.size() - 1, int(p * double(v.size())))];
    };
    return {v.first(), at(0.5), at(0.95), v.last()};
}

void row(const char *what, const Figures &f, const char *unit, double budget)
{
    const QByteArray limit = "<= " + QByteArray::number(budget) + ' ' + unit;
    std::printf("| %-46s | %7.1f | %7.1f | %7.1f | %7.1f | %-11s | %-3s |\n", what, f.min, f.median,
                f.p95, f.max, limit.constData(), f.max <= budget ? "yes" : "no");
}

// One reading and twenty, without records; peak RSS with and without.
bool speedRows(Device &device, int runs)
{
    bool ok = true;
    QVector<double> oneMs, cpuMs, twentyMs, bareRss, recordsRss;
    for (int i = 0; i < runs; ++i) {
        const Sample one = spawn({"--baud", "9600", "--no-records", "read"}, device);
        const Sample twenty = spawn(
            {"--baud", "9600", "--no-records", "read", "--count", "20", "--interval", "0"}, device);
        const Sample kept = spawn({"--baud", "9600", "read"}, device);
        ok = ok && one.status == 0 && twenty.status == 0 && kept.status == 0;
        oneMs << one.ms;
        cpuMs << one.cpuMs;
        twentyMs << twenty.ms;
        bareRss << one.rssMiB;
        recordsRss << kept.rssMiB;
    }
    row("--no-records read, exec to exit (ms)", figures(oneMs), "ms", 36);
    row("--no-records read --count 20 --interval 0 (ms)", figures(twentyMs), "ms", 52);
    row("--no-records read, CPU user + system (ms)", figures(cpuMs), "ms", 6);
    row("--no-records read, peak RSS (MiB)", figures(bareRss), "MiB", 15);
    row("read, keeping records, peak RSS (MiB)", figures(recordsRss), "MiB", 15);
    return ok;
}

bool writeSettings(const QString &config, const QString &port)
{
    QDir().mkpath(config + QStringLiteral("/MovraTestTool"));
    QFile ini(config + QStringLiteral("/MovraTestTool/Setting.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return false;
    // Index 2 of the window's list: 9600.
    ini.write("[General]\nlastComName=" + port.toUtf8() + "\nlastBraudRateIndex=2\n");
    return true;
}

#ifdef MOVRA_BENCH_CENTRAL
qint64 localCount(const QString &file)
{
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "local");
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        QSqlQuery q(db);
        if (db.open() && q.exec(QStringLiteral("SELECT count(*) FROM records")) && q.next())
            n = q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase("local");
    return n;
}

// The check with a central database up: its time, and whether the central
// copy is complete after each run.
bool central(int runs, Device &device, const QString &config)
{
    records_test::PgCluster pg;
    QString why;
    if (!pg.create(&why)) {
        std::fprintf(stderr, "movra_bench_cli: no PostgreSQL server: %s\n", qPrintable(why));
        return false;
    }
    qputenv("MOVRA_RECORDS_URL", pg.url().toUtf8());
    const QString file = config + QStringLiteral("/MovraTestTool/records.sqlite");
    QVector<double> ms;
    int equal = 0;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        const Sample s = spawn({"--baud", "9600", "check", "--temp", "25:0.5"}, device);
        ok = ok && s.status == 0;
        ms << s.ms;
        equal += localCount(file) == pg.count() ? 1 : 0;
    }
    qunsetenv("MOVRA_RECORDS_URL");
    row("check with a central database, exec to exit (ms)", figures(ms), "ms", 400);
    std::printf("\n%d check runs with a central database: local and central counts equal after "
                "%d of them (%lld records)\n",
                runs, equal, localCount(file));
    return ok && equal == runs;
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--short"));
    int runs = quick ? 3 : 50;
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    if (at > 0 && at + 1 < args.size())
        runs = qMax(1, args.at(at + 1).toInt());
    const int scanRuns = quick ? 1 : qMax(1, runs / 5);

    QTemporaryDir scratch;
    Device device;
    const QString port = device.start();
    if (!scratch.isValid() || port.isEmpty() ||
        !writeSettings(scratch.path() + QStringLiteral("/config"), port)) {
        std::fprintf(stderr, "movra_bench_cli: no scratch folder or simulator\n");
        return 1;
    }
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.path() + QStringLiteral("/config")));
    qputenv("HOME", QFile::encodeName(scratch.path()));
    qunsetenv("MOVRA_TEST_PASSWORD");

    bool ok = true;
    QVector<double> checkMs, firstMs, rss, helpMs, helpRss, bareMs, scanWorst;
    for (int i = 0; i < runs; ++i) {
        const Sample h = spawn({QStringLiteral("--help")}, device);
        helpMs << h.ms;
        helpRss << h.rssMiB;
        const Sample s =
            spawn({"--baud", "9600", "check", "--temp", "25:0.5", "--humi", "45:1"}, device);
        ok = ok && s.status == 0 && h.status == 0 && s.firstFrameMs >= 0;
        checkMs << s.ms;
        firstMs << s.firstFrameMs;
        rss << s.rssMiB;
        const Sample bare =
            spawn({"--baud", "9600", "--no-records", "check", "--temp", "25:0.5", "--humi", "45:1"},
                  device);
        ok = ok && bare.status == 0;
        bareMs << bare.ms;
    }
    std::printf("| %-46s | %7s | %7s | %7s | %7s | %-11s | %-3s |\n",
                "movra, against the simulator", "min", "median", "p95", "max", "budget", "met");
    std::printf("|---|---|---|---|---|---|---|\n");
    row("check at 9600 Bd, exec to exit (ms)", figures(checkMs), "ms", 150);
    row("check, first frame on the wire after exec (ms)", figures(firstMs), "ms", 30);
    for (int i = 0; i < movra::kBaudRateCount; ++i) {
        const qint32 rate = movra::baudRateAt(i);
        device.setRate(rate);
        QVector<double> ms;
        for (int k = 0; k < scanRuns; ++k) {
            const Sample s = spawn({"--baud", "auto", "identify"}, device);
            ok = ok && s.status == 0;
            ms << s.ms;
            rss << s.rssMiB;
        }
        scanWorst << figures(ms).max;
        const QByteArray what =
            "--baud auto identify, device at " + QByteArray::number(rate) + " (ms)";
        row(what.constData(), figures(ms), "ms", 1200);
    }
    row("--baud auto: worst over the seven rates (ms)", figures(scanWorst), "ms", 1200);
    device.setRate(9600);
    ok = speedRows(device, runs) && ok;
    row("peak RSS, every run above (MiB)", figures(rss), "MiB", 15);
    row("for scale: the check with --no-records (ms)", figures(bareMs), "ms", 150);
    row("for scale: movra --help, exec to exit (ms)", figures(helpMs), "ms", 150);
    row("for scale: movra --help, peak RSS (MiB)", figures(helpRss), "MiB", 15);
#ifdef MOVRA_BENCH_CENTRAL
    if (args.contains(QStringLiteral("--central")))
        ok = central(quick ? 3 : qMax(runs, 100), device,
                     scratch.path() + QStringLiteral("/config")) &&
             ok;
#endif
    std::printf("\n%d check runs, %d scan runs a rate%s\n", runs, scanRuns,
                ok ? "" : "; SOME RUNS FAILED");
    device.quit();
    device.wait();
    return ok ? 0 : 1;
}
