#pragma once

// What a fuzz target does when an invariant breaks: say which, then abort so libFuzzer keeps
// the input as a crash.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace nimbrix::fuzz {

[[noreturn]] inline void Fail(std::string_view what, std::string_view detail = {}) {
  std::fprintf(stderr, "invariant broken: %.*s\n  %.*s\n", static_cast<int>(what.size()),
               what.data(), static_cast<int>(detail.size()), detail.data());
  std::abort();
}

inline void Check(bool ok, std::string_view what, std::string_view detail = {}) {
  if (!ok) Fail(what, detail);
}

// A line for the APRS-IS stream: not empty, one CR LF at its end and no other CR or LF.
inline void CheckOneLine(std::string_view line, std::string_view what) {
  Check(line.size() >= 2 && line.substr(line.size() - 2) == "\r\n", what, line);
  Check(line.find_first_of("\r\n") == line.size() - 2, what, line);
}

}  // namespace nimbrix::fuzz
