#pragma once

#include <memory>

#include "platform/console.h"

namespace nimbrix {

// The POSIX console's drawing alone, as ANSI/VT bytes to `fd` (a pseudo-terminal, a pipe),
// gathered until Flush() as the station's console does; no keyboard, no signal handlers, the
// process's own terminal untouched. For tests and benchmarks of what reaches a terminal.
std::unique_ptr<Console> MakeTerminalOutput(int fd);

}  // namespace nimbrix
