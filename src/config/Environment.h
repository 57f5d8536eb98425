// The MOVRA_* variables, read once where a program starts and handed down
// from there as options.
#pragma once

#include <QString>

namespace movra::config {

struct Environment
{
    QString extraPorts;      // MOVRA_EXTRA_PORTS: ports to offer beyond the system's
    QString recordsUrl;      // MOVRA_RECORDS_URL: the central database, over Station.ini's
    bool recordsOff = false; // MOVRA_RECORDS=off: the window keeps no records
    QString tick;            // MOVRA_TICK: "every" or "due"
    QString language;        // MOVRA_LANG: "en" for English
    QString testPassword;    // MOVRA_TEST_PASSWORD: movra's --test-password

    static Environment fromProcess();
};

} // namespace movra::config
