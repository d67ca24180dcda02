#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/station_config.h"

namespace nimbrix {

// What a reader asks of the console while it reads, in order. The readers are pure: the
// start-up code carries these out (write, wait for a key, pause, end the program).
struct ConfigAction {
  enum class Kind { kWriteLine, kWaitKey, kPause, kExit };
  Kind kind = Kind::kWriteLine;
  std::string text;  // kWriteLine: the text before the line end
  int value = 0;     // kPause: milliseconds; kExit: exit code
  bool operator==(const ConfigAction&) const = default;
};

struct ConfigResult {
  StationConfig config;
  ServerList servers;
  std::vector<ConfigAction> actions;  // ends with kExit when the configuration is refused
  bool exits() const {
    return !actions.empty() && actions.back().kind == ConfigAction::Kind::kExit;
  }
};

// Said after a refusal when the file's lines end in line feeds alone.
inline constexpr const char* kLineEndHint =
    "NIMBRIX.INI's lines end in LF alone: they need CR LF (unix2dos NIMBRIX.INI)";

// The file's contents; nullopt when NIMBRIX.INI cannot be read (missing, a directory, ...).
using ConfigBytes = std::optional<std::string>;

// The start-up step: set the defaults, pick the format from the first line, run that reader,
// then one empty line. `servers` comes prepared (slots empty, nCURSERVER = 1).
ConfigResult ReadConfiguration(const ConfigBytes& file);

// The keyword format ("USER=...") and the older positional format.
ConfigResult ReadConfigFormat2(const ConfigBytes& file, StationConfig config, ServerList servers);
ConfigResult ReadConfigFormat1(const ConfigBytes& file, StationConfig config, ServerList servers);

}  // namespace nimbrix
