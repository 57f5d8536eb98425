// The bench driver: runs the micro benchmarks and the whole-tool
// measurements side by side with the bare Qt baseline, and prints one table
// of figures with their budgets.
//
//   movra_bench_run [--short] [--bin DIR] [--report FILE] [--only LIST] [--strict]
//                   [--before DIR]
//
// --short     the CI form: every measurement runs, briefly; no verdicts
// --only      comma list of: micro, startup, idle, wakeups, features, trend, load, latency
// --before    the bench folder of an earlier build: the trend run measures its
//             tool too, in the same run, a pair of phases of one after the other's
// --report    also write the table as Markdown to FILE
// --strict    exit 1 when a budget is missed (full form only)
// --trace     record every tick in the load and latency runs and tell
//             where the time goes (the recording itself costs a little)
//
// Linux only: CPU time and memory come from /proc, pseudo-terminals carry
// the serial line. Every process is timed on CLOCK_MONOTONIC.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "Clock.h"
#include "link/Protocol.h"
#include "link/Tenths.h"

using movrabench::nowNs;

namespace {

constexpr double kMs = 1e6; // ns per ms

// ------------------------------------------------------------------ output

struct Figure
{
    QString section;
    QString name;
    QString value;
    QString budget;
    QString verdict; // "ok", "MISSED" or "" when there is no budget
};

QVector<Figure> figures;
bool shortForm = false;
bool traceTicks = false;
bool anyMissed = false;

void note(const QString &text)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(text));
    std::fflush(stderr);
}

void figure(const QString &section, const QString &name, const QString &value,
            const QString &budget = QString(), int verdict = -1)
{
    QString v;
    if (!shortForm && verdict >= 0) {
        v = verdict ? QStringLiteral("ok") : QStringLiteral("MISSED");
        if (!verdict)
            anyMissed = true;
    }
    figures.append({section, name, value, budget, v});
    note(QStringLiteral("%1: %2 = %3 %4 %5").arg(section, name, value, budget, v));
}

QString num(double v, int decimals = 1)
{
    return QString::number(v, 'f', decimals);
}

// ------------------------------------------------------------------- stats

struct Stats
{
    int n = 0;
    double mean = 0, sd = 0, min = 0, p50 = 0, p99 = 0, max = 0;
};

// Nearest-rank percentiles.
Stats stats(QVector<double> v)
{
    Stats s;
    s.n = v.size();
    if (v.isEmpty())
        return s;
    std::sort(v.begin(), v.end());
    auto rank = [&](double p) {
        int i = int(std::ceil(p / 100.0 * v.size())) - 1;
        return v.at(std::clamp(i, 0, int(v.size()) - 1));
    };
    double sum = 0;
    for (double x : v)
        sum += x;
    s.mean = sum / v.size();
    double sq = 0;
    for (double x : v)
        sq += (x - s.mean) * (x - s.mean);
    s.sd = v.size() > 1 ? std::sqrt(sq / (v.size() - 1)) : 0;
    s.min = v.first();
    s.max = v.last();
    s.p50 = rank(50);
    s.p99 = rank(99);
    return s;
}

// ---------------------------------------------------------------- processes

QString binDir;
QString beforeDir;
QString workDir;

class Child
{
public:
    explicit Child(const QString &name) : m_name(name) {}
    ~Child() { kill(); }

    bool start(const QString &program, const QStringList &args, const QString &configDir,
               const QString &tickMode = QString(),
               const QList<QPair<QString, QString>> &extraEnv = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const auto &kv : extraEnv)
            env.insert(kv.first, kv.second);
        // How the tool runs its ticks: as asked, else as MOVRA_TICK says
        // here, else its own default.
        if (!tickMode.isEmpty())
            env.insert(QStringLiteral("MOVRA_TICK"), tickMode);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Each window keeps its settings file to itself.
        if (!configDir.isEmpty()) {
            QDir().mkpath(configDir);
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
        }
        env.remove(QStringLiteral("MOVRA_EXTRA_PORTS"));
        m_proc.setProcessEnvironment(env);
        m_proc.setProcessChannelMode(QProcess::SeparateChannels);
        m_proc.setStandardErrorFile(workDir + QLatin1Char('/') + m_name + QStringLiteral(".err"));
        m_spawnNs = nowNs();
        m_proc.start(QDir(binDir).filePath(program), args);
        if (!m_proc.waitForStarted(10000)) {
            note(m_name + QStringLiteral(": does not start: ") + m_proc.errorString());
            return false;
        }
        return true;
    }

    void pump()
    {
        while (m_proc.canReadLine())
            m_lines << QString::fromUtf8(m_proc.readLine()).trimmed();
    }

    // Waits for a line "TAG <ns> ..."; the ns, or -1 on time-out or exit.
    qint64 waitFor(const QString &tag, int timeoutMs)
    {
        const qint64 until = nowNs() + qint64(timeoutMs) * 1000000;
        for (;;) {
            pump();
            for (const QString &l : m_lines)
                if (l.startsWith(tag + QLatin1Char(' ')))
                    return l.section(QLatin1Char(' '), 1, 1).toLongLong();
            if (m_proc.state() != QProcess::Running || nowNs() > until) {
                note(QStringLiteral("%1: no %2 line (%3)").arg(m_name, tag, errText()));
                return -1;
            }
            m_proc.waitForReadyRead(50);
        }
    }

    // Asks for the records and waits for the exit; false unless the
    // program ended cleanly (a sanitizer's finding at exit counts).
    bool quit()
    {
        if (m_proc.state() != QProcess::Running) {
            note(m_name + QStringLiteral(": ended before it was asked to"));
            return false;
        }
        m_proc.write("quit\n");
        m_proc.waitForBytesWritten(1000);
        m_proc.closeWriteChannel();
        const qint64 until = nowNs() + qint64(20000) * 1000000;
        while (m_proc.state() == QProcess::Running && nowNs() < until) {
            m_proc.waitForReadyRead(100);
            pump();
        }
        m_proc.waitForFinished(1000);
        m_lines << QString::fromUtf8(m_proc.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const bool clean = m_proc.state() == QProcess::NotRunning &&
                           m_proc.exitStatus() == QProcess::NormalExit && m_proc.exitCode() == 0;
        kill();
        if (!clean)
            note(QStringLiteral("%1: did not end cleanly (%2)").arg(m_name, errText()));
        return clean;
    }

    void kill()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }

    void send(const QByteArray &line)
    {
        m_proc.write(line + '\n');
        m_proc.waitForBytesWritten(1000);
    }

    qint64 pid() const { return m_proc.processId(); }
    qint64 spawnNs() const { return m_spawnNs; }
    const QStringList &lines() const { return m_lines; }
    bool running() const { return m_proc.state() == QProcess::Running; }

    QString errText() const
    {
        QFile f(workDir + QLatin1Char('/') + m_name + QStringLiteral(".err"));
        if (!f.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(f.readAll()).trimmed().right(300);
    }

private:
    QString m_name;
    QProcess m_proc;
    qint64 m_spawnNs = 0;
    QStringList m_lines;
};

// CPU time of a process so far, in ns: the scheduler's own sum per thread
// (exact to the ns), falling back to clock ticks.
qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    bool any = false;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(t) + QStringLiteral("/schedstat"));
        if (f.open(QIODevice::ReadOnly)) {
            total += QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 0).toLongLong();
            any = true;
        }
    }
    if (any)
        return total;
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QString s = QString::fromLatin1(f.readAll());
    const QStringList after = s.mid(s.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
    return (after.value(11).toLongLong() + after.value(12).toLongLong()) * 10000000;
}

// VmRSS and VmHWM in KiB.
QPair<qint64, qint64> memoryKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    qint64 rss = -1, hwm = -1;
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.value(0) == "VmRSS:")
                rss = parts.value(1).toLongLong();
            else if (parts.value(0) == "VmHWM:")
                hwm = parts.value(1).toLongLong();
        }
    }
    return {rss, hwm};
}

void sleepMs(int ms)
{
    QThread::msleep(ulong(ms));
}

// --------------------------------------------------------------- simulator

struct SimRun
{
    std::unique_ptr<Child> sim;
    QString link;

    bool start(const QString &name, int baud)
    {
        link = workDir + QStringLiteral("/%1.tty").arg(name);
        sim = std::make_unique<Child>(name);
        if (!sim->start(
                QStringLiteral("movra_bench_sim"),
                {QStringLiteral("--link"), link, QStringLiteral("--baud"), QString::number(baud)},
                QString()))
            return false;
        return sim->waitFor(QStringLiteral("READY"), 10000) > 0;
    }
};

struct Event
{
    qint64 ns;
    QByteArray bytes;
};

QVector<Event> simEvents(const Child &sim, const QString &tag)
{
    QVector<Event> out;
    for (const QString &l : sim.lines()) {
        const QStringList p = l.split(QLatin1Char(' '));
        if (p.size() == 3 && p.at(0) == tag)
            out.append({p.at(1).toLongLong(), QByteArray::fromHex(p.at(2).toLatin1())});
    }
    return out;
}

// Intervals, in ms, between the periodic reads of both values as the
// simulator received them.
QVector<double> pollIntervals(const Child &sim)
{
    const QByteArray request = movra::buildRequestFrame(0x01, 0x03, 0x0000, 2);
    QVector<double> out;
    qint64 last = -1;
    for (const Event &e : simEvents(sim, QStringLiteral("RX"))) {
        if (!e.bytes.contains(request))
            continue;
        if (last >= 0)
            out.append(double(e.ns - last) / kMs);
        last = e.ns;
    }
    return out;
}

QVector<qint64> toolTicks(const Child &tool)
{
    QVector<qint64> ticks;
    for (const QString &l : tool.lines())
        if (l.startsWith(QLatin1String("TICK ")))
            ticks.append(l.mid(5).toLongLong());
    return ticks;
}

// Milliseconds from each read reply leaving the simulator to both labels
// painted with its values. With the tool's ticks at hand, also the two
// parts of it: reply out to the start of the tick that took it, and that
// tick's start to the paint.
struct Latencies
{
    QVector<double> total, toTick, toPaint;
};

Latencies replyLatencies(const Child &sim, const Child &tool)
{
    struct Paint
    {
        qint64 ns;
        QString text;
    };
    QVector<Paint> temp, humi;
    for (const QString &l : tool.lines()) {
        const QStringList p = l.split(QLatin1Char(' '));
        if (p.size() == 4 && p.at(0) == QLatin1String("LABEL"))
            (p.at(2) == QLatin1String("temp") ? temp : humi)
                .append({p.at(1).toLongLong(), p.at(3)});
    }
    const QVector<qint64> ticks = toolTicks(tool);
    auto shown = [](const QVector<Paint> &paints, qint64 from, const QString &text) -> qint64 {
        for (const Paint &p : paints)
            if (p.ns >= from && p.text == text)
                return p.ns;
        return -1;
    };
    Latencies out;
    for (const Event &e : simEvents(sim, QStringLiteral("TX"))) {
        const QByteArray &b = e.bytes;
        if (b.size() != 9 || quint8(b.at(1)) != 0x03 || quint8(b.at(2)) != 4)
            continue;
        const quint16 h = quint16(quint8(b.at(3)) << 8 | quint8(b.at(4)));
        const qint16 t = qint16(quint8(b.at(5)) << 8 | quint8(b.at(6)));
        const qint64 hs = shown(humi, e.ns, movra::tenthsText(h));
        const qint64 ts = shown(temp, e.ns, movra::tenthsText(t));
        if (hs < 0 || ts < 0)
            continue; // still on its way when the run ended
        const qint64 painted = qMax(hs, ts);
        const double ms = double(painted - e.ns) / kMs;
        if (ms >= 1000)
            continue;
        out.total.append(ms);
        auto after = std::upper_bound(ticks.begin(), ticks.end(), painted);
        if (after != ticks.begin()) {
            const qint64 took = *(after - 1);
            out.toTick.append(double(took - e.ns) / kMs);
            out.toPaint.append(double(painted - took) / kMs);
        }
    }
    return out;
}

// How regular the ticks were: the gaps between starts, and the ticks lost
// (a gap of two periods or more drops the late ones; Qt does not catch up).
// A tool woken only when due runs skipped ticks together, so its gaps say
// nothing; its scheduler counts the ticks it lost to lateness itself.
void tickFigures(const QString &section, const Child &tool)
{
    const QVector<qint64> ticks = toolTicks(tool);
    for (const QString &l : tool.lines()) {
        if (l.startsWith(QLatin1String("LOST "))) {
            const qint64 lost = l.mid(5).toLongLong();
            figure(section, QStringLiteral("ticks run; ticks lost (woken when due)"),
                   QString::number(ticks.size()) + QStringLiteral("; ") + QString::number(lost) +
                       QStringLiteral(" (") +
                       num(100.0 * double(lost) / double(qMax(1, int(ticks.size() + lost))), 3) +
                       QStringLiteral(" %)"));
            return;
        }
    }
    QVector<double> gaps;
    int lost = 0, over11 = 0;
    for (int i = 1; i < ticks.size(); ++i) {
        const double g = double(ticks.at(i) - ticks.at(i - 1)) / kMs;
        gaps.append(g);
        if (g > 11.0)
            ++over11;
        if (g >= 15.0)
            lost += int(std::lround(g / 10.0)) - 1;
    }
    const Stats g = stats(gaps);
    if (g.n == 0)
        return;
    figure(section, QStringLiteral("tick gaps p50 / p99 / max (n)"),
           num(g.p50, 2) + QStringLiteral(" / ") + num(g.p99, 2) + QStringLiteral(" / ") +
               num(g.max, 1) + QStringLiteral(" ms (") + QString::number(g.n) +
               QStringLiteral(")"));
    figure(section, QStringLiteral("gaps over 11 ms; ticks lost"),
           QString::number(over11) + QStringLiteral("; ") + QString::number(lost) +
               QStringLiteral(" (") + num(100.0 * lost / (g.n + lost), 3) + QStringLiteral(" %)"));
}

// ------------------------------------------------------------------- micro

bool runMicro()
{
    const QString json = workDir + QStringLiteral("/micro.json");
    QStringList args = {QStringLiteral("--benchmark_out=") + json,
                        QStringLiteral("--benchmark_out_format=json")};
    if (shortForm) {
        args << QStringLiteral("--benchmark_min_time=0.01");
    } else {
        // Repeated and interleaved, so the pairs that are compared share
        // the machine's noise; the medians are reported.
        args << QStringLiteral("--benchmark_min_time=0.3")
             << QStringLiteral("--benchmark_repetitions=5")
             << QStringLiteral("--benchmark_enable_random_interleaving=true")
             << QStringLiteral("--benchmark_report_aggregates_only=true");
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.setStandardOutputFile(workDir + QStringLiteral("/micro.txt"));
    p.setStandardErrorFile(workDir + QStringLiteral("/micro.err"));
    note(QStringLiteral("micro benchmarks (console output in %1/micro.txt)").arg(workDir));
    p.start(QDir(binDir).filePath(QStringLiteral("movra_bench_micro")), args);
    if (!p.waitForFinished(30 * 60 * 1000) || p.exitCode() != 0) {
        note(QStringLiteral("movra_bench_micro failed"));
        return false;
    }
    QFile f(json);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QJsonArray runs =
        QJsonDocument::fromJson(f.readAll()).object().value(QStringLiteral("benchmarks")).toArray();

    // CPU ns per iteration: the median of the repetitions, or the one run.
    QMap<QString, double> cpu;
    for (const QJsonValue &v : runs) {
        const QJsonObject o = v.toObject();
        if (o.contains(QStringLiteral("error_occurred")) &&
            o.value(QStringLiteral("error_occurred")).toBool()) {
            note(QStringLiteral("benchmark error: ") + o.value(QStringLiteral("name")).toString());
            return false;
        }
        const QString aggregate = o.value(QStringLiteral("aggregate_name")).toString();
        if (!aggregate.isEmpty() && aggregate != QLatin1String("median"))
            continue;
        const QString unit = o.value(QStringLiteral("time_unit")).toString();
        const double scale = unit == QLatin1String("us")   ? 1e3
                             : unit == QLatin1String("ms") ? 1e6
                             : unit == QLatin1String("s")  ? 1e9
                                                           : 1.0;
        cpu[o.value(QStringLiteral("run_name")).toString()] =
            o.value(QStringLiteral("cpu_time")).toDouble() * scale;
    }
    auto get = [&](const char *name) {
        const double v = cpu.value(QLatin1String(name), -1);
        if (v < 0)
            note(QStringLiteral("no result for ") + QLatin1String(name));
        return v;
    };
    auto ns = [](double v) {
        return v >= 10000 ? num(v / 1000.0, 1) + QStringLiteral(" µs")
                          : num(v, 1) + QStringLiteral(" ns");
    };
    const QString s = QStringLiteral("micro (CPU time per call, median)");
    figure(s, QStringLiteral("crc16, per byte (255-byte run)"),
           num(get("BM_crc16/255") / 255.0, 2) + QStringLiteral(" ns"));
    figure(s, QStringLiteral("recogniseBlock: read reply"), ns(get("BM_recogniseReadReply")));
    figure(s, QStringLiteral("recogniseBlock: echo + read reply"),
           ns(get("BM_recogniseReadReplyAfterEcho")));
    figure(s, QStringLiteral("recogniseBlock: write echo"), ns(get("BM_recogniseWriteEcho")));
    figure(s, QStringLiteral("recogniseBlock: baud frame"), ns(get("BM_recogniseBaudFrame")));
    figure(s, QStringLiteral("recogniseBlock: garbage, 100 bytes"),
           ns(get("BM_recogniseGarbage/100")));
    figure(s, QStringLiteral("tenthsText"), ns(get("BM_tenthsText")));
    figure(s, QStringLiteral("textToTenths"), ns(get("BM_textToTenths")));
    figure(s, QStringLiteral("idle tick, not connected"), ns(get("BM_tickIdle/linkState:0")));
    figure(s, QStringLiteral("idle tick, connected"), ns(get("BM_tickIdle/linkState:3")));
    // The scheduler's kIdleWakeTicks.
    figure(s, QStringLiteral("ticks run on one idle wake-up (200, through the window's slot)"),
           ns(get("BM_catchUpIdleTicks")));
    figure(s, QStringLiteral("tick taking a 100-byte block (not recognised)"),
           ns(get("BM_tickTakes100ByteGarbage")));
    figure(s, QStringLiteral("tick taking a 100-byte block (reading, shown and logged)"),
           ns(get("BM_tickTakes100ByteMeasurement")));

    const double zh = get("BM_windowShown/english:0");
    const double en = get("BM_windowShown/english:1");
    const double load = get("BM_loadEnglish");
    figure(s, QStringLiteral("window built and shown, Chinese / English"),
           num(zh / 1e6) + QStringLiteral(" / ") + num(en / 1e6) + QStringLiteral(" ms"));
    figure(s, QStringLiteral("English texts loaded"), ns(load));
    const double added = (load + en - zh) / 1e6;
    figure(s, QStringLiteral("English adds to start-up (loading + window)"),
           num(added, 2) + QStringLiteral(" ms"), QStringLiteral("≤ 2 ms"), added <= 2.0);

    const double small = get("BM_appendLog/blocks:10");
    const double full = get("BM_appendLog/blocks:1000");
    figure(s, QStringLiteral("appendLog, pane of 10 blocks"), ns(small));
    figure(s, QStringLiteral("appendLog, pane at 1000-block cap"), ns(full));
    figure(s, QStringLiteral("appendLog at cap / nearly empty"),
           num(full / small, 2) + QStringLiteral("×"), QStringLiteral("≤ 1.5×"),
           full / small <= 1.5);
    const double smallE = get("BM_appendLogAndEvents/blocks:10");
    const double fullE = get("BM_appendLogAndEvents/blocks:1000");
    figure(s, QStringLiteral("appendLog + its events, 10 blocks"), ns(smallE));
    figure(s, QStringLiteral("appendLog + its events, at cap"), ns(fullE));
    figure(s, QStringLiteral("appendLog + events at cap / nearly empty"),
           num(fullE / smallE, 2) + QStringLiteral("×"), QStringLiteral("≤ 1.5×"),
           fullE / smallE <= 1.5);
    return true;
}

// ----------------------------------------------------------------- startup

bool runStartup()
{
    const int rounds = shortForm ? 2 : 15;
    // The baseline, the tool in Chinese, the tool in English.
    const QString names[] = {QStringLiteral("startup-base"), QStringLiteral("startup-tool"),
                             QStringLiteral("startup-english")};
    QVector<double> took[3], fromMain[3];
    for (int i = 0; i < rounds; ++i) {
        // Rotate which goes first, so none always meets a warm cache.
        for (int k = 0; k < 3; ++k) {
            const int which = (k + i) % 3;
            Child c(names[which]);
            const QString language = which == 2 ? QStringLiteral("en") : QStringLiteral("zh");
            if (!c.start(which == 0 ? QStringLiteral("movra_bench_baseline")
                                    : QStringLiteral("movra_bench_tool"),
                         {}, workDir + QStringLiteral("/cfg-startup"), QString(),
                         {{QStringLiteral("MOVRA_LANG"), language}}))
                return false;
            const qint64 shown = c.waitFor(QStringLiteral("SHOWN"), 20000);
            const qint64 entered = c.waitFor(QStringLiteral("MAIN"), 1000);
            if (shown < 0 || entered < 0)
                return false;
            took[which].append(double(shown - c.spawnNs()) / kMs);
            fromMain[which].append(double(shown - entered) / kMs);
            c.kill();
            sleepMs(100);
        }
    }
    const Stats b = stats(took[0]), t = stats(took[1]), e = stats(took[2]);
    const QString s = QStringLiteral("start-up to window shown (median of %1)").arg(rounds);
    figure(s, QStringLiteral("baseline"), num(b.p50) + QStringLiteral(" ms"));
    figure(s, QStringLiteral("tool"), num(t.p50) + QStringLiteral(" ms"));
    figure(s, QStringLiteral("tool / baseline"), num(t.p50 / b.p50, 2) + QStringLiteral("×"),
           QStringLiteral("≤ 1.5×"), t.p50 / b.p50 <= 1.5);
    figure(s, QStringLiteral("of which main() to shown: baseline / tool"),
           num(stats(fromMain[0]).p50) + QStringLiteral(" / ") + num(stats(fromMain[1]).p50) +
               QStringLiteral(" ms"));
    // main() to shown leaves out the process start; on a busy machine its
    // noise is still larger than what English costs.
    const double english = stats(fromMain[2]).p50 - stats(fromMain[1]).p50;
    figure(s, QStringLiteral("tool in English"), num(e.p50) + QStringLiteral(" ms"));
    figure(s, QStringLiteral("English − Chinese, main() to shown"),
           num(english) + QStringLiteral(" ms (judged by the micro benchmarks)"));
    return true;
}

// ------------------------------------------------------------ tool runs

// A tool connected to its own simulator; optionally polling both values.
struct ConnectedTool
{
    SimRun sim;
    std::unique_ptr<Child> tool;

    QString program = QStringLiteral("movra_bench_tool"); // in binDir, or a path

    bool start(const QString &name, int baud, const QStringList &extra,
               const QString &tickMode = QString(),
               const QList<QPair<QString, QString>> &extraEnv = {})
    {
        if (!sim.start(name + QStringLiteral("-sim"), baud))
            return false;
        tool = std::make_unique<Child>(name);
        QStringList args = {QStringLiteral("--port"), sim.link, QStringLiteral("--baud"),
                            QString::number(baud)};
        args << extra;
        return tool->start(program, args, workDir + QStringLiteral("/cfg-") + name, tickMode,
                           extraEnv);
    }
    bool ready(const QString &tag) { return tool->waitFor(tag, 30000) > 0; }
    bool finish()
    {
        const bool toolClean = tool->quit();
        return sim.sim->quit() && toolClean;
    }
};

void intervalFigures(const QString &section, const QVector<double> &intervals, bool loaded)
{
    const Stats s = stats(intervals);
    QVector<double> dev;
    int missed = 0;
    for (double x : intervals) {
        dev.append(std::fabs(x - 1000.0));
        if (x > 1500.0)
            missed += int(std::lround(x / 1000.0)) - 1;
    }
    const Stats d = stats(dev);
    figure(section, QStringLiteral("periodic requests seen"), QString::number(s.n + 1));
    if (s.n == 0)
        return;
    const double off = (s.mean - 1000.0) / 10.0; // percent
    figure(section, QStringLiteral("mean interval"),
           num(s.mean, 2) + QStringLiteral(" ms (") + (off >= 0 ? QStringLiteral("+") : QString()) +
               num(off, 3) + QStringLiteral(" %)"),
           QStringLiteral("within 0.5 % of 1 s"), std::fabs(off) <= 0.5);
    figure(section, QStringLiteral("interval spread (sd, min–max)"),
           num(s.sd, 2) + QStringLiteral(" ms, ") + num(s.min, 1) + QStringLiteral("–") +
               num(s.max, 1) + QStringLiteral(" ms"));
    figure(section, QStringLiteral("p99 |interval − 1 s|"), num(d.p99, 2) + QStringLiteral(" ms"),
           QStringLiteral("< 15 ms"), d.p99 < 15.0);
    figure(section, QStringLiteral("missed seconds"), QString::number(missed),
           loaded ? QStringLiteral("0") : QString(), loaded ? int(missed == 0) : -1);
}

bool runIdle()
{
    const int seconds = shortForm ? 4 : 60;
    Child base(QStringLiteral("idle-base"));
    Child idle(QStringLiteral("idle-tool"));
    ConnectedTool polling, pollingFull;
    if (!base.start(QStringLiteral("movra_bench_baseline"), {}, QString()) ||
        !idle.start(QStringLiteral("movra_bench_tool"), {},
                    workDir + QStringLiteral("/cfg-idle")) ||
        !polling.start(QStringLiteral("poll-tool"), 9600, {QStringLiteral("--poll")}) ||
        !pollingFull.start(
            QStringLiteral("pollcap-tool"), 9600,
            {QStringLiteral("--poll"), QStringLiteral("--prefill"), QStringLiteral("1000")}))
        return false;
    if (base.waitFor(QStringLiteral("SHOWN"), 20000) < 0 ||
        idle.waitFor(QStringLiteral("SHOWN"), 20000) < 0 ||
        !polling.ready(QStringLiteral("POLLING")) || !pollingFull.ready(QStringLiteral("POLLING")))
        return false;
    sleepMs(2000); // past start-up and the first reading

    struct Measured
    {
        Measured(const QString &n, qint64 p) : name(n), pid(p) {}
        QString name;
        qint64 pid;
        qint64 cpu0 = 0, cpu1 = 0;
        QPair<qint64, qint64> mem;
    };
    QVector<Measured> m = {
        {QStringLiteral("baseline"), base.pid()},
        {QStringLiteral("tool, not connected"), idle.pid()},
        {QStringLiteral("tool, connected, polling both every second"), polling.tool->pid()},
        {QStringLiteral("same, log pane at its 1000-block cap"), pollingFull.tool->pid()}};
    // The whole span, and the same span cut into windows: the spread of the
    // ratio over the windows shows how much of it is the machine's noise.
    const int windows = shortForm ? 2 : 6;
    QVector<QVector<qint64>> cpuAt(m.size());
    QVector<qint64> at;
    note(QStringLiteral("measuring CPU and memory for %1 s").arg(seconds));
    for (int w = 0; w <= windows; ++w) {
        if (w > 0)
            sleepMs(seconds * 1000 / windows);
        at.append(nowNs());
        for (int i = 0; i < m.size(); ++i)
            cpuAt[i].append(cpuNs(m.at(i).pid));
    }
    for (int i = 0; i < m.size(); ++i) {
        m[i].cpu0 = cpuAt.at(i).first();
        m[i].cpu1 = cpuAt.at(i).last();
        m[i].mem = memoryKiB(m.at(i).pid);
    }
    const qint64 t0 = at.first(), t1 = at.last();
    if (!base.running() || !idle.running() || !polling.tool->running() ||
        !pollingFull.tool->running()) {
        note(QStringLiteral("a measured process ended early"));
        return false;
    }

    const QString s = QStringLiteral("CPU and memory, side by side over %1 s").arg(seconds);
    auto pct = [&](const Measured &x) {
        return 100.0 * double(x.cpu1 - x.cpu0) / double(t1 - t0);
    };
    auto windowRatios = [&](int i) {
        QVector<double> r;
        for (int w = 1; w < at.size(); ++w) {
            const double base = double(cpuAt.at(0).at(w) - cpuAt.at(0).at(w - 1));
            if (base > 0)
                r.append(double(cpuAt.at(i).at(w) - cpuAt.at(i).at(w - 1)) / base);
        }
        return stats(r);
    };
    const double basePct = pct(m.at(0));
    for (int i = 0; i < m.size(); ++i) {
        const double p = pct(m.at(i));
        const bool budgeted = i >= 2;
        const Stats r = windowRatios(i);
        figure(s, QStringLiteral("CPU, ") + m.at(i).name,
               num(p, 3) + QStringLiteral(" % (") +
                   num(double(m.at(i).cpu1 - m.at(i).cpu0) / kMs / seconds, 2) +
                   QStringLiteral(" ms/s)") +
                   (i > 0 ? QStringLiteral(", ") + num(p / basePct, 2) +
                                QStringLiteral("× baseline (%1 windows of %2 s: %3–%4×)")
                                    .arg(windows)
                                    .arg(seconds / windows)
                                    .arg(num(r.min, 2), num(r.max, 2))
                          : QString()),
               budgeted ? QStringLiteral("≤ 1.2× baseline") : QString(),
               budgeted ? int(p <= 1.2 * basePct) : -1);
    }
    const double baseRss = double(m.at(0).mem.first) / 1024.0;
    for (int i = 0; i < m.size(); ++i) {
        const double rss = double(m.at(i).mem.first) / 1024.0;
        const double hwm = double(m.at(i).mem.second) / 1024.0;
        const bool budgeted = i >= 1;
        figure(s, QStringLiteral("RSS, ") + m.at(i).name,
               num(rss, 1) + QStringLiteral(" MiB (peak ") + num(hwm, 1) + QStringLiteral(")") +
                   (i > 0 ? QStringLiteral(", baseline + ") + num(rss - baseRss, 1) +
                                QStringLiteral(" MiB")
                          : QString()),
               budgeted ? QStringLiteral("≤ baseline + 10 MiB") : QString(),
               budgeted ? int(rss - baseRss <= 10.0) : -1);
    }

    base.kill();
    idle.kill();
    if (!polling.finish() || !pollingFull.finish())
        return false;
    intervalFigures(QStringLiteral("periodic requests, quiet machine (%1 s)").arg(seconds),
                    pollIntervals(*polling.sim.sim), false);
    const Stats l = stats(replyLatencies(*polling.sim.sim, *polling.tool).total);
    figure(QStringLiteral("reply to display, periodic reads at 9600 Bd"),
           QStringLiteral("latency p50 / p99 / max (n)"),
           num(l.p50, 2) + QStringLiteral(" / ") + num(l.p99, 2) + QStringLiteral(" / ") +
               num(l.max, 2) + QStringLiteral(" ms (") + QString::number(l.n) +
               QStringLiteral(")"));
    if (l.n == 0) {
        note(QStringLiteral("no reply reached the labels"));
        return false;
    }
    return true;
}

// Voluntary context switches over all the process's threads: each one is a
// wait for an event that ended, so a wake-up.
qint64 wakeups(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &t : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(t) + QStringLiteral("/status"));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
    }
    return total;
}

// The tool with its ticks every 10 ms (before) and only when due (after), in
// four states, next to the bare 10 ms window, all at the same time.
bool runWakeups()
{
    const int seconds = shortForm ? 4 : 60;
    struct State
    {
        const char *name;
        QStringList args;
        const char *ready; // SHOWN: not connected
    };
    // The last shows what Qt itself adds: a blinking text cursor.
    const State states[] = {
        {"idle, not connected", {}, "SHOWN"},
        {"connected, idle", {}, "CONNECTED"},
        {"polling both values once a second", {QStringLiteral("--poll")}, "POLLING"},
        {"during batch reads", {QStringLiteral("--batches")}, "BATCHING"},
        {"idle, not connected, text cursor in a field",
         {QStringLiteral("--focus"), QStringLiteral("BaseTemp")},
         "SHOWN"}};
    const QString modes[] = {QStringLiteral("every"), QStringLiteral("due")};

    Child base(QStringLiteral("wake-base"));
    std::vector<std::unique_ptr<Child>> idle;
    std::vector<std::unique_ptr<ConnectedTool>> connected;
    // Processes in the order of the table: per state, before then after.
    QVector<qint64> pids;
    if (!base.start(QStringLiteral("movra_bench_baseline"), {}, QString()) ||
        base.waitFor(QStringLiteral("SHOWN"), 20000) < 0)
        return false;
    for (const State &st : states) {
        for (const QString &mode : modes) {
            const QString name = QStringLiteral("wake-%1-%2").arg(pids.size() / 2).arg(mode);
            if (qstrcmp(st.ready, "SHOWN") == 0) {
                idle.push_back(std::make_unique<Child>(name));
                Child &c = *idle.back();
                if (!c.start(QStringLiteral("movra_bench_tool"), st.args,
                             workDir + QStringLiteral("/cfg-") + name, mode) ||
                    c.waitFor(QStringLiteral("FOCUS"), 20000) < 0)
                    return false;
                pids.append(c.pid());
                continue;
            }
            connected.push_back(std::make_unique<ConnectedTool>());
            ConnectedTool &t = *connected.back();
            if (!t.start(name, 9600, st.args, mode) || !t.ready(QLatin1String(st.ready)))
                return false;
            pids.append(t.tool->pid());
        }
    }
    sleepMs(2000); // past start-up and the first reading

    pids.prepend(base.pid());
    QVector<qint64> cpu0, wake0, cpu1, wake1;
    for (qint64 pid : pids) {
        cpu0.append(cpuNs(pid));
        wake0.append(wakeups(pid));
    }
    const qint64 t0 = nowNs();
    note(QStringLiteral("counting wake-ups and CPU for %1 s").arg(seconds));
    sleepMs(seconds * 1000);
    for (qint64 pid : pids) {
        cpu1.append(cpuNs(pid));
        wake1.append(wakeups(pid));
    }
    const double span = double(nowNs() - t0) / 1e9;
    bool running = base.running();
    for (const auto &c : idle)
        running = running && c->running();
    for (const auto &t : connected)
        running = running && t->tool->running();
    if (!running) {
        note(QStringLiteral("a measured process ended early"));
        return false;
    }

    auto perSecond = [&](int i) {
        return double(wake1.at(i) - wake0.at(i)) / span;
    };
    auto cpuMs = [&](int i) {
        return double(cpu1.at(i) - cpu0.at(i)) / kMs / span;
    };
    const QString s =
        QStringLiteral("wake-ups and CPU, side by side over %1 s: bare 10 ms window / tool "
                       "ticking every 10 ms (before) / tool woken when due (after)")
            .arg(seconds);
    for (const auto &c : idle) {
        c->pump();
        for (const QString &l : c->lines())
            if (l.startsWith(QLatin1String("FOCUS ")) && c == idle.front())
                figure(s, QStringLiteral("keyboard focus at start (tool)"), l.section(' ', 2));
    }
    figure(s, QStringLiteral("bare 10 ms window"),
           num(perSecond(0)) + QStringLiteral(" wake-ups/s, ") + num(cpuMs(0), 2) +
               QStringLiteral(" ms/s CPU"));
    for (int i = 0; i < int(std::size(states)); ++i) {
        const int before = 1 + 2 * i, after = 2 + 2 * i;
        QString budget;
        int verdict = -1;
        if (i == 0) {
            budget = QStringLiteral("after ≤ 1");
            verdict = perSecond(after) <= 1.0;
        } else if (i == 2) {
            budget = QStringLiteral("after ≤ 10");
            verdict = perSecond(after) <= 10.0;
        }
        figure(s,
               QStringLiteral("wake-ups/s, %1: before / after").arg(QLatin1String(states[i].name)),
               num(perSecond(before)) + QStringLiteral(" / ") + num(perSecond(after)), budget,
               verdict);
        budget.clear();
        verdict = -1;
        if (i == 2) {
            budget = QStringLiteral("after ≤ ½ bare window");
            verdict = cpuMs(after) <= 0.5 * cpuMs(0);
        }
        figure(s, QStringLiteral("CPU ms/s, %1: before / after").arg(QLatin1String(states[i].name)),
               num(cpuMs(before), 2) + QStringLiteral(" / ") + num(cpuMs(after), 2) +
                   QStringLiteral(" (") + num(cpuMs(after) / cpuMs(0), 2) +
                   QStringLiteral("× bare window)"),
               budget, verdict);
    }

    base.kill();
    for (const auto &c : idle)
        c->kill();
    bool clean = true;
    for (const auto &t : connected)
        clean = t->finish() && clean;
    if (!clean)
        return false;

    // The two polling tools ran side by side: the poll's timing and the
    // time from a reply to its display, each way.
    const ConnectedTool &before = *connected.at(2), &after = *connected.at(3);
    const QVector<double> ib = pollIntervals(*before.sim.sim), ia = pollIntervals(*after.sim.sim);
    auto p99Deviation = [](const QVector<double> &intervals) {
        QVector<double> dev;
        for (double x : intervals)
            dev.append(std::fabs(x - 1000.0));
        return stats(dev).p99;
    };
    const Stats mb = stats(ib), ma = stats(ia);
    const Stats lb = stats(replyLatencies(*before.sim.sim, *before.tool).total);
    const Stats la = stats(replyLatencies(*after.sim.sim, *after.tool).total);
    if (mb.n == 0 || ma.n == 0 || lb.n == 0 || la.n == 0) {
        note(QStringLiteral("the polling tools sent too few requests"));
        return false;
    }
    const QString p = QStringLiteral("polling both values once a second, side by side over %1 s: "
                                     "before / after")
                          .arg(seconds);
    figure(p, QStringLiteral("mean interval (n)"),
           num(mb.mean, 2) + QStringLiteral(" / ") + num(ma.mean, 2) + QStringLiteral(" ms (") +
               QString::number(ma.n) + QStringLiteral(")"),
           QStringLiteral("after within 0.5 % of 1 s"), std::fabs(ma.mean - 1000.0) <= 5.0);
    figure(p, QStringLiteral("p99 |interval − 1 s|"),
           num(p99Deviation(ib), 2) + QStringLiteral(" / ") + num(p99Deviation(ia), 2) +
               QStringLiteral(" ms"),
           QStringLiteral("after < 15 ms"), p99Deviation(ia) < 15.0);
    figure(p, QStringLiteral("reply to display p50 / p99 (n)"),
           num(lb.p50, 2) + QStringLiteral(" / ") + num(lb.p99, 2) + QStringLiteral(" ms; ") +
               num(la.p50, 2) + QStringLiteral(" / ") + num(la.p99, 2) + QStringLiteral(" ms (") +
               QString::number(la.n) + QStringLiteral(")"),
           QStringLiteral("after p99 ≤ before p99 + 1 ms"), la.p99 <= lb.p99 + 1.0);
    return true;
}

// What recording and an open trend window cost a tool that polls both
// values every second with the check on: three tools side by side, on one
// clock, each with its own simulator.
// CPU of one tool with `what` ("trend", "records") off and on, in phases
// of `seconds`, ordered off-on, on-off, ... so that a drift of the machine
// falls on both sides alike; a ratio for each pair.
// `first` numbers the first pair, for runs made a pair at a time.
QVector<double> offAndOn(Child &tool, const QByteArray &what, int pairs, int seconds, double *offMs,
                         double *onMs, QVector<double> *added = nullptr, int first = 0)
{
    QVector<double> ratios;
    for (int i = first; i < first + pairs; ++i) {
        double ms[2] = {0, 0};
        for (int k = 0; k < 2; ++k) {
            const bool on = (k == 0) == (i % 2 == 1);
            tool.send(what + (on ? " on" : " off"));
            sleepMs(2000); // past the switch (opening the window draws all of it)
            const qint64 cpu0 = cpuNs(tool.pid()), t0 = nowNs();
            sleepMs(seconds * 1000);
            ms[on] = double(cpuNs(tool.pid()) - cpu0) / kMs / (double(nowNs() - t0) / 1e9);
        }
        ratios.append(ms[1] / ms[0]);
        if (added)
            added->append(ms[1] - ms[0]);
        *offMs += ms[0];
        *onMs += ms[1];
    }
    return ratios;
}

bool runFeatures()
{
    const int pairs = shortForm ? 1 : 6, seconds = shortForm ? 2 : 20;
    ConnectedTool t;
    if (!t.start(QStringLiteral("features"), 9600,
                 {QStringLiteral("--poll"), QStringLiteral("--check")}) ||
        !t.ready(QStringLiteral("POLLING")))
        return false;
    sleepMs(3000); // past start-up, the store's opening and the first readings
    note(QStringLiteral("CPU of recording: one tool, %1 pairs of %2 s phases without and with it")
             .arg(pairs)
             .arg(seconds));
    double recOff = 0, recOn = 0;
    const QVector<double> recording = offAndOn(*t.tool, "records", pairs, seconds, &recOff, &recOn);
    recOff /= pairs;
    recOn /= pairs;
    const bool clean = t.finish();
    const Stats rec = stats(recording);
    const QString s =
        QStringLiteral("polling both values every second with the check on, one tool, "
                       "%1 s phases without / with, alternating")
            .arg(seconds);
    const auto range = [](const Stats &st, double scale, double offset) {
        return num(scale * (st.min - offset), 1) + QStringLiteral("…") +
               num(scale * (st.max - offset), 1);
    };
    figure(s, QStringLiteral("CPU, recording off / on (median of %1 pairs' ratios)").arg(pairs),
           num(recOff, 2) + QStringLiteral(" / ") + num(recOn, 2) + QStringLiteral(" ms/s (") +
               (rec.p50 >= 1.0 ? QStringLiteral("+") : QString()) +
               num(100.0 * (rec.p50 - 1.0), 1) + QStringLiteral(" %; pairs ") +
               range(rec, 100.0, 1.0) + QStringLiteral(" %)"),
           QStringLiteral("≤ +5 %"), rec.p50 <= 1.05);
    return clean;
}

// What the trend window adds to a tool that polls both values every second
// with the check on, the window open on the last hour, following: the
// difference of CPU between phases with the window closed and open. With
// --before, an earlier build's tool runs beside it, and the pairs of the two
// tools take turns.
bool runTrend()
{
    const int pairs = shortForm ? 1 : 6, seconds = shortForm ? 2 : 20;
    const QStringList args = {QStringLiteral("--poll"), QStringLiteral("--check")};
    ConnectedTool now, before;
    before.program = QDir(beforeDir).filePath(QStringLiteral("movra_bench_tool"));
    const bool both = !beforeDir.isEmpty();
    if (!now.start(QStringLiteral("trend"), 9600, args) || !now.ready(QStringLiteral("POLLING")))
        return false;
    if (both && (!before.start(QStringLiteral("trend-before"), 9600, args) ||
                 !before.ready(QStringLiteral("POLLING"))))
        return false;
    sleepMs(3000); // past start-up, the store's opening and the first readings
    note(QStringLiteral("CPU of the trend window: %1 pairs of %2 s phases closed and open%3")
             .arg(pairs)
             .arg(seconds)
             .arg(both ? QStringLiteral(", this build's tool and the earlier one's in turn")
                       : QString()));
    double off[2] = {0, 0}, on[2] = {0, 0};
    QVector<double> added[2];
    for (int i = 0; i < pairs; ++i) {
        offAndOn(*now.tool, "trend", 1, seconds, &off[0], &on[0], &added[0], i);
        if (both)
            offAndOn(*before.tool, "trend", 1, seconds, &off[1], &on[1], &added[1], i);
    }
    const bool clean = now.finish() && (!both || before.finish());
    const QString section =
        QStringLiteral("polling both values every second with the check on, the trend window "
                       "closed / open on the last hour, following, %1 s phases")
            .arg(seconds);
    for (int b = 0; b < (both ? 2 : 1); ++b) {
        const Stats st = stats(added[b]);
        const QString value = num(off[b] / pairs, 2) + QStringLiteral(" / ") +
                              num(on[b] / pairs, 2) + QStringLiteral(" ms/s: ") +
                              (st.p50 >= 0 ? QStringLiteral("+") : QString()) + num(st.p50, 2) +
                              QStringLiteral(" ms/s (pairs ") + num(st.min, 2) +
                              QStringLiteral("…") + num(st.max, 2) + QStringLiteral(")");
        figure(section,
               b == 0 ? QStringLiteral("CPU added by the window (median of %1 pairs)").arg(pairs)
                      : QStringLiteral("same, the earlier build"),
               value, b == 0 ? QStringLiteral("≤ +10 ms/s (1 % of a core)") : QString(),
               b == 0 ? int(st.p50 <= 10.0) : -1);
    }
    return clean;
}

bool runLoaded()
{
    const int seconds = shortForm ? 4 : 150;
    // A busy loop keeps one core busy for the whole run.
    QProcess spin;
    spin.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--spin")});
    if (!spin.waitForStarted(5000))
        return false;
    ConnectedTool t;
    QStringList args = {QStringLiteral("--poll")};
    if (traceTicks)
        args << QStringLiteral("--trace-ticks");
    const bool ok =
        t.start(QStringLiteral("load-tool"), 9600, args) && t.ready(QStringLiteral("POLLING"));
    bool clean = false;
    if (ok) {
        note(QStringLiteral("periodic requests under load for %1 s").arg(seconds));
        sleepMs(seconds * 1000 + 500);
        clean = t.finish();
    }
    spin.kill();
    spin.waitForFinished(5000);
    if (!ok || !clean)
        return false;
    const QVector<double> intervals = pollIntervals(*t.sim.sim);
    const QString section =
        QStringLiteral("periodic requests, busy loop on the other core (%1 s)").arg(seconds);
    intervalFigures(section, intervals, true);
    if (traceTicks)
        tickFigures(section, *t.tool);
    // The short form only proves the run works; a crowded CI machine may
    // fit a single request into its few seconds.
    return shortForm || !intervals.isEmpty();
}

bool runLatency()
{
    const QList<int> rates = shortForm ? QList<int>{2400, 115200}
                                       : QList<int>{2400, 4800, 9600, 19200, 38400, 57600, 115200};
    const int reads = shortForm ? 10 : 220;
    const QString s =
        QStringLiteral("reply to display, manual reads at random moments (%1 each)").arg(reads);
    for (int rate : rates) {
        ConnectedTool t;
        const QString name = QStringLiteral("latency-%1").arg(rate);
        QStringList args = {QStringLiteral("--manual-reads"), QString::number(reads),
                            QStringLiteral("--gap-ms"), QStringLiteral("90:190")};
        if (traceTicks)
            args << QStringLiteral("--trace-ticks");
        if (!t.start(name, rate, args))
            return false;
        if (!t.ready(QStringLiteral("CONNECTED")) ||
            t.tool->waitFor(QStringLiteral("DONE"), reads * 400 + 10000) < 0)
            return false;
        sleepMs(200);
        if (!t.finish())
            return false;
        const Latencies all = replyLatencies(*t.sim.sim, *t.tool);
        const Stats l = stats(all.total);
        if (l.n == 0) {
            note(name + QStringLiteral(": no reply reached the labels"));
            return false;
        }
        figure(s, QStringLiteral("%1 Bd: min / p50 / p99 / max (n)").arg(rate),
               num(l.min, 2) + QStringLiteral(" / ") + num(l.p50, 2) + QStringLiteral(" / ") +
                   num(l.p99, 2) + QStringLiteral(" / ") + num(l.max, 2) + QStringLiteral(" ms (") +
                   QString::number(l.n) + QStringLiteral(")"),
               QStringLiteral("p99 in 20–31 ms"), l.p99 >= 20.0 && l.p99 <= 31.0);
        if (traceTicks && !all.toTick.isEmpty()) {
            const Stats a = stats(all.toTick), b = stats(all.toPaint);
            figure(s, QStringLiteral("%1 Bd: reply out → taking tick, p50 / p99 / max").arg(rate),
                   num(a.p50, 2) + QStringLiteral(" / ") + num(a.p99, 2) + QStringLiteral(" / ") +
                       num(a.max, 2) + QStringLiteral(" ms"));
            figure(s,
                   QStringLiteral("%1 Bd: taking tick → labels painted, p50 / p99 / max").arg(rate),
                   num(b.p50, 2) + QStringLiteral(" / ") + num(b.p99, 2) + QStringLiteral(" / ") +
                       num(b.max, 2) + QStringLiteral(" ms"));
            tickFigures(s + QStringLiteral(", %1 Bd").arg(rate), *t.tool);
        }
    }
    return true;
}

// ------------------------------------------------------------------ table

QString machineText()
{
    QString cpu;
    QFile f(QStringLiteral("/proc/cpuinfo"));
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : f.readAll().split('\n'))
            if (line.startsWith("model name")) {
                cpu = QString::fromLatin1(line.mid(line.indexOf(':') + 1)).trimmed();
                break;
            }
    }
    QString os;
    QFile r(QStringLiteral("/etc/os-release"));
    if (r.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : r.readAll().split('\n'))
            if (line.startsWith("PRETTY_NAME="))
                os = QString::fromLatin1(line.mid(12)).remove(QLatin1Char('"'));
    }
    double load = 0;
    QFile la(QStringLiteral("/proc/loadavg"));
    if (la.open(QIODevice::ReadOnly))
        load = la.readAll().split(' ').value(0).toDouble();
    return QStringLiteral("%1 × %2, %3, Qt %4, load average at the end %5")
        .arg(QThread::idealThreadCount())
        .arg(cpu, os, QLatin1String(qVersion()))
        .arg(load, 0, 'f', 2);
}

void printTable(const QString &reportPath)
{
    QString md;
    QTextStream out(&md);
    out << "Machine: " << machineText() << "\n";
    out << (shortForm ? "Short form (CI): figures are not comparable, budgets not judged.\n" : "")
        << "\n";
    QString section;
    for (const Figure &f : figures) {
        if (f.section != section) {
            section = f.section;
            out << "\n" << section << "\n\n";
            out << "| Figure | Measured | Budget | |\n|---|---|---|---|\n";
        }
        out << "| " << f.name << " | " << f.value << " | " << f.budget << " | " << f.verdict
            << " |\n";
    }
    out.flush();
    std::printf("%s", md.toUtf8().constData());
    std::fflush(stdout);
    if (!reportPath.isEmpty()) {
        QFile r(reportPath);
        if (r.open(QIODevice::WriteOnly | QIODevice::Truncate))
            r.write(md.toUtf8());
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--spin"))) {
        volatile unsigned long n = 0;
        for (;;)
            n = n + 1;
    }

    binDir = QCoreApplication::applicationDirPath();
    QString reportPath;
    QStringList only;
    bool strict = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("--short"))
            shortForm = true;
        else if (a == QLatin1String("--strict"))
            strict = true;
        else if (a == QLatin1String("--trace"))
            traceTicks = true;
        else if (a == QLatin1String("--bin") && i + 1 < args.size())
            binDir = args.at(++i);
        else if (a == QLatin1String("--report") && i + 1 < args.size())
            reportPath = args.at(++i);
        else if (a == QLatin1String("--only") && i + 1 < args.size())
            only = args.at(++i).split(QLatin1Char(','));
        else if (a == QLatin1String("--before") && i + 1 < args.size())
            beforeDir = args.at(++i);
        else {
            std::fprintf(
                stderr,
                "usage: movra_bench_run [--short] [--strict] [--trace] [--bin DIR] "
                "[--report FILE] [--only micro,startup,idle,wakeups,features,trend,load,latency] "
                "[--before DIR]\n");
            return 2;
        }
    }
    auto wanted = [&](const char *what) {
        return only.isEmpty() || only.contains(QLatin1String(what));
    };

    QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/movra-bench-XXXXXX"));
    if (!tmp.isValid())
        return 2;
    workDir = tmp.path();
    if (qEnvironmentVariableIsSet("MOVRA_BENCH_KEEP"))
        tmp.setAutoRemove(false);

    bool ok = true;
    if (ok && wanted("micro"))
        ok = runMicro();
    if (ok && wanted("startup"))
        ok = runStartup();
    if (ok && wanted("idle"))
        ok = runIdle();
    if (ok && wanted("wakeups"))
        ok = runWakeups();
    if (ok && wanted("features"))
        ok = runFeatures();
    if (ok && wanted("trend"))
        ok = runTrend();
    if (ok && wanted("load"))
        ok = runLoaded();
    if (ok && wanted("latency"))
        ok = runLatency();

    printTable(reportPath);
    if (!ok) {
        std::fprintf(stderr, "bench: a measurement could not be taken (files in %s)\n",
                     qPrintable(workDir));
        tmp.setAutoRemove(false);
        return 1;
    }
    return strict && !shortForm && anyMissed ? 1 : 0;
}
