#include "answers.h"

#include <algorithm>
#include <cmath>

#include "decoder-service/time_text.h"

namespace sondesim {

using decoder::TimeText;

std::array<Answer, kItemCount> ItemsOf(const Telemetry& t) {
  using namespace nimbrix;  // the item names
  std::array<Answer, kItemCount> items = {
      Answer::Text(t.serial),
      Answer::Real(t.lat),
      Answer::Real(t.lon),
      Answer::Real(t.alt),
      Answer::Real(t.course),
      Answer::Real(t.speedMs),
      Answer::Text(TimeText(t.unixSeconds)),
      Answer::Text(t.qrg),
      Answer::Real(t.pressureHpa),
      Answer::Real(t.temperatureC),
      Answer::Real(t.humidity),
      Answer::Text(t.type),
      Answer::Real(t.climbMs),
      Answer::Int4(static_cast<std::int32_t>(t.frame)),
      Answer::Int8(t.unixSeconds * 1000),
      Answer::Text(t.type),
      t.satellites ? Answer::Int4(*t.satellites) : Answer{},
      t.batteryVolts ? Answer::Real(*t.batteryVolts) : Answer{},
  };
  static_assert(kKind == 15 && kBatteryVolts == kItemCount - 1, "one answer per item, in order");
  return items;
}

Telemetry TelemetryAt(const Flight& flight, const SondeIdentity& id, double seconds) {
  const FlightPoint p = flight.At(seconds);
  // Bounded so the integer conversions below stay defined for any option value.
  const double whole = std::isfinite(seconds) ? std::clamp(std::floor(seconds), -1e12, 1e12) : 0;
  Telemetry t;
  t.serial = id.serial;
  t.lat = p.lat;
  t.lon = p.lon;
  t.alt = p.alt;
  t.course = p.headingDeg;
  t.speedMs = p.speedMs;
  t.unixSeconds = id.launchUnixSeconds + static_cast<std::int64_t>(whole);
  t.qrg = id.qrg;
  t.pressureHpa = p.pressureHpa;
  t.temperatureC = p.temperatureC;
  t.humidity = p.humidity;
  t.type = id.type;
  t.climbMs = p.climbMs;
  // One frame a second, as an RS41 sends them.
  t.frame = id.firstFrame + static_cast<std::int64_t>(whole);
  // A receiver's view of the sky: 7 to 11 satellites, changing every few minutes; a battery
  // that starts at 3.0 V and sags by a tenth of a volt an hour.
  const auto minutes = static_cast<std::int64_t>(std::fabs(whole) / 180);
  t.satellites = 7 + static_cast<int>(minutes % 5);
  t.batteryVolts = std::max(2.5, 3.0 - std::fabs(whole) / 36000);
  return t;
}

}  // namespace sondesim
