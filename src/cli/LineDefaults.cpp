#include "cli/LineDefaults.h"

#include "config/SettingIni.h"
#include "link/Protocol.h"

namespace movra::cli {

bool chooseLine(const Invocation &inv, LineChoice *choice, QString *error)
{
    choice->port = inv.port;
    choice->baud = inv.baud != 0 ? inv.baud : 9600;
    if (inv.port.isEmpty() || inv.baud == 0) {
        // A file the window cannot decode reads as none, here as there.
        const config::WindowSettings s =
            config::SettingIni(config::SettingIni::defaultPath()).load();
        if (inv.port.isEmpty())
            choice->port = s.lastPort;
        const qint32 remembered = baudRateAt(s.lastBaudIndex.value_or(-1));
        if (inv.baud == 0 && remembered != 0)
            choice->baud = remembered;
    }
    if (choice->port.isEmpty()) {
        *error = QStringLiteral("--port: missing, and Setting.ini remembers none; expected a port "
                                "name as movra ports lists it, or a device path");
        return false;
    }
    return true;
}

} // namespace movra::cli
