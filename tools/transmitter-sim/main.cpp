// transmitter-sim: a stand-in for the temperature and humidity transmitter.

#include "SimCommandLine.h"
#include "SimulatorHost.h"

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

int fail(const QString &message)
{
    std::fprintf(stderr, "transmitter-sim: %s\n", qPrintable(message));
    return 2;
}

// Starts serving unit `unit` (from 1) as chosen; *where is what the banner
// names.
bool serve(movrasim::SimulatorHost &host, const movrasim::ServeChoice &choice, int unit,
           QString *where)
{
    if (!choice.pty) {
        *where = choice.portName;
        return host.startOnPort(choice.portName);
    }
    const QString link = choice.numbered && choice.hasLink ? choice.linkPath + QString::number(unit)
                                                           : choice.linkPath;
    host.setLinkPath(link);
    const QString slave = host.start();
    if (slave.isEmpty())
        return false;
    std::printf("%s\n", qPrintable(slave));
    std::fflush(stdout);
    *where = slave;
    if (choice.hasLink)
        *where += QStringLiteral(" (link %1)").arg(link);
    return true;
}

// Signal handlers may only set a flag; the event loop picks it up.
void quitOnStopSignals(QTimer &stopPoll)
{
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    QObject::connect(&stopPoll, &QTimer::timeout, QCoreApplication::instance(), [] {
        if (stopRequested)
            QCoreApplication::quit();
    });
    stopPoll.start(50);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("transmitter-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.31"));

    std::vector<std::unique_ptr<movrasim::SimulatorHost>> hosts;
    movrasim::ServeChoice choice;
    const QString error = movrasim::applyCommandLine(app, &hosts, &choice);
    if (!error.isEmpty())
        return fail(error);

    for (size_t i = 0; i < hosts.size(); ++i) {
        movrasim::SimulatorHost &host = *hosts[i];
        QString where;
        if (!serve(host, choice, int(i + 1), &where))
            return fail(host.errorString());
        const QString unit = choice.numbered ? QStringLiteral("unit %1: ").arg(i + 1) : QString();
        std::fprintf(stderr, "transmitter-sim: %sstation %d, %d Bd, faults %s, on %s\n",
                     qPrintable(unit), choice.address, choice.baud,
                     qPrintable(movrasim::faultsText(host.model().faults())), qPrintable(where));
        QObject::connect(&host, &movrasim::SimulatorHost::transportFailed, &app,
                         [](const QString &reason) {
                             std::fprintf(stderr, "transmitter-sim: %s\n", qPrintable(reason));
                             QCoreApplication::exit(1);
                         });
    }
    for (const QString &change : choice.changes)
        std::fprintf(stderr, "transmitter-sim: %s\n", qPrintable(change));

    QTimer stopPoll;
    quitOnStopSignals(stopPoll);

    const int rc = app.exec();
    for (auto &host : hosts)
        host->stop(); // removes the --link symlink
    return rc;
}
