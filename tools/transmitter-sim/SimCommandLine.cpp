#include "SimCommandLine.h"

#include "SimulatorHost.h"
#include "link/Protocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cmath>
#include <functional>

namespace movrasim {

namespace {

const char description[] =
    R"(Simulated temperature and humidity transmitter (RS-485, Modbus-RTU style).

Serves either a new pseudo-terminal (--pty, prints the slave path on stdout)
or an existing serial port (--port). 8 data bits, no parity, 1 stop bit.

Device:
  Answers requests for its station address and for address 0 (any device).
  Address 253 (0xFD) answers only reads of 0x0100..0x0101 (test-mode probe).
  Requests for other stations get no answer. Replies carry the address byte
  of the request.
  Registers (read 0x03 / write 0x06, values in tenths):
    0x0000 r   humidity %RH, unsigned, 0..100.0
    0x0001 r   temperature degC, signed
    0x0050 rw  temperature correction, signed, -100.0..100.0
    0x0051 rw  humidity correction, signed, -100.0..100.0
    0x0052 rw  order: 0 hardware, 1 humidity first, 2 temperature first
               (mode 2 swaps the contents of 0x0000 and 0x0001)
    0x0100 rw  station address 1..254 (takes effect at once)
    0x0101 r   always 0
    0x0104 w   restart (any value); a baud rate set before takes effect
    0x0110 w   identification: answered with the text
               "ARDENO\0KVT582-TH\0V1.31\0" (no CRC)
  Readings drift slowly around 23 degC and 45 %RH unless pinned with
  --temperature/--humidity or moved with --settle/--ramp (see below);
  corrections are added, humidity stays in 0..100.0.
  Reads of 1..125 registers within one block are answered; other registers
  give exception 02, a count of 0 or above 125 and out-of-range writes give
  exception 03, other function codes give exception 01.
  Baud-rate frame FD FD FD code 00 CRC: code 0 reads the active rate, codes
  1..7 (2400..115200) store a rate that becomes active at the next restart
  and are echoed; other codes get no answer. Not subject to station address.
  Incomplete frames wait for more bytes; bytes that start no valid frame are
  dropped one at a time until a frame with a good CRC lines up.

Baud rate on a pseudo-terminal:
  The slave's termios speed is read whenever bytes arrive; frames sent while
  the peer's port is set to another speed than the device's are ignored, as
  with a real device at the wrong rate. This works on Linux with QSerialPort
  (it sets the slave's speed with tcsetattr, which the simulator sees).
  Peers that never set a speed get the device's rate at start.
  With --port the port itself switches speed about 100 ms after a restart.

Stops on SIGINT or SIGTERM and removes its --link symlink.

A fixture of several units (--units N, with --pty):
  N independent devices, each on its own pseudo-terminal; their slave paths
  are printed one a line, and --link PREFIX links PREFIX1 .. PREFIXN to them.
  Every other option applies to each unit; --unit-fault K:LIST adds faults
  to unit K only and --unit-temp K:DEGC pins its raw temperature (both
  repeatable, K from 1 to N). Example, a fixture of 8 with one unit silent
  and one reading 30 degC:
    transmitter-sim --units 8 --link /tmp/fx --unit-fault 3:silent --unit-temp 5:30

Readings on the move (raw values, before corrections; from the start):
  --settle FROM:TO:TAU    temperature steps from FROM to TO degC as seen by a
                          sensor with a first-order time constant of TAU
                          seconds: 63 % of the way after TAU, 99 % after 5 TAU
  --ramp FROM:TO:SECONDS  temperature in a straight line from FROM to TO degC
                          over SECONDS
  --settle-humidity FROM:TO:TAU, --ramp-humidity FROM:TO:SECONDS
                          the same for humidity, %RH
  The reading then stays at TO. Seconds may have decimals; 0 is a plain step.
  Example: --settle 20.0:25.0:8 reads 20.0, 23.2 after 8 s, 24.9 after 30 s
  and 25.0 from 37 s on. One of --temperature, --settle and --ramp at a time,
  likewise for humidity.

A unit to calibrate (raw values, before corrections):
  --temp-error E, --humi-error E
                          the sensor reads E degC (%RH) off until a
                          correction of -E makes up for it
  --noise-temp SD, --noise-humi SD
                          Gaussian noise of standard deviation SD on every
                          reading; --seed makes it repeat
  Example: --temperature 25 --temp-error 1.3 --noise-temp 0.03 reads about
  26.3 until the temperature correction is -1.3.

Faults (--fault, comma-separated, repeatable):
  silent        requests are carried out, nothing is sent back
  badcrc        CRC bytes of every reply inverted (identification text unchanged)
  drop=P        leave out P % of replies, chosen by the seed
  delay=MS      wait MS before each reply
  split[=MS]    send each reply in two halves MS apart (default 50)
  echo          half-duplex adapter: every received byte comes straight back,
                before the reply and even when the device stays silent
  exception     every register request answered with exception 01
                (function | 0x80); baud-rate frames answered normally
  garbage[=MS]  4..16 random bytes MS before each reply (default 50)
  seed=N        seed for drop and garbage (also --seed)
)";

bool parseTenths(const QString &text, double minimum, double maximum, int *out)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || v < minimum || v > maximum)
        return false;
    *out = qRound(v * 10.0);
    return true;
}

// The options that set one quantity's raw reading: pinned, settling or ramping.
struct ReadingOptions
{
    QString name; // for messages
    double minimum, maximum;
    QCommandLineOption pin, settle, ramp;
};

// What the options ask for, applied through `apply`; an empty text when
// fine, else why not. `what` collects changes for the banner.
QString readReading(const QCommandLineParser &parser, const ReadingOptions &o,
                    const std::function<void(int)> &pin,
                    const std::function<void(const movrasim::Settling &)> &settle,
                    QStringList *what)
{
    const int given =
        int(parser.isSet(o.pin)) + int(parser.isSet(o.settle)) + int(parser.isSet(o.ramp));
    if (given > 1)
        return QStringLiteral("give only one of --%1, --%2 and --%3")
            .arg(o.pin.names().first(), o.settle.names().first(), o.ramp.names().first());
    const QString range = QStringLiteral("%1..%2").arg(QString::number(o.minimum, 'f', 1),
                                                       QString::number(o.maximum, 'f', 1));
    if (parser.isSet(o.pin)) {
        int tenths = 0;
        if (!parseTenths(parser.value(o.pin), o.minimum, o.maximum, &tenths))
            return QStringLiteral("%1 must be %2").arg(o.name, range);
        pin(tenths);
        return {};
    }
    for (const auto &[option, shape] :
         {std::make_pair(&o.settle, movrasim::Settling::Shape::FirstOrder),
          std::make_pair(&o.ramp, movrasim::Settling::Shape::Ramp)}) {
        if (!parser.isSet(*option))
            continue;
        QString error;
        const auto change =
            movrasim::parseSettling(parser.value(*option), shape, o.minimum, o.maximum, &error);
        if (!change)
            return QStringLiteral("--%1 %2").arg(option->names().first(), error);
        settle(*change);
        *what << o.name + QLatin1Char(' ') + movrasim::settlingText(*change);
    }
    return {};
}

// Every option of the program; applyCommandLine() gives --help their order.
struct CommandLineOptions
{
    const QCommandLineOption pty{QStringLiteral("pty"),
                                 QStringLiteral("Serve a new pseudo-terminal (POSIX).")};
    const QCommandLineOption link{QStringLiteral("link"),
                                  QStringLiteral("With --pty: symlink PATH to the slave."),
                                  QStringLiteral("PATH")};
    const QCommandLineOption port{QStringLiteral("port"),
                                  QStringLiteral("Serve the serial port NAME."),
                                  QStringLiteral("NAME")};
    const QCommandLineOption baud{
        QStringLiteral("baud"),
        QStringLiteral("Device baud rate: 2400, 4800, 9600, 19200, 38400, 57600 or 115200."),
        QStringLiteral("RATE"), QStringLiteral("9600")};
    const QCommandLineOption address{QStringLiteral("address"),
                                     QStringLiteral("Station address 1..254."), QStringLiteral("N"),
                                     QStringLiteral("1")};
    const QCommandLineOption fault{QStringLiteral("fault"),
                                   QStringLiteral("Faults to inject, see above."),
                                   QStringLiteral("LIST")};
    const QCommandLineOption seed{QStringLiteral("seed"),
                                  QStringLiteral("Seed for drop, garbage and noise."),
                                  QStringLiteral("N")};
    const QCommandLineOption tempError{QStringLiteral("temp-error"),
                                       QStringLiteral("Raw temperature off by E degC."),
                                       QStringLiteral("E")};
    const QCommandLineOption humiError{QStringLiteral("humi-error"),
                                       QStringLiteral("Raw humidity off by E %RH."),
                                       QStringLiteral("E")};
    const QCommandLineOption tempNoise{QStringLiteral("noise-temp"),
                                       QStringLiteral("Temperature noise, SD degC."),
                                       QStringLiteral("SD")};
    const QCommandLineOption humiNoise{QStringLiteral("noise-humi"),
                                       QStringLiteral("Humidity noise, SD %RH."),
                                       QStringLiteral("SD")};
    const ReadingOptions temperature{
        QStringLiteral("temperature"),
        -40.0,
        125.0,
        {QStringLiteral("temperature"), QStringLiteral("Pin the raw temperature, -40.0..125.0."),
         QStringLiteral("DEGC")},
        {QStringLiteral("settle"),
         QStringLiteral("Temperature settling from FROM to TO degC, time constant TAU s."),
         QStringLiteral("FROM:TO:TAU")},
        {QStringLiteral("ramp"),
         QStringLiteral("Temperature ramping from FROM to TO degC over SECONDS."),
         QStringLiteral("FROM:TO:SECONDS")}};
    const ReadingOptions humidity{
        QStringLiteral("humidity"),
        0.0,
        100.0,
        {QStringLiteral("humidity"), QStringLiteral("Pin the raw humidity, 0.0..100.0."),
         QStringLiteral("RH")},
        {QStringLiteral("settle-humidity"),
         QStringLiteral("Humidity settling from FROM to TO %RH, time constant TAU s."),
         QStringLiteral("FROM:TO:TAU")},
        {QStringLiteral("ramp-humidity"),
         QStringLiteral("Humidity ramping from FROM to TO %RH over SECONDS."),
         QStringLiteral("FROM:TO:SECONDS")}};
    const QCommandLineOption units{QStringLiteral("units"),
                                   QStringLiteral("With --pty: serve N units, 1..32."),
                                   QStringLiteral("N"), QStringLiteral("1")};
    const QCommandLineOption unitFault{QStringLiteral("unit-fault"),
                                       QStringLiteral("Faults for unit K only, see above."),
                                       QStringLiteral("K:LIST")};
    const QCommandLineOption unitTemp{QStringLiteral("unit-temp"),
                                      QStringLiteral("Pin unit K's raw temperature."),
                                      QStringLiteral("K:DEGC")};
    const QCommandLineOption verbose{QStringLiteral("verbose"),
                                     QStringLiteral("Timestamped hex of the line on stderr.")};
};

// Baud rate, station address and faults.
QString readDevice(const QCommandLineParser &parser, const CommandLineOptions &o,
                   DeviceModel &model, ServeChoice *choice)
{
    bool ok = false;
    choice->baud = parser.value(o.baud).toInt(&ok);
    if (!ok || movra::baudCodeForRate(choice->baud) == 0)
        return QStringLiteral("unsupported baud rate: %1").arg(parser.value(o.baud));
    model.setBaudRate(choice->baud);

    choice->address = parser.value(o.address).toInt(&ok, 0);
    if (!ok || choice->address < 1 || choice->address > 254)
        return QStringLiteral("station address must be 1..254");
    model.setAddress(quint8(choice->address));

    QString error;
    if (!parseFaults(parser.values(o.fault), &choice->faults, &error))
        return error;
    if (parser.isSet(o.seed)) {
        const uint seed = parser.value(o.seed).toUInt(&ok);
        if (!ok)
            return QStringLiteral("seed must be a number");
        choice->faults.seed = seed;
    }
    model.setFaults(choice->faults);
    return {};
}

// Errors and noise, in tenths inside the model.
QString readUnit(const QCommandLineParser &parser, const CommandLineOptions &o, DeviceModel &model,
                 QStringList *changes)
{
    double value[4] = {0, 0, 0, 0};
    const QCommandLineOption *opts[4] = {&o.tempError, &o.humiError, &o.tempNoise, &o.humiNoise};
    for (int i = 0; i < 4; ++i) {
        if (!parser.isSet(*opts[i]))
            continue;
        bool ok = false;
        value[i] = parser.value(*opts[i]).toDouble(&ok);
        const bool noise = i >= 2;
        if (!ok || std::fabs(value[i]) > 50.0 || (noise && value[i] < 0))
            return QStringLiteral("--%1 must be %2")
                .arg(opts[i]->names().first(),
                     noise ? QStringLiteral("0..50.0") : QStringLiteral("-50.0..50.0"));
        *changes << QStringLiteral("%1 %2").arg(opts[i]->names().first(),
                                                QString::number(value[i]));
    }
    model.setTemperatureError(qRound(value[0] * 10.0));
    model.setHumidityError(qRound(value[1] * 10.0));
    model.setNoise(value[2] * 10.0, value[3] * 10.0);
    return {};
}

QString readReadings(const QCommandLineParser &parser, const CommandLineOptions &o,
                     DeviceModel &model, QStringList *changes)
{
    const QString error = readReading(
        parser, o.temperature, [&](int tenths) { model.setFixedTemperature(qint16(tenths)); },
        [&](const Settling &c) { model.settleTemperature(c); }, changes);
    if (!error.isEmpty())
        return error;
    return readReading(
        parser, o.humidity, [&](int tenths) { model.setFixedHumidity(quint16(tenths)); },
        [&](const Settling &c) { model.settleHumidity(c); }, changes);
}

// "K:VALUE" with K a unit of the fixture.
bool unitValue(const QString &text, int units, int *unit, QString *value)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    *unit = text.left(colon).toInt(&ok);
    *value = text.mid(colon + 1);
    return colon > 0 && ok && *unit >= 1 && *unit <= units;
}

// --unit-fault and --unit-temp on top of what every unit has.
QString readUnits(const QCommandLineParser &parser, const CommandLineOptions &o,
                  std::vector<std::unique_ptr<SimulatorHost>> &hosts)
{
    const int units = int(hosts.size());
    int unit = 0;
    QString value;
    for (const QString &item : parser.values(o.unitFault)) {
        if (!unitValue(item, units, &unit, &value))
            return QStringLiteral("--unit-fault %1: expected K:LIST with K 1..%2")
                .arg(item)
                .arg(units);
        Faults faults = hosts[size_t(unit - 1)]->model().faults();
        QString error;
        if (!parseFaults({value}, &faults, &error))
            return error;
        hosts[size_t(unit - 1)]->model().setFaults(faults);
    }
    for (const QString &item : parser.values(o.unitTemp)) {
        int tenths = 0;
        if (!unitValue(item, units, &unit, &value) || !parseTenths(value, -40.0, 125.0, &tenths))
            return QStringLiteral("--unit-temp %1: expected K:DEGC with K 1..%2, DEGC -40.0..125.0")
                .arg(item)
                .arg(units);
        hosts[size_t(unit - 1)]->model().setFixedTemperature(qint16(tenths));
    }
    return {};
}

} // namespace

namespace {
// Where to serve and how many units: everything that is not a device's own.
QString readServe(const QCommandLineParser &parser, const CommandLineOptions &o,
                  ServeChoice *choice)
{
    if (parser.isSet(o.pty) == parser.isSet(o.port))
        return QStringLiteral("give either --pty or --port NAME (see --help)");
    if (parser.isSet(o.link) && !parser.isSet(o.pty))
        return QStringLiteral("--link goes with --pty");
#ifndef Q_OS_UNIX
    if (parser.isSet(o.pty))
        return QStringLiteral("--pty needs a POSIX system; give --port COMn, one end of a virtual "
                              "COM port pair");
#endif
    choice->pty = parser.isSet(o.pty);
    choice->hasLink = parser.isSet(o.link);
    choice->linkPath = parser.value(o.link);
    choice->portName = parser.value(o.port);
    bool ok = false;
    choice->units = parser.value(o.units).toInt(&ok);
    if (!ok || choice->units < 1 || choice->units > kMaxUnits)
        return QStringLiteral("--units must be 1..%1").arg(kMaxUnits);
    choice->numbered = parser.isSet(o.units);
    if (choice->numbered && !choice->pty)
        return QStringLiteral("--units goes with --pty");
    return QString();
}
} // namespace

QString applyCommandLine(const QCoreApplication &app,
                         std::vector<std::unique_ptr<SimulatorHost>> *hosts, ServeChoice *choice)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const CommandLineOptions o;
    parser.addOptions({o.pty,
                       o.link,
                       o.port,
                       o.baud,
                       o.address,
                       o.fault,
                       o.seed,
                       o.temperature.pin,
                       o.temperature.settle,
                       o.temperature.ramp,
                       o.humidity.pin,
                       o.humidity.settle,
                       o.humidity.ramp,
                       o.units,
                       o.unitFault,
                       o.unitTemp,
                       o.tempError,
                       o.humiError,
                       o.tempNoise,
                       o.humiNoise,
                       o.verbose});
    parser.process(app);
    if (const QString error = readServe(parser, o, choice); !error.isEmpty())
        return error;

    for (int unit = 0; unit < choice->units; ++unit) {
        hosts->push_back(std::make_unique<SimulatorHost>());
        SimulatorHost &host = *hosts->back();
        // The banner tells the changes once; every unit has them.
        QStringList changes;
        QString error = readDevice(parser, o, host.model(), choice);
        if (error.isEmpty())
            error = readReadings(parser, o, host.model(), &changes);
        if (error.isEmpty())
            error = readUnit(parser, o, host.model(), &changes);
        if (!error.isEmpty())
            return error;
        if (unit == 0)
            choice->changes = changes;
        host.setVerbose(parser.isSet(o.verbose));
    }
    return readUnits(parser, o, *hosts);
}

} // namespace movrasim
