// movra: the transmitter from the command line, for scripted end-of-line
// tests. `movra --help` prints the contract.
#include <QCoreApplication>
#include <cstdio>

#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/Usage.h"

using namespace movra::cli;

int main(int argc, char *argv[])
{
    catchInterrupts();
    QCoreApplication app(argc, argv);
    // The window's name, so that its Setting.ini and records are found.
    QCoreApplication::setApplicationName(QStringLiteral("MovraTestTool"));

    const Parsed parsed = parseArguments(QCoreApplication::arguments().mid(1),
                                         qEnvironmentVariable("MOVRA_TEST_PASSWORD"));
    const Invocation &inv = parsed.invocation;
    Output out(inv.json);
    if (!parsed.ok()) {
        out.error(kUsage, parsed.error);
        return kUsage;
    }
    switch (inv.command) {
    case Command::Help:
        std::fputs(usageText(), stdout);
        return kDone;
    case Command::Ports:
        return runPorts(inv, out);
    case Command::RecordsExport:
        out.error(kUsage, QStringLiteral("records export: this build has no record store"));
        return kUsage;
    default:
        break;
    }
    LineChoice choice;
    QString error;
    if (!chooseLine(inv, &choice, &error)) {
        out.error(kUsage, error);
        return kUsage;
    }
    RecordSink noRecords;
    DeviceRun run(inv, choice, out, noRecords);
    return run.run();
}
