// movra: the transmitter from the command line, for scripted end-of-line
// tests. `movra --help` prints the contract.
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "cli/Commands.h"
#include "cli/Fixture.h"
#include "cli/Interrupt.h"
#include "cli/StoreSink.h"
#include "config/Environment.h"
#include "engine/PortList.h"

using namespace movra::cli;

namespace {
// One port is a unit of its own; several are a fixture.
int runDevices(const Invocation &inv, const LineChoice &choice, Output &out, RecordFile *file)
{
    if (inv.ports.size() > 1)
        return FixtureRun(inv, choice, out, file).run();
    const QString serial = inv.serials.value(0);
    movra::records::Recorder recorder = unitRecorder(file, inv, serial);
    Output unitOut = out.unit(choice.port, serial, false);
    return DeviceRun(inv, choice, unitOut, recorder).run();
}
} // namespace

int main(int argc, char *argv[])
{
    catchInterrupts();
    QCoreApplication app(argc, argv);
    // The window's name, so that its Setting.ini and records are found.
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));

    const movra::config::Environment env = movra::config::Environment::fromProcess();
    Parsed parsed = parseArguments(QCoreApplication::arguments().mid(1), env.testPassword);
    parsed.invocation.extraPorts = movra::splitPortList(env.extraPorts);
    parsed.invocation.recordsUrl = env.recordsUrl;
    parsed.invocation.tickMode =
        movra::TickScheduler::modeNamed(env.tick, parsed.invocation.tickMode);
    const Invocation &inv = parsed.invocation;
    Output out(inv.json);
    if (!parsed.ok())
        return out.error(kUsage, parsed.error);
    switch (inv.command) {
    case Command::Help:
        std::fputs(usageText(), stdout);
        return kDone;
    case Command::Ports:
        return runPorts(inv, out);
    case Command::RecordsExport:
        return runRecordsExport(inv, out);
    default:
        break;
    }
    LineChoice choice;
    QString error;
    if (!chooseLine(inv, &choice, &error))
        return out.error(kUsage, error);
    // Declared first, so that it goes last, when every record is in.
    std::unique_ptr<RecordFile> file;
    if (!inv.noRecords) {
        StoreChoice store;
        if (!chooseStore(inv, &store, &error))
            return out.error(kUsage, error);
        file = std::make_unique<RecordFile>(store, out);
    }
    int status = runDevices(inv, choice, out, file.get());
    if (!file)
        return status;
    status = file->finish(status);
    if (file->abandoned()) {
        // A central copy step still waits on the network: its thread must not
        // meet the library's teardown. The records are safe in the file.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    return status;
}
