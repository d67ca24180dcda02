#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "version/version.h"

namespace nimbrix {

// The station's settings, filled once from NIMBRIX.INI and read-only afterwards.
struct StationConfig {
  std::string sUSER;    // callsign (and SSID)
  std::string sPASS;    // APRS-IS passcode as it goes into the login line
  std::string sSTATUS;  // status report text; empty: no status reports
  std::int16_t nQRG = 0;
  std::int16_t nP0 = 0;  // PRESSURE0: read and kept; no report waits for a pressure reading
  std::int16_t nID = 0;
  std::string sSYMBOL;  // table character + symbol code
  std::int16_t nALTITUDE = 0;
  std::int16_t nFRAME = 0;
  std::string LoginLine;  // "user ... pass ... vers ... filter b/ZZZZZ/\r\n"
};

// The APRS-IS server entries ("host,port") and the entry in use.
struct ServerList {
  static constexpr int kMaxServers = 10;
  std::array<std::string, kMaxServers + 1> sSERVER{};  // slot 0 unused
  std::int16_t nSERVERS = 0;
  std::int16_t nCURSERVER = 1;
};

// "user " + sUSER + " pass " + sPASS + " vers " + kVersionText + " filter b/ZZZZZ/" CR LF
std::string BuildLoginLine(const std::string& user, const std::string& pass);

}  // namespace nimbrix
