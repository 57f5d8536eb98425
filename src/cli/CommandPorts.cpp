// ports: what the system lists, then MOVRA_EXTRA_PORTS (pseudo-terminals
// are never listed by the serial-port library).
#include <QSerialPortInfo>

#include "cli/Commands.h"

namespace movra::cli {

namespace {
Event portEvent(const QString &name, const QString &location, const QString &description,
                const QString &manufacturer, bool extra)
{
    Event e("port");
    e.text("name", name)
        .text("location", location)
        .text("description", description)
        .text("manufacturer", manufacturer)
        .flag("extra", extra);
    e.line = QStringList{name, location, description}.join(QLatin1Char('\t'));
    return e;
}
} // namespace

int runPorts(const Invocation &inv, Output &out)
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        out.event(portEvent(info.portName(), info.systemLocation(), info.description(),
                            info.manufacturer(), false));
    for (const QString &path : inv.extraPorts)
        out.event(portEvent(path, path, QStringLiteral("MOVRA_EXTRA_PORTS"), QString(), true));
    return kDone;
}

} // namespace movra::cli
