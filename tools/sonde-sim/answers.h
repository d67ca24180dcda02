#pragma once

// What the simulated decoder answers for one item: a VARTYPE code and a value in the D-Bus type
// that carries it, or an error, or no answer at all.

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "flight_model.h"
#include "platform/decoder_contract.h"

namespace sondesim {

// The Automation VARTYPE codes, as the station knows them.
using enum nimbrix::VarType;

// The D-Bus type a VARTYPE travels as ("ay" for EMPTY and NULL); empty for codes without one.
std::string DbusTypeOf(std::uint16_t vt);

struct Answer {
  enum class Kind { kValue, kError, kNoReply };
  Kind kind = Kind::kValue;
  std::uint16_t vt = VT_EMPTY;
  std::string dbusType = "ay";  // n y q i u x t d b s, or ay
  // Integers of every width, double, bool, or the bytes of "s" and "ay".
  std::variant<std::int64_t, std::uint64_t, double, bool, std::string> value = std::string();
  std::string errorName;  // kError only
  std::string errorText;

  static Answer Real(double d) { return {Kind::kValue, VT_R8, "d", d, {}, {}}; }
  static Answer Text(std::string s) { return {Kind::kValue, VT_BSTR, "s", std::move(s), {}, {}}; }
  static Answer Int4(std::int32_t i) { return {Kind::kValue, VT_I4, "i", std::int64_t{i}, {}, {}}; }
  static Answer Int8(std::int64_t i) { return {Kind::kValue, VT_I8, "x", i, {}, {}}; }
};

inline constexpr int kItemCount = 15;

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
  double climbMs = 0;
  std::int64_t frame = 0;
};

// Items 0 to 14: serial, lat, lon, alt, course, speed, time text, qrg, pressure, temperature,
// humidity, sonde type, climb, frame (I4) and the time in milliseconds since 1970 (I8).
std::array<Answer, kItemCount> ItemsOf(const Telemetry& t);

// The telemetry of a simulated flight `seconds` after launch.
struct SondeIdentity {
  std::string serial = "S3210987";
  std::string qrg = "403.001";
  std::string type = "RS41";
  std::int64_t launchUnixSeconds = 0;
  std::int64_t firstFrame = 1;
};
Telemetry TelemetryAt(const Flight& flight, const SondeIdentity& id, double seconds);

}  // namespace sondesim
