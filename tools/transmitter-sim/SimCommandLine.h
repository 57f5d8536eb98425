// transmitter-sim's command line: its options, and what they set on the
// simulator before it starts serving.
#pragma once

#include "Faults.h"

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace movrasim {

class SimulatorHost;

// What the command line chose beyond the device itself: where to serve, and
// what the start-up banner tells.
struct ServeChoice
{
    bool pty = false; // else portName
    bool hasLink = false;
    QString linkPath;
    QString portName;
    qint32 baud = 0;
    int address = 0;
    Faults faults;
    QStringList changes; // readings on the move, one line each
};

// Reads the arguments (--help and --version end the program here) and sets
// the host's device and wire log from them. An empty text when fine, else why
// not; the host is then left half set.
QString applyCommandLine(const QCoreApplication &app, SimulatorHost &host, ServeChoice *choice);

} // namespace movrasim
