// The port and rate a command uses: its options, else what the window
// remembers in Setting.ini. movra only ever reads that file.
#pragma once

#include <QString>

#include "cli/Options.h"

namespace movra::cli {

struct LineChoice
{
    QString port;
    qint32 baud = 9600; // with --baud auto: the rate tried first
};

// False, with a usage error, when no port is given and none remembered.
bool chooseLine(const Invocation &inv, LineChoice *choice, QString *error);

} // namespace movra::cli
