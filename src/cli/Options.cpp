#include "cli/Options.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "cli/Events.h"
#include "engine/Session.h"
#include "engine/TestModePassword.h"
#include "link/Protocol.h"
#include "link/Tenths.h"

namespace movra::cli {

namespace {

enum : unsigned {
    kPorts = 1u << 0,
    kIdentify = 1u << 1,
    kRead = 1u << 2,
    kParams = 1u << 3,
    kWrite = 1u << 4,
    kCheck = 1u << 5,
    kExport = 1u << 6,
    kCalibrate = 1u << 7,
    kEvery = 0xFFu,
    kDevice = kIdentify | kRead | kParams | kWrite | kCheck | kCalibrate,
};

struct CommandSpec
{
    const char *name;
    Command command;
    unsigned bit;
};

const CommandSpec kCommands[] = {
    {"ports", Command::Ports, kPorts},
    {"identify", Command::Identify, kIdentify},
    {"read", Command::Read, kRead},
    {"params", Command::Params, kParams},
    {"write", Command::Write, kWrite},
    {"check", Command::Check, kCheck},
    {"records", Command::RecordsExport, kExport},
    {"calibrate", Command::Calibrate, kCalibrate},
};

using Apply = bool (*)(const QString &value, Invocation &inv);

struct OptionSpec
{
    const char *name;
    const char *accepts; // nullptr: a switch, without a value
    unsigned commands;
    Apply apply;
    bool secret; // its value is never repeated back
};

bool toInt(const QString &text, int low, int high, int *out)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *out = v;
    return true;
}

// A decimal as the window's fields take one; not a number, NaN and the
// infinities are refused rather than read as 0.
bool toDecimal(const QString &text, float *out)
{
    bool ok = false;
    const float v = text.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

bool toRate(const QString &text, qint32 *out)
{
    int v = 0;
    if (!toInt(text, 1, std::numeric_limits<int>::max(), &v) || baudCodeForRate(v) == 0)
        return false;
    *out = v;
    return true;
}

// REF:TOL, each typed as in the window and held in tenths as it holds them.
bool toCheck(const QString &text, qint64 refLow, qint64 refHigh, qint64 tolHigh,
             std::optional<Check> *out)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    float ref = 0;
    float tol = 0;
    if (parts.size() != 2 || !toDecimal(parts[0], &ref) || !toDecimal(parts[1], &tol) || tol < 0)
        return false;
    Check check;
    check.on = true;
    check.reference = textToTenths(parts[0].trimmed(), refLow, refHigh);
    check.tolerance = quint64(textToTenths(parts[1].trimmed(), 0, tolHigh));
    *out = check;
    return true;
}

bool toOffset(const QString &text, std::optional<qint32> *out)
{
    float v = 0;
    if (!toDecimal(text, &v) || std::fabs(v) > float(kMaxCorrection) / 10.0f)
        return false;
    *out = qint32(textToTenths(text.trimmed(), -kMaxCorrection, kMaxCorrection));
    return true;
}

bool toDate(const QString &text, QDateTime *out)
{
    const QDate day = QDate::fromString(text, Qt::ISODate);
    QDateTime t = day.isValid() && text.size() == 10
                      ? QDateTime(day, QTime(0, 0))
                      : QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!t.isValid())
        return false;
    *out = t;
    return true;
}

// A reference or a tolerance in tenths, within [low, high].
bool toTenths(const QString &text, qint32 low, qint32 high, qint32 *out)
{
    float v = 0;
    if (!toDecimal(text, &v) || v * 10.0f < float(low) - 0.5f || v * 10.0f > float(high) + 0.5f)
        return false;
    *out = qint32(textToTenths(text.trimmed(), low, high));
    return true;
}

bool toText(const QString &text, QString *out)
{
    *out = text.trimmed();
    return !out->isEmpty() && out->size() <= 100;
}

// clang-format off
const OptionSpec kOptions[] = {
    {"--port", "a port name as movra ports lists it, or a device path", kEvery,
     [](const QString &v, Invocation &i) { i.ports << v; i.port = i.ports.first(); return !v.isEmpty(); }, false},
    {"--serial", "the unit's serial number as on its label, once per --port", kDevice | kExport,
     [](const QString &v, Invocation &i) { i.serials << v; return !v.trimmed().isEmpty(); }, false},
    {"--baud", "2400 4800 9600 19200 38400 57600 115200, or auto", kEvery,
     [](const QString &v, Invocation &i) {
         i.autoBaud = v == QLatin1String("auto");
         return i.autoBaud || toRate(v, &i.baud); }, false},
    {"--station", "1-254; for records export, a station's name", kEvery,
     [](const QString &v, Invocation &i) {
         if (i.command == Command::RecordsExport) {
             i.exportStation = v;
             return !v.isEmpty();
         }
         i.stationGiven = true;
         return toInt(v, kMinStation, kMaxStation, &i.station); }, false},
    {"--test-mode", "one of the window's test-mode passwords", kEvery,
     [](const QString &v, Invocation &i) { i.testPassword = v; return isTestModePassword(v); }, true},
    {"--json", nullptr, kEvery,
     [](const QString &, Invocation &i) { i.json = true; return true; }, false},
    {"--no-records", nullptr, kEvery,
     [](const QString &, Invocation &i) { i.noRecords = true; return true; }, false},
    {"--db", "a file path or a postgresql:// URL", kEvery,
     [](const QString &v, Invocation &i) { i.db = v; return !v.isEmpty(); }, false},
    {"--timeout", "milliseconds, 1-600000", kEvery,
     [](const QString &v, Invocation &i) { return toInt(v, 1, 600000, &i.timeoutMs); }, false},
    {"--operator", "a name, 1-100 characters", kDevice,
     [](const QString &v, Invocation &i) { return toText(v, &i.operatorName); }, false},
    {"--reference", "the reference instrument's identifier, 1-100 characters", kDevice,
     [](const QString &v, Invocation &i) { return toText(v, &i.reference); }, false},
    {"--reference-due", "a date, YYYY-MM-DD", kDevice,
     [](const QString &v, Invocation &i) {
         i.referenceDue = QDate::fromString(v, Qt::ISODate);
         return i.referenceDue.isValid() && v.size() == 10; }, false},
    {"--allow-expired-reference", nullptr, kDevice,
     [](const QString &, Invocation &i) { i.allowExpired = true; return true; }, false},
    {"--count", "0 (until interrupted) to 1000000", kRead | kCheck,
     [](const QString &v, Invocation &i) { return toInt(v, 0, 1000000, &i.count); }, false},
    {"--interval", "seconds from 0 to 86400, e.g. 0.5", kRead | kCheck | kCalibrate,
     [](const QString &v, Invocation &i) {
         float s = 0;
         if (!toDecimal(v, &s) || s < 0 || s > 86400)
             return false;
         i.intervalTicks = int(std::lround(double(s) * 1000.0 / timing::kTickMs));
         return true; }, false},
    {"--temp", "REF:TOL in degrees Celsius, e.g. 25.0:0.5, TOL 0 or more", kCheck,
     [](const QString &v, Invocation &i) {
         return toCheck(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
                        std::numeric_limits<quint32>::max(), &i.temperature); }, false},
    {"--humi", "REF:TOL in %RH, e.g. 45:1, TOL 0 or more", kCheck,
     [](const QString &v, Invocation &i) {
         return toCheck(v, 0, std::numeric_limits<quint16>::max(),
                        std::numeric_limits<quint16>::max(), &i.humidity); }, false},
    {"--temp", "the reference in degrees Celsius, -55.0 to 100.0", kCalibrate,
     [](const QString &v, Invocation &i) {
         qint32 t = 0;
         const bool ok = toTenths(v, kMinTemperature, kMaxTemperature, &t);
         i.calTemp = t;
         return ok; }, false},
    {"--humi", "the reference in %RH, 0.0 to 100.0", kCalibrate,
     [](const QString &v, Invocation &i) {
         qint32 h = 0;
         const bool ok = toTenths(v, 0, kMaxHumidity, &h);
         i.calHumi = h;
         return ok; }, false},
    {"--samples", "1-1000", kCalibrate,
     [](const QString &v, Invocation &i) { return toInt(v, 1, 1000, &i.samples); }, false},
    {"--settle", "seconds, 0 (no wait) to 86400", kCalibrate,
     [](const QString &v, Invocation &i) { return toInt(v, 0, 86400, &i.settleSeconds); }, false},
    {"--max-wait", "seconds, 1 to 86400", kCalibrate,
     [](const QString &v, Invocation &i) { return toInt(v, 1, 86400, &i.maxWaitSeconds); }, false},
    {"--tol-temp", "degrees Celsius, 0.0 to 100.0", kCalibrate,
     [](const QString &v, Invocation &i) { return toTenths(v, 0, 1000, &i.tolTemp); }, false},
    {"--tol-humi", "%RH, 0.0 to 100.0", kCalibrate,
     [](const QString &v, Invocation &i) { return toTenths(v, 0, 1000, &i.tolHumi); }, false},
    {"--dry-run", nullptr, kCalibrate,
     [](const QString &, Invocation &i) { i.dryRun = true; return true; }, false},
    {"--new-station", "1-254", kWrite,
     [](const QString &v, Invocation &i) {
         int s = 0;
         if (!toInt(v, kMinStation, kMaxStation, &s))
             return false;
         i.newStation = s;
         return true; }, false},
    {"--new-baud", "2400 4800 9600 19200 38400 57600 115200", kWrite,
     [](const QString &v, Invocation &i) {
         qint32 rate = 0;
         if (!toRate(v, &rate))
             return false;
         i.newBaud = rate;
         return true; }, false},
    {"--temp-offset", "degrees Celsius from -10.0 to 10.0", kWrite,
     [](const QString &v, Invocation &i) { return toOffset(v, &i.tempOffset); }, false},
    {"--humi-offset", "%RH from -10.0 to 10.0", kWrite,
     [](const QString &v, Invocation &i) { return toOffset(v, &i.humiOffset); }, false},
    {"--order", "hardware, humidity-first or temperature-first", kWrite,
     [](const QString &v, Invocation &i) {
         for (int m = 0; m < kOrderModes; ++m) {
             if (v == orderName(m)) {
                 i.order = m;
                 return true;
             }
         }
         return false; }, false},
    {"--since", "a date or a date and time, e.g. 2024-05-01 or 2024-05-01T08:00", kExport,
     [](const QString &v, Invocation &i) { return toDate(v, &i.since); }, false},
    {"--until", "a date or a date and time, e.g. 2024-05-31 or 2024-05-31T18:00", kExport,
     [](const QString &v, Invocation &i) {
         // A day is taken whole: up to the next midnight.
         const bool ok = toDate(v, &i.until);
         if (ok && v.size() == 10)
             i.until = i.until.addDays(1);
         return ok; }, false},
    {"--format", "csv or json", kExport,
     [](const QString &v, Invocation &i) {
         i.format = v;
         return v == QLatin1String("csv") || v == QLatin1String("json"); }, false},
};
// clang-format on

// The row for `name` that `commandBit` takes, else its first row.
const OptionSpec *findOption(const QString &name, unsigned commandBit = 0)
{
    const OptionSpec *first = nullptr;
    for (const OptionSpec &o : kOptions) {
        if (name != QLatin1String(o.name))
            continue;
        if (o.commands & commandBit)
            return &o;
        if (!first)
            first = &o;
    }
    return first;
}

unsigned commandsTaking(const QString &name)
{
    unsigned bits = 0;
    for (const OptionSpec &o : kOptions) {
        if (name == QLatin1String(o.name))
            bits |= o.commands;
    }
    return bits;
}

const CommandSpec *findCommand(Command command)
{
    for (const CommandSpec &c : kCommands) {
        if (c.command == command)
            return &c;
    }
    return nullptr;
}

QString commandList()
{
    return QStringLiteral(
        "ports, identify, read, params, write, check, calibrate or records export");
}

// "read and check" for the commands that take an option.
QString takenBy(unsigned commands)
{
    QStringList names;
    for (const CommandSpec &c : kCommands) {
        if (commands & c.bit)
            names << commandName(c.command);
    }
    const QString last = names.takeLast();
    return names.isEmpty() ? last
                           : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

struct Given
{
    const OptionSpec *spec;
    QString value;
};

// Options and the command, in any order; values are applied afterwards.
QString scan(const QStringList &args, Invocation &inv, QVector<Given> &given)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg.size() > 1 && arg.startsWith(QLatin1Char('-'))) {
            const int eq = arg.startsWith(QLatin1String("--")) ? arg.indexOf(QLatin1Char('=')) : -1;
            const QString name = eq > 2 ? arg.left(eq) : arg;
            const OptionSpec *spec = findOption(name);
            if (!spec)
                return QStringLiteral("unknown option %1; see movra --help").arg(name);
            QString value;
            if (!spec->accepts) {
                if (eq > 2)
                    return QStringLiteral("%1: takes no value").arg(name);
            } else if (eq > 2) {
                value = arg.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args.at(++i);
            } else {
                return QStringLiteral("%1: missing value; expected %2").arg(name, spec->accepts);
            }
            given.append({spec, value});
            continue;
        }
        if (inv.command != Command::None)
            return QStringLiteral("unexpected argument \"%1\"; see movra --help").arg(arg);
        for (const CommandSpec &c : kCommands) {
            if (arg == QLatin1String(c.name))
                inv.command = c.command;
        }
        if (inv.command == Command::None)
            return QStringLiteral("unknown command \"%1\"; expected %2").arg(arg, commandList());
        if (inv.command == Command::RecordsExport) {
            if (i + 1 >= args.size() || args.at(i + 1) != QLatin1String("export"))
                return QStringLiteral("records: expected export");
            ++i;
        }
    }
    if (inv.command == Command::None)
        return QStringLiteral("no command; expected %1").arg(commandList());
    return QString();
}

QString apply(const QVector<Given> &given, Invocation &inv)
{
    const unsigned bit = findCommand(inv.command)->bit;
    for (const Given &g : given) {
        const QString name = QLatin1String(g.spec->name);
        const OptionSpec *spec = findOption(name, bit);
        if (!(spec->commands & bit)) {
            return QStringLiteral("%1: not an option of %2; %3 take it")
                .arg(name, commandName(inv.command), takenBy(commandsTaking(name)));
        }
        if (!spec->apply(g.value, inv)) {
            if (spec->secret)
                return QStringLiteral("%1: not accepted; expected %2").arg(name, spec->accepts);
            return QStringLiteral("%1: \"%2\" is not valid; expected %3")
                .arg(name, g.value, spec->accepts);
        }
    }
    return QString();
}

// Several ports make a fixture; what is given a unit must match them.
QString checkUnits(const Invocation &inv)
{
    if (inv.ports.size() > kMaxUnits)
        return QStringLiteral("--port: given %1 times; expected at most %2, one a unit")
            .arg(inv.ports.size())
            .arg(kMaxUnits);
    for (int i = 0; i < inv.ports.size(); ++i) {
        if (inv.ports.indexOf(inv.ports.at(i), i + 1) > 0)
            return QStringLiteral("--port: \"%1\" is given twice; expected one port a unit")
                .arg(inv.ports.at(i));
    }
    const int units = std::max(1, int(inv.ports.size()));
    if (!inv.serials.isEmpty() && inv.serials.size() != units)
        return QStringLiteral("--serial: %1 given for %2 ports; expected one per --port, "
                              "in the same order")
            .arg(inv.serials.size())
            .arg(units);
    return QString();
}

QString checkCalibration(const Invocation &inv)
{
    const bool calibrate = inv.command == Command::Calibrate;
    if (calibrate && !inv.calTemp && !inv.calHumi)
        return QStringLiteral("calibrate: nothing to calibrate; expected --temp REF, --humi REF "
                              "or both");
    // The stability rule wants readings in each half of the window.
    if (calibrate && inv.settleSeconds > 0 &&
        inv.settleSeconds * timing::kSecondTicks < 2 * inv.intervalTicks)
        return QStringLiteral("--settle: %1 s is shorter than two --interval; expected 0 or at "
                              "least twice the interval")
            .arg(inv.settleSeconds);
    if (calibrate && inv.intervalTicks == 0)
        return QStringLiteral("--interval: calibrate needs more than 0 seconds");
    const bool judged = calibrate || inv.command == Command::Check;
    if (judged && inv.referenceDue.isValid() && inv.referenceDue < QDate::currentDate() &&
        !inv.allowExpired)
        return QStringLiteral("--reference-due: the reference's calibration ran out on %1; "
                              "give --allow-expired-reference to use it anyway")
            .arg(inv.referenceDue.toString(Qt::ISODate));
    return QString();
}

QString crossCheck(Invocation &inv, const QString &envPassword)
{
    const QString units = checkUnits(inv);
    if (!units.isEmpty())
        return units;
    if (inv.testPassword.isEmpty() && !envPassword.isEmpty()) {
        if (!isTestModePassword(envPassword))
            return QStringLiteral("MOVRA_TEST_PASSWORD: not accepted; expected one of the window's "
                                  "test-mode passwords");
        inv.testPassword = envPassword;
    }
    if (inv.command == Command::Check && !inv.temperature)
        return QStringLiteral("check: --temp is missing; expected REF:TOL in degrees Celsius, "
                              "e.g. --temp 25.0:0.5");
    const QString calibration = checkCalibration(inv);
    if (!calibration.isEmpty())
        return calibration;
    if (inv.command == Command::Write && !inv.newStation && !inv.newBaud && !inv.tempOffset &&
        !inv.humiOffset && !inv.order)
        return QStringLiteral("write: nothing to write; expected one or more of --new-station, "
                              "--new-baud, --temp-offset, --humi-offset, --order");
    return QString();
}

} // namespace

QString commandName(Command command)
{
    if (command == Command::RecordsExport)
        return QStringLiteral("records export");
    const CommandSpec *c = findCommand(command);
    return c ? QLatin1String(c->name) : QString();
}

Parsed parseArguments(const QStringList &args, const QString &envPassword)
{
    Parsed p;
    Invocation &inv = p.invocation;
    inv.json = args.contains(QStringLiteral("--json"));
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        inv.command = Command::Help;
        return p;
    }
    QVector<Given> given;
    p.error = scan(args, inv, given);
    if (p.error.isEmpty())
        p.error = apply(given, inv);
    if (p.error.isEmpty())
        p.error = crossCheck(inv, envPassword);
    return p;
}

} // namespace movra::cli
