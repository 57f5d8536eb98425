#include "cli/LineDefaults.h"

#include <QSettings>
#include <QStandardPaths>
#include <exception>

#include "link/Protocol.h"

namespace movra::cli {

namespace {
constexpr qint32 kDefaultRate = 9600;

struct Remembered
{
    QString port;
    qint32 baud = kDefaultRate;
};

Remembered remembered()
{
    Remembered r;
    QSettings settings(settingsPath(), QSettings::IniFormat);
    // A file the window cannot decode reads as none, here as there.
    try {
        r.port = settings.value(QStringLiteral("lastComName")).toString();
        bool ok = false;
        const int index = settings.value(QStringLiteral("lastBraudRateIndex")).toInt(&ok);
        if (ok && index >= 0 && index < kBaudRateCount)
            r.baud = baudRateAt(index);
    } catch (const std::exception &) {
        r = Remembered();
    }
    return r;
}
} // namespace

QString settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
           QStringLiteral("/Setting.ini");
}

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
