#include "cli/LineDefaults.h"

#include "config/SettingIni.h"
#include "link/Protocol.h"

namespace movra::cli {

namespace {
constexpr qint32 kDefaultRate = 9600;

struct Remembered
{
    QString port;
    qint32 baud = kDefaultRate;
};

// A file the window cannot decode reads as none, here as there.
Remembered remembered()
{
    Remembered r;
    const config::WindowSettings s = config::SettingIni(config::SettingIni::defaultPath()).load();
    r.port = s.lastPort;
    const int index = s.lastBaudIndex.value_or(-1);
    if (index >= 0 && index < kBaudRateCount)
        r.baud = baudRateAt(index);
    return r;
}
} // namespace

bool chooseLine(const Invocation &inv, LineChoice *choice, QString *error)
{
    Remembered r;
    if (inv.port.isEmpty() || inv.baud == 0)
        r = remembered();
    choice->port = inv.port.isEmpty() ? r.port : inv.port;
    choice->baud = inv.baud != 0 ? inv.baud : r.baud;
    if (choice->port.isEmpty()) {
        *error = QStringLiteral("--port: missing, and Setting.ini remembers none; expected a port "
                                "name as movra ports lists it, or a device path");
        return false;
    }
    return true;
}

} // namespace movra::cli
