#pragma once

// The keys of the outputs beside the primary link (SONDEHUB, ALSO, UDP, WEB, ...). Like OBJECT
// they are no part of the keyword string: each is matched whole and upper-cased, never
// shortened, so that every older key is found where it always was.

#include <optional>
#include <string>
#include <string_view>

#include "config/station_config.h"

namespace nimbrix {

// What a whole key did to the settings.
struct OutputKeyResult {
  bool matched = false;  // the key is one of these (the line is taken, whatever its value)
  std::string warning;   // a value that cannot be used, in words for the operator; "" when fine
};

OutputKeyResult ApplyOutputKey(StationConfig& config, std::string_view key, std::string_view value);

// "lat,lon" or "lat,lon,alt" in decimal degrees and metres; nothing for any other text or a
// place that cannot be.
std::optional<StationPosition> ParseStationPosition(std::string_view text);

// "host,port": the host and the port (1..65535); nothing when either is missing or wrong.
struct HostAndPort {
  std::string host;
  int port = 0;
};
std::optional<HostAndPort> ParseHostAndPort(std::string_view text);

}  // namespace nimbrix
