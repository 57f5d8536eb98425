// The extra ports an operator names (MOVRA_EXTRA_PORTS): pseudo-terminals
// and ports the system does not list.
#pragma once

#include <QStringList>

namespace movra {

// Split on ';' on every system, and on ':' too where paths cannot hold one
// as a separator (not Windows, where "COM7;COM8" is the natural form).
QStringList splitPortList(const QString &value);

} // namespace movra
