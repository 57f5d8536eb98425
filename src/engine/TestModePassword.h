// Test mode is behind a maintenance password; the window and the command
// line accept the same ones.
#pragma once

#include <QString>

namespace movra {

bool isTestModePassword(const QString &entered);

} // namespace movra
