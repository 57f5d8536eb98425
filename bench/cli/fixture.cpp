// movra on a fixture of units at once, beside one unit alone, against
// transmitter-sim --units on pseudo-terminals at 9600 Bd:
//
//   check --temp 25:0.5 --humi 45:1 --count 3 --interval 1
//   8 units                     wall <= 1.25 x one unit's
//   8 units, one of them silent the seven's last event <= 1.25 x one unit's
//                               wall, and the silent unit ends within its
//                               own time-outs (3 x 140 ms for identification)
//   32 units                    wall <= 1.5 x, CPU <= 32 x one unit's,
//                               peak RSS <= 15 MiB + 0.5 MiB a unit
//   calibrate --temp 25 --humi 45 --settle 0 --samples 3
//   8 units                     wall <= 1.25 x one unit's
//
//   movra_bench_fixture [--runs N] [--short]
//
// movra is started with posix_spawn, its stdout read through a pipe with a
// time stamp a line, and reaped with wait4, whose rusage gives its CPU time
// and peak RSS. Records go to a file in a scratch folder. Prints a table;
// exits 1 only when a run does not end as expected.

#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Clock.h"

extern char **environ;

using movrabench::nowNs;

namespace {

constexpr int kHealthy = 32; // units of one simulator; another one stays silent

struct Sample
{
    int status = -1;
    double wallMs = 0;
    double cpuMs = 0;
    double rssMiB = 0;
    double lastHealthyMs = 0; // the last event of a unit that answers
    double silentEndMs = -1;  // the silent unit's error
};

pid_t spawnWithPipe(const QList<QByteArray> &args, int *readEnd, bool quietErr)
{
    std::vector<char *> argv;
    QList<QByteArray> owned = args;
    for (QByteArray &a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    if (quietErr)
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    *readEnd = fds[0];
    return pid;
}

// Every line of `fd` until it closes, with the time it came.
QVector<QPair<qint64, QByteArray>> readLines(int fd)
{
    QVector<QPair<qint64, QByteArray>> lines;
    QByteArray pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        const qint64 at = nowNs();
        pending.append(buffer, int(n));
        int nl = 0;
        while ((nl = pending.indexOf('\n')) >= 0) {
            lines.append({at, pending.left(nl)});
            pending.remove(0, nl + 1);
        }
    }
    close(fd);
    return lines;
}

const QList<QByteArray> kCheck{"check",   "--temp", "25:0.5",     "--humi", "45:1",
                               "--count", "3",      "--interval", "1"};
const QList<QByteArray> kCalibrate{"calibrate", "--temp", "25",        "--humi", "45",
                                   "--settle",  "0",      "--samples", "3"};

Sample runMovra(const QStringList &ports, const QString &silentPort, const QString &db,
                const QList<QByteArray> &command = kCheck)
{
    QList<QByteArray> args{QByteArray(MOVRA_CLI)};
    for (const QString &p : ports)
        args << "--port" << p.toLocal8Bit();
    args << "--json"
         << "--db" << db.toLocal8Bit();
    args += command;
    Sample s;
    int fd = -1;
    const qint64 start = nowNs();
    const pid_t pid = spawnWithPipe(args, &fd, true);
    if (pid < 0)
        return s;
    const auto lines = readLines(fd);
    int wstatus = 0;
    rusage usage{};
    if (wait4(pid, &wstatus, 0, &usage) == pid && WIFEXITED(wstatus))
        s.status = WEXITSTATUS(wstatus);
    s.wallMs = double(nowNs() - start) / 1e6;
    s.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
              double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    s.rssMiB = double(usage.ru_maxrss) / 1024.0;
    const QByteArray silent = "\"port\":\"" + silentPort.toLocal8Bit() + '"';
    for (const auto &[at, line] : lines) {
        const double ms = double(at - start) / 1e6;
        if (line.startsWith("{\"event\":\"summary\""))
            continue;
        if (!silentPort.isEmpty() && line.contains(silent))
            s.silentEndMs = ms;
        else
            s.lastHealthyMs = std::max(s.lastHealthyMs, ms);
    }
    return s;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

struct Row
{
    QVector<Sample> samples;
    double of(double Sample::*field) const
    {
        QVector<double> v;
        for (const Sample &s : samples)
            v << s.*field;
        return median(v);
    }
    double maxOf(double Sample::*field) const
    {
        double m = 0;
        for (const Sample &s : samples)
            m = std::max(m, s.*field);
        return m;
    }
};

void line(const char *what, double value, const char *unit, double budget)
{
    const QByteArray limit =
        budget > 0 ? "<= " + QByteArray::number(budget, 'f', 1) + ' ' + unit : QByteArray("-");
    std::printf("| %-58s | %9.1f %-3s | %-15s | %-3s |\n", what, value, unit, limit.constData(),
                budget <= 0       ? ""
                : value <= budget ? "yes"
                                  : "no");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = args.contains(QStringLiteral("--short")) ? 1 : 3;
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    if (at > 0 && at + 1 < args.size())
        runs = qMax(1, args.at(at + 1).toInt());

    QTemporaryDir scratch;
    const QString prefix = scratch.path() + QStringLiteral("/unit");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.path() + QStringLiteral("/config")));
    qputenv("HOME", QFile::encodeName(scratch.path()));
    qunsetenv("MOVRA_TEST_PASSWORD");
    const QString silent = scratch.path() + QStringLiteral("/silent");
    const QList<QByteArray> simArgs{QByteArray(MOVRA_SIM),
                                    "--pty",
                                    "--units",
                                    QByteArray::number(kHealthy),
                                    "--link",
                                    prefix.toLocal8Bit(),
                                    "--temperature",
                                    "25",
                                    "--humidity",
                                    "45"};
    const QList<QByteArray> silentArgs{QByteArray(MOVRA_SIM), "--pty",   "--link",
                                       silent.toLocal8Bit(),  "--fault", "silent"};
    int simOut = -1;
    int silentOut = -1;
    const pid_t sim = spawnWithPipe(simArgs, &simOut, true);
    const pid_t silentSim = spawnWithPipe(silentArgs, &silentOut, true);
    const auto up = [&] {
        return QFileInfo::exists(prefix + QString::number(kHealthy)) && QFileInfo::exists(silent);
    };
    for (int i = 0; i < 500 && !up(); ++i)
        QThread::msleep(10);
    if (sim < 0 || silentSim < 0 || !up()) {
        std::fprintf(stderr, "movra_bench_fixture: the simulator did not start\n");
        return 1;
    }
    const auto ports = [&](int n) {
        QStringList p;
        for (int k = 1; k <= n; ++k)
            p << prefix + QString::number(k);
        return p;
    };
    const QString db = scratch.path() + QStringLiteral("/records.sqlite");

    Row one, eight, eightSilent, all, calOne, calEight;
    bool ok = true;
    for (int i = 0; i < runs; ++i) {
        one.samples << runMovra(ports(1), {}, db);
        eight.samples << runMovra(ports(8), {}, db);
        eightSilent.samples << runMovra(ports(7) << silent, silent, db);
        all.samples << runMovra(ports(kHealthy), {}, db);
        calOne.samples << runMovra(ports(1), {}, db, kCalibrate);
        calEight.samples << runMovra(ports(8), {}, db, kCalibrate);
        ok = ok && one.samples.last().status == 0 && eight.samples.last().status == 0 &&
             eightSilent.samples.last().status == 3 && all.samples.last().status == 0 &&
             calOne.samples.last().status == 0 && calEight.samples.last().status == 0;
    }
    for (const pid_t pid : {sim, silentSim}) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    close(simOut);
    close(silentOut);

    const double wall1 = one.of(&Sample::wallMs);
    const double cpu1 = one.of(&Sample::cpuMs);
    std::printf("check --temp 25:0.5 --humi 45:1 --count 3 --interval 1 and calibrate --temp 25 "
                "--humi 45 --settle 0 --samples 3, 9600 Bd, records to a file; medians of %d "
                "run(s)\n\n",
                runs);
    std::printf("| %-58s | %13s | %-15s | %-3s |\n", "", "figure", "budget", "met");
    std::printf("|%s|%s|%s|%s|\n", QByteArray(60, '-').constData(), QByteArray(15, '-').constData(),
                QByteArray(17, '-').constData(), QByteArray(5, '-').constData());
    line("1 unit: wall", wall1, "ms", 0);
    line("1 unit: CPU", cpu1, "ms", 0);
    line("1 unit: peak RSS", one.maxOf(&Sample::rssMiB), "MiB", 15.5);
    line("8 units: wall", eight.of(&Sample::wallMs), "ms", 1.25 * wall1);
    line("8 units: CPU", eight.of(&Sample::cpuMs), "ms", 0);
    line("8 units, 1 silent: the seven's last event", eightSilent.of(&Sample::lastHealthyMs), "ms",
         1.25 * wall1);
    // Three identification requests of 140 ms each, and the start.
    line("8 units, 1 silent: the silent unit's error", eightSilent.of(&Sample::silentEndMs), "ms",
         3 * 140 + 100);
    line("8 units, 1 silent: wall", eightSilent.of(&Sample::wallMs), "ms", 1.25 * wall1);
    line("32 units: wall", all.of(&Sample::wallMs), "ms", 1.5 * wall1);
    line("32 units: CPU", all.of(&Sample::cpuMs), "ms", 32 * cpu1);
    line("32 units: peak RSS", all.maxOf(&Sample::rssMiB), "MiB", 15 + 0.5 * kHealthy);
    const double calibrate1 = calOne.of(&Sample::wallMs);
    line("calibrate, 1 unit: wall", calibrate1, "ms", 0);
    line("calibrate, 8 units: wall", calEight.of(&Sample::wallMs), "ms", 1.25 * calibrate1);
    if (!ok)
        std::fprintf(stderr, "movra_bench_fixture: a run did not end with the expected status\n");
    return ok ? 0 : 1;
}
