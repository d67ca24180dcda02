#pragma once

// The simulated decoder's telemetry and the answers it gives for it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "decoder-service/answer.h"
#include "flight_model.h"

namespace sondesim {

using decoder::Answer;
using decoder::DbusTypeOf;
using decoder::kItemCount;
using enum nimbrix::VarType;

// One moment of telemetry in the decoder's own units.
struct Telemetry {
  std::string serial;
  double lat = 0, lon = 0, alt = 0;
  double course = 0;  // the heading the decoder reports: travel direction plus 180
  double speedMs = 0;
  std::int64_t unixSeconds = 0;
  std::string qrg;
  double pressureHpa = 0, temperatureC = 0, humidity = 0;
  std::string type;
  std::string aprsName;  // an M10's or M20's; answered as item 11 in place of the type
  double climbMs = 0;
  std::int64_t frame = 0;
  // Not in a replayed log: answered EMPTY there.
  std::optional<int> satellites;
  std::optional<double> batteryVolts;
};

// Items 0 to 14: serial, lat, lon, alt, course, speed, time text, qrg, pressure, temperature,
// humidity, sonde type (an M10's APRS name), climb, frame (I4) and the time in milliseconds since
// 1970 (I8); then the extension: the sonde type again as the kind (BSTR), satellites (I4), battery
// volts (R8).
std::array<Answer, kItemCount> ItemsOf(const Telemetry& t);

// The telemetry of a simulated flight `seconds` after launch.
struct SondeIdentity {
  std::string serial = "S3210987";
  std::string qrg = "403.001";
  std::string type = "RS41";
  std::string aprsName;
  std::int64_t launchUnixSeconds = 0;
  std::int64_t firstFrame = 1;
};
Telemetry TelemetryAt(const Flight& flight, const SondeIdentity& id, double seconds);

}  // namespace sondesim
