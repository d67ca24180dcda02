#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "version/version.h"

namespace nimbrix {

// The station's own place (POSITION=): decimal degrees, metres above sea level.
struct StationPosition {
  double lat = 0;
  double lon = 0;
  double alt = 0;
};

// An extra APRS-IS destination (ALSO=): "host,port" as configured, and the login call and
// passcode when it has its own (empty: the station's USER and PASS).
struct ExtraServer {
  std::string entry;
  std::string call;
  std::string pass;
};

inline constexpr int kMaxExtraServers = 9;
inline constexpr const char* kDefaultSondehubUrl = "https://api.v2.sondehub.org";

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
  std::int16_t nOBJECT = 0;  // OBJECT=YES: the sonde goes out as an APRS object named after it
  std::string LoginLine;     // "user ... pass ... vers ... filter b/ZZZZZ/\r\n"

  // Outputs beside the primary link; keys of the keyword format only, each matched whole.
  std::int16_t nSONDEHUB = 0;                       // SONDEHUB=YES: every frame to SondeHub
  std::string sSONDEHUB_URL = kDefaultSondehubUrl;  // the API's base address
  std::int16_t nSONDEHUB_DEV = 0;                   // SONDEHUB_DEV=YES: trial records ("dev")
  std::optional<StationPosition> position;          // POSITION=lat,lon,alt
  std::string sANTENNA;                             // ANTENNA=, free text
  std::string sRADIO;                               // RADIO=, free text
  std::vector<ExtraServer> extras;                  // ALSO=, at most kMaxExtraServers
  std::string sUDP;                                 // UDP=host,port: the chase-car summary
  std::int16_t nBEACON = 0;                         // BEACON=YES: the station's own position
  std::string sWEB;                                 // WEB=address,port: the status page
  std::string sFLIGHTLOG;                           // FLIGHTLOG=folder: a CSV and GPX per flight
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
