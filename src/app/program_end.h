#pragma once

namespace nimbrix {

// Thrown where the program ends on its own (a refused configuration, ESC while no server can be
// reached, the decoder not found). main() catches it, restores the terminal and exits with it.
struct ProgramEnd {
  int exitCode = 0;
};

}  // namespace nimbrix
