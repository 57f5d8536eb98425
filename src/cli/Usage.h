// What `movra --help` prints: the command line's contract with the scripts
// that call it. The README's "Scripting" section shows the same text.
#pragma once

namespace movra::cli {

const char *usageText();

} // namespace movra::cli
