#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/tcp_client.h"

namespace nimbrix {

inline constexpr const char* kErrorLogPath = "nimbrix.err";

// The APRS-IS side of the station: the connection, the server list it moves through, the
// login line it sends after every connect, and where it reports (row 24, the error log).
struct Uplink {
  Console& console;
  Clock& clock;
  TcpClient& tcp;
  Files& files;
  ServerList& servers;
  std::string loginLine;
};

// Opens the first reachable entry (a pass starts at nCURSERVER and wraps round to entry 1),
// sends the login line, shows "Using #...". Returns 0; returns at once for an empty list.
// Throws ProgramEnd{0} when ESC is pressed after a failed pass.
std::int16_t ConnectServers(Uplink& uplink);

// Sends one complete line; on failure logs, reconnects and sends it once more.
void SendLine(Uplink& uplink, std::string_view line);

}  // namespace nimbrix
