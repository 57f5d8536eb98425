// transmitter-sim: a stand-in for the temperature and humidity transmitter.

#include "Faults.h"
#include "link/Protocol.h"
#include "SimulatorHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int)
{
    stopRequested = 1;
}

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
  --temperature/--humidity; corrections are added, humidity stays in 0..100.0.
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

int fail(const QString &message)
{
    std::fprintf(stderr, "transmitter-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("transmitter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.31"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption ptyOption(QStringLiteral("pty"),
                                       QStringLiteral("Serve a new pseudo-terminal (POSIX)."));
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("With --pty: symlink PATH to the slave."),
                                        QStringLiteral("PATH"));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Serve the serial port NAME."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Device baud rate: 2400, 4800, 9600, 19200, 38400, 57600 or 115200."),
        QStringLiteral("RATE"), QStringLiteral("9600"));
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("Station address 1..254."),
                                           QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption faultOption(QStringLiteral("fault"),
                                         QStringLiteral("Faults to inject, see above."),
                                         QStringLiteral("LIST"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"), QStringLiteral("Seed for drop and garbage."), QStringLiteral("N"));
    const QCommandLineOption tempOption(QStringLiteral("temperature"),
                                        QStringLiteral("Pin the raw temperature, -40.0..125.0."),
                                        QStringLiteral("DEGC"));
    const QCommandLineOption humiOption(QStringLiteral("humidity"),
                                        QStringLiteral("Pin the raw humidity, 0.0..100.0."),
                                        QStringLiteral("RH"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Timestamped hex of the line on stderr."));
    parser.addOptions({ptyOption, linkOption, portOption, baudOption, addressOption, faultOption,
                       seedOption, tempOption, humiOption, verboseOption});
    parser.process(app);

    if (parser.isSet(ptyOption) == parser.isSet(portOption))
        return fail(QStringLiteral("give either --pty or --port NAME (see --help)"));
    if (parser.isSet(linkOption) && !parser.isSet(ptyOption))
        return fail(QStringLiteral("--link goes with --pty"));

    movrasim::SimulatorHost host;
    movrasim::DeviceModel &model = host.model();

    bool ok = false;
    const qint32 baud = parser.value(baudOption).toInt(&ok);
    if (!ok || movra::baudCodeForRate(baud) == 0)
        return fail(QStringLiteral("unsupported baud rate: %1").arg(parser.value(baudOption)));
    model.setBaudRate(baud);

    const int address = parser.value(addressOption).toInt(&ok, 0);
    if (!ok || address < 1 || address > 254)
        return fail(QStringLiteral("station address must be 1..254"));
    model.setAddress(quint8(address));

    movrasim::Faults faults;
    QString error;
    if (!movrasim::parseFaults(parser.values(faultOption), &faults, &error))
        return fail(error);
    if (parser.isSet(seedOption)) {
        const uint seed = parser.value(seedOption).toUInt(&ok);
        if (!ok)
            return fail(QStringLiteral("seed must be a number"));
        faults.seed = seed;
    }
    model.setFaults(faults);

    int tenths = 0;
    if (parser.isSet(tempOption)) {
        if (!parseTenths(parser.value(tempOption), -40.0, 125.0, &tenths))
            return fail(QStringLiteral("temperature must be -40.0..125.0"));
        model.setFixedTemperature(qint16(tenths));
    }
    if (parser.isSet(humiOption)) {
        if (!parseTenths(parser.value(humiOption), 0.0, 100.0, &tenths))
            return fail(QStringLiteral("humidity must be 0.0..100.0"));
        model.setFixedHumidity(quint16(tenths));
    }
    host.setVerbose(parser.isSet(verboseOption));

    QString where;
    if (parser.isSet(ptyOption)) {
        host.setLinkPath(parser.value(linkOption));
        const QString slave = host.start();
        if (slave.isEmpty())
            return fail(host.errorString());
        std::printf("%s\n", qPrintable(slave));
        std::fflush(stdout);
        where = slave;
        if (parser.isSet(linkOption))
            where += QStringLiteral(" (link %1)").arg(parser.value(linkOption));
    } else {
        if (!host.startOnPort(parser.value(portOption)))
            return fail(host.errorString());
        where = parser.value(portOption);
    }
    std::fprintf(stderr, "transmitter-sim: station %d, %d Bd, faults %s, on %s\n", address, baud,
                 qPrintable(movrasim::faultsText(faults)), qPrintable(where));

    // Signal handlers may only set a flag; the event loop picks it up.
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, &app, [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(50);

    QObject::connect(&host, &movrasim::SimulatorHost::transportFailed, &app,
                     [](const QString &reason) {
                         std::fprintf(stderr, "transmitter-sim: %s\n", qPrintable(reason));
                         QCoreApplication::exit(1);
                     });

    const int rc = app.exec();
    host.stop(); // removes the --link symlink
    return rc;
}
