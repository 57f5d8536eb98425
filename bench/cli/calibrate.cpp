// movra calibrate's budgets, against transmitter-sim on a pseudo-terminal at
// 9600 Bd:
//
//   calibrate --temp 25 --humi 50 --settle 0 --samples 5 --interval 1,
//   a steady unit                                     exec to exit <= 11.5 s
//   a settling unit (--settle 20:25:8), --settle 10   the wait ends <= 2 s
//                                                     after the span of the
//                                                     last 10 s first meets
//                                                     the 0.2 degC band
//   --temp-error 1.3 --noise-temp 0.03, calibrated    mean of 20 readings
//                                                     within 0.1 degC
//   a table of units (errors, noise, both quantities,
//   the range limit)                                  every correction exact
//                                                     to the tenth
//
//   movra_bench_calibrate [--runs N] [--short]
//
// Each case starts its own simulator (--pty --link) and runs movra --json
// --no-records; times come from QElapsedTimer around the process. --short
// leaves the settling unit out. Prints a table; exits 1 when a budget is
// missed or a run does not end as expected.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdio>

namespace {

struct Run
{
    int status = -1;
    double wallMs = 0;
    QVector<QJsonObject> events;

    QVector<QJsonObject> of(const char *name) const
    {
        QVector<QJsonObject> out;
        for (const QJsonObject &e : events) {
            if (e.value(QStringLiteral("event")).toString() == QLatin1String(name))
                out << e;
        }
        return out;
    }
};

class Simulator
{
public:
    Simulator(const QString &link, const QStringList &options)
    {
        QFile::remove(link);
        m_process.setProgram(QStringLiteral(MOVRA_SIM));
        m_process.setArguments(QStringList{"--pty", "--link", link} + options);
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start();
        for (int i = 0; i < 500 && !QFile::exists(link); ++i)
            QThread::msleep(10);
    }
    ~Simulator()
    {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

Run movra(const QString &port, const QStringList &args)
{
    QProcess p;
    p.setProgram(QStringLiteral(MOVRA_CLI));
    p.setArguments(QStringList{"--port", port, "--json", "--no-records"} + args);
    p.setStandardErrorFile(QProcess::nullDevice());
    Run r;
    QElapsedTimer clock;
    clock.start();
    p.start();
    p.waitForFinished(300000);
    r.wallMs = double(clock.nsecsElapsed()) / 1e6;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            r.events << QJsonDocument::fromJson(line).object();
    }
    return r;
}

double number(const QJsonObject &e, const char *key)
{
    return e.value(QLatin1String(key)).toDouble();
}

bool ok = true;

void row(const char *what, double value, const char *unit, const QString &budget, bool met)
{
    ok = ok && met;
    std::printf("| %-52s | %9.2f %-4s | %-18s | %-3s |\n", what, value, unit, qPrintable(budget),
                met ? "yes" : "no");
}

// Seconds from the first reading until the readings of the last `window`
// seconds first span no more than `band` (the window covered).
double spanMet(const QVector<QJsonObject> &readings, double window, double band)
{
    QVector<QPair<double, double>> points;
    QDateTime first;
    for (const QJsonObject &e : readings) {
        const QDateTime t =
            QDateTime::fromString(e.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
        if (!first.isValid())
            first = t;
        points.append({double(first.msecsTo(t)) / 1000.0, number(e, "temperature")});
    }
    for (int i = 0; i < points.size(); ++i) {
        if (points[i].first < window)
            continue;
        double low = 1e9, high = -1e9;
        for (int k = 0; k <= i; ++k) {
            if (points[k].first < points[i].first - window - 0.5)
                continue;
            low = std::min(low, points[k].second);
            high = std::max(high, points[k].second);
        }
        if (high - low <= band + 1e-6)
            return points[i].first;
    }
    return -1;
}

// Rounded to the tenth with halves away from zero, from the printed mean.
double expectedCorrection(const QJsonObject &e)
{
    const double delta = number(e, "reference") - number(e, "as_found");
    const double tenths = std::round(std::fabs(delta) * 10.0 + 1e-6);
    const double rounded = (delta < 0 ? -tenths : tenths) / 10.0;
    return std::round((number(e, "correction_before") + rounded) * 10.0) / 10.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--short"));
    int runs = quick ? 1 : 3;
    const int at = int(args.indexOf(QStringLiteral("--runs")));
    if (at > 0 && at + 1 < args.size())
        runs = qMax(1, args.at(at + 1).toInt());
    QTemporaryDir scratch;
    const QString link = scratch.filePath(QStringLiteral("unit"));

    std::printf("| %-52s | %14s | %-18s | %-3s |\n", "measure", "value", "budget", "met");
    std::printf("|---|---|---|---|\n");
    const QStringList steady{"calibrate", "--temp",    "25", "--humi",     "50", "--settle",
                             "0",         "--samples", "5",  "--interval", "1"};
    for (int i = 0; i < runs; ++i) {
        Simulator sim(link, {"--temperature", "24.6", "--humidity", "51.2"});
        const Run r = movra(link, steady);
        row("steady unit: calibrate exec to exit", r.wallMs / 1000.0, "s", "<= 11.5 s",
            r.status == 0 && r.wallMs <= 11500);
    }

    if (!quick) {
        Simulator sim(link, {"--settle", "20:25:8", "--humidity", "50"});
        const Run r = movra(link, {"calibrate", "--temp", "25", "--settle", "10"});
        const auto cal = r.of("calibration");
        const double met = spanMet(r.of("reading"), 10.0, 0.2);
        const double stopped = cal.isEmpty() ? -1 : number(cal[0], "stable_after_s");
        row("settling unit: wait ended after the span met the band", stopped - met, "s", "<= 2 s",
            r.status == 0 && met >= 0 && stopped >= met && stopped - met <= 2.0);
    }

    {
        Simulator sim(link, {"--temperature", "25", "--temp-error", "1.3", "--noise-temp", "0.03",
                             "--seed", "11"});
        const Run c = movra(link, {"calibrate", "--temp", "25", "--settle", "0"});
        const Run r = movra(link, {"read", "--count", "20", "--interval", "0.1"});
        double sum = 0;
        const auto readings = r.of("reading");
        for (const QJsonObject &e : readings)
            sum += number(e, "temperature");
        const double mean = readings.isEmpty() ? 0 : sum / readings.size();
        row("error 1.3, noise 0.03: |mean of 20 after - 25.0|", std::fabs(mean - 25.0), "degC",
            "<= 0.1 degC",
            c.status == 0 && r.status == 0 && readings.size() == 20 &&
                std::fabs(mean - 25.0) <= 0.1);
    }

    // temp error, humi error, noise (both), expected status
    const QVector<QStringList> cases{
        {"1.3", "-2.4", "0", "0"}, {"-0.5", "0.5", "0", "0"},      {"9.9", "-10.0", "0", "0"},
        {"10.1", "0", "0", "1"},   {"0.37", "-0.62", "0.05", "0"}, {"-3.75", "4.25", "0.05", "0"},
    };
    int exact = 0;
    int total = 0;
    for (const QStringList &c : quick ? cases.mid(0, 4) : cases) {
        Simulator sim(link, {"--temperature", "25", "--humidity", "50", "--temp-error", c[0],
                             "--humi-error", c[1], "--noise-temp", c[2], "--noise-humi", c[2],
                             "--seed", "3"});
        const Run r = movra(link, {"calibrate", "--temp", "25", "--humi", "50", "--settle", "0",
                                   "--samples", "2", "--interval", "0.2", "--dry-run"});
        for (const QJsonObject &e : r.of("calibration")) {
            ++total;
            const double got = number(e, "correction_after");
            if (std::fabs(got - expectedCorrection(e)) < 1e-6 && r.status == c[3].toInt())
                ++exact;
            else
                std::printf("  case %s: %s correction %.1f, expected %.1f, status %d\n",
                            qPrintable(c.join(QLatin1Char(' '))),
                            qPrintable(e.value(QStringLiteral("quantity")).toString()), got,
                            expectedCorrection(e), r.status);
        }
    }
    row("corrections exact to the tenth (cases of the table)", exact, "of",
        QStringLiteral("%1 of %1").arg(total), total > 0 && exact == total);
    return ok ? 0 : 1;
}
