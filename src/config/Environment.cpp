#include "config/Environment.h"

namespace movra::config {

Environment Environment::fromProcess()
{
    Environment e;
    e.extraPorts = qEnvironmentVariable("MOVRA_EXTRA_PORTS");
    e.recordsUrl = qEnvironmentVariable("MOVRA_RECORDS_URL").trimmed();
    e.recordsOff = qEnvironmentVariable("MOVRA_RECORDS") == QLatin1String("off");
    e.tick = qEnvironmentVariable("MOVRA_TICK");
    e.language = qEnvironmentVariable("MOVRA_LANG").trimmed();
    e.testPassword = qEnvironmentVariable("MOVRA_TEST_PASSWORD");
    return e;
}

} // namespace movra::config
