#include "answers.h"

#include <algorithm>
#include <cmath>

#include "decoder-service/time_text.h"

namespace sondesim {

using decoder::TimeText;

std::array<Answer, kItemCount> ItemsOf(const Telemetry& t) {
  using namespace nimbrix;  // the item names
  std::array<Answer, kItemCount> a;
  a[kSerial] = Answer::Text(t.serial);
  a[kLatitude] = Answer::Real(t.lat);
  a[kLongitude] = Answer::Real(t.lon);
  a[kAltitude] = Answer::Real(t.alt);
  a[kHeading] = Answer::Real(t.course);
  a[kSpeed] = Answer::Real(t.speedMs);
  a[kTimeText] = Answer::Text(TimeText(t.unixSeconds));
  a[kQrg] = Answer::Text(t.qrg);
  a[kPressure] = Answer::Real(t.pressureHpa);
  a[kTemperature] = Answer::Real(t.temperatureC);
  a[kHumidity] = Answer::Real(t.humidity);
  a[kTypeOrAprsName] = Answer::Text(t.aprsName.empty() ? t.type : t.aprsName);
  a[kClimb] = Answer::Real(t.climbMs);
  a[kFrame] = Answer::Int4(static_cast<std::int32_t>(t.frame));
  a[kTimeMs] = Answer::Int8(t.unixSeconds * 1000);
  a[kKind] = Answer::Text(t.type);
  if (t.satellites) a[kSatellites] = Answer::Int4(*t.satellites);
  if (t.batteryVolts) a[kBatteryVolts] = Answer::Real(*t.batteryVolts);
  return a;
}

Telemetry TelemetryAt(const Flight& flight, const SondeIdentity& id, double seconds) {
  // Bounded so the integer conversions below stay defined for any option value.
  const double whole = std::isfinite(seconds) ? std::clamp(std::floor(seconds), -1e12, 1e12) : 0;
  // A frame holds what the sonde measured when it made it: the same answers until the next.
  const FlightPoint p = flight.At(whole);
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
  t.aprsName = id.aprsName;
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
