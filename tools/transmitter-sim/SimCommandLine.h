// transmitter-sim's command line: its options, and what they set on the
// simulator before it starts serving.
#pragma once

#include "Faults.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

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
    int units = 1;
    bool numbered = false; // --units: links PREFIX1 .. PREFIXN
    Faults faults;
    QStringList changes; // readings on the move, one line each
};

constexpr int kMaxUnits = 32;

// Reads the arguments (--help and --version end the program here) and makes
// one host a unit (--units), each with its device and wire log set from
// them. An empty text when fine, else why not; the hosts are then left half
// set.
QString applyCommandLine(const QCoreApplication &app,
                         std::vector<std::unique_ptr<SimulatorHost>> *hosts, ServeChoice *choice);

} // namespace movrasim
