#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/tcp_client.h"
#include "uplink/login_answer.h"

namespace nimbrix {

inline constexpr const char* kErrorLogPath = "nimbrix.err";

// The APRS-IS side of the station: the connection, the server list it moves through, the
// login line it sends after every connect, and where it reports (rows 22 and 24, the error log).
struct Uplink {
  Console& console;
  Clock& clock;
  TcpClient& tcp;
  Files& files;
  ServerList& servers;
  std::string loginLine;
  std::string callsign;  // as in the login line, to know the server's answer to it
  LoginAnswerWatch loginWatch{};
  bool loginWarningShown = false;  // row 22 tells that the last login was not verified
};

inline constexpr int kLoginWarningRow = 22;
inline constexpr const char* kLoginWarning =
    "Server did not verify the login: reports are dropped. Check PASS in NIMBRIX.INI";

// Opens the first reachable entry (a pass starts at nCURSERVER and wraps round to entry 1),
// sends the login line, shows "Using #...". Returns 0; returns at once for an empty list.
// Throws ProgramEnd{0} when ESC is pressed after a failed pass.
std::int16_t ConnectServers(Uplink& uplink);

// Sends one complete line; on failure logs, reconnects and sends it once more.
void SendLine(Uplink& uplink, std::string_view line);

// Looks, without waiting, at what the server has sent since the last login. A login it did not
// verify (or did not answer while it sent other lines) gets one LOGIN Error record and the
// warning on row 22; a verified login takes an earlier warning away. Called once per cycle.
void WatchLoginAnswer(Uplink& uplink);

}  // namespace nimbrix
