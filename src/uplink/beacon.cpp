#include "uplink/beacon.h"

#include <cmath>
#include <cstdio>

#include "format/coordinate_text.h"
#include "format/safe_text.h"

namespace nimbrix {

namespace {

constexpr double kFeetPerMetre = 1 / 0.3048;

// "/A=" and six digits of feet (a minus sign taking the first place below sea level).
std::string AltitudeText(double metres) {
  double feet = std::isfinite(metres) ? std::round(metres * kFeetPerMetre) : 0;
  if (feet > 999999) feet = 999999;
  if (feet < -99999) feet = -99999;
  char text[16];
  std::snprintf(text, sizeof text, "/A=%06d", static_cast<int>(feet));
  return text;
}

}  // namespace

std::string BeaconLine(const std::string& call, const StationPosition& position) {
  return StripControlBytes(call) + ">APZQW0,TCPIP*:!" + LatitudeTexts(position.lat).aprs + "/" +
         LongitudeTexts(position.lon).aprs + "`" + AltitudeText(position.alt) + " " + kVersionText +
         "\r\n";
}

std::string StationBeaconLine(const StationConfig& config) {
  if (config.nBEACON != 1 || !config.position) return {};
  return BeaconLine(config.sUSER, *config.position);
}

}  // namespace nimbrix
