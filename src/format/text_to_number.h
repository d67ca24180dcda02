#pragma once

#include <string_view>

namespace nimbrix {

// Reads the number a text begins with: leading blanks, tabs and line feeds skipped (not CR),
// optional sign, digits with at most one ".", optional exponent ("E"/"D", either case).
// Stops at the first byte that does not fit; no digits gives 0. Never fails: a value beyond the
// double range gives infinity with its sign, one below the smallest gives 0; linear time.
double TextToNumber(std::string_view text);

}  // namespace nimbrix
