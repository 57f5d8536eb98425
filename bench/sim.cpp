// The simulated transmitter as the bench driver runs it: on a pseudo-terminal
// behind a symlink, with readings that move after every request, so each
// reply carries values of its own and can be found again on the labels.
//
//   movra_bench_sim --link PATH [--baud N]
//
// Prints "READY <ns> <slave>" once it serves; on "quit" from stdin (or its
// end) every request and reply it saw: RX|TX <ns> <hex>. A reply's stamp is
// taken right after its last byte went into the line.

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QVector>
#include <cstdio>

#include "Clock.h"
#include "SimulatorHost.h"

using movrabench::nowNs;

namespace {

struct Event
{
    qint64 ns;
    bool sent;
    QByteArray bytes;
};

// Value k of a run: one tenth up per reply, as a slow drift would move
// it, so the labels keep their width while every reply still shows values
// of its own (the same ones come back only 100 replies later).
quint16 humidityFor(int k)
{
    return quint16(452 + k % 100);
}
qint16 temperatureFor(int k)
{
    return qint16(231 + k % 100);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString link;
    int baud = 9600;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--link") && i + 1 < args.size())
            link = args.at(++i);
        else if (args.at(i) == QLatin1String("--baud") && i + 1 < args.size())
            baud = args.at(++i).toInt();
        else {
            std::fprintf(stderr, "movra_bench_sim: unknown argument %s\n", qPrintable(args.at(i)));
            return 2;
        }
    }

    movrasim::SimulatorHost host;
    host.model().setBaudRate(baud);
    int k = 0;
    host.model().setFixedHumidity(humidityFor(k));
    host.model().setFixedTemperature(temperatureFor(k));

    QVector<Event> events;
    events.reserve(100000);
    QObject::connect(&host, &movrasim::SimulatorHost::bytesSent,
                     [&](const QByteArray &b) { events.append({nowNs(), true, b}); });
    QObject::connect(&host, &movrasim::SimulatorHost::bytesReceived, [&](const QByteArray &b) {
        events.append({nowNs(), false, b});
        // The reply to these bytes is out already; the next one differs.
        ++k;
        host.model().setFixedHumidity(humidityFor(k));
        host.model().setFixedTemperature(temperatureFor(k));
    });

    host.setLinkPath(link);
    const QString slave = host.start();
    if (slave.isEmpty()) {
        std::fprintf(stderr, "movra_bench_sim: %s\n", qPrintable(host.errorString()));
        return 3;
    }
    movrabench::report("READY", nowNs(), QFile::encodeName(slave));

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char line[64];
        if (!std::fgets(line, sizeof line, stdin) || qstrncmp(line, "quit", 4) == 0) {
            input.setEnabled(false);
            for (const Event &e : events)
                std::printf("%s %lld %s\n", e.sent ? "TX" : "RX", static_cast<long long>(e.ns),
                            e.bytes.toHex().constData());
            std::fflush(stdout);
            host.stop();
            app.quit();
        }
    });
    return app.exec();
}
