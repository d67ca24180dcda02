#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace nimbrix {

// Which readings of the comment the decoder gave in this cycle. One it did not give stands in
// SondeSample as the value that takes its place: a request that failed or was answered without
// a number reads as 0; a temperature outside -99..99 is -99 and a humidity outside 0..100 is 0.
// A pressure of 0 hPa is no reading either: no sonde flies where there is no air, and a decoder
// for a sonde without a pressure sensor answers 0.
// Speed, course and altitude are given when the decoder answered them with a number; a course
// of 0 is no direction (APRS's "unknown", north being 360), which is what a decoder without a
// heading answers (-180).
struct GivenReadings {
  bool climb = false;
  bool pressure = false;
  bool temperature = false;
  bool humidity = false;
  bool frame = false;
  bool speed = false, course = false, altitude = false;
};

// One cycle's telemetry, in the units the dashboard and the reports use. Filled in full by the
// telemetry reader every cycle; a failed request leaves 0 or an empty text. It holds values
// only: the texts made from them (coordinates, the position sentence, report pieces) are made
// by the code that writes them.
struct SondeSample {
  std::string serial;
  double latitude = 0;   // degrees, north positive
  double longitude = 0;  // degrees, east positive
  double altitude = 0;   // metres, 2 decimals
  double course = 0;     // whole degrees
  double speedKmh = 0;
  double speedKnots = 0;  // whole knots
  std::string timeText;   // characters 12..19: hh:mm:ss
  std::string qrg;
  double pressure = 0;      // hPa, 1 decimal
  double temperature = 0;   // deg C, 1 decimal; -99 out of range
  double humidity = 0;      // %, whole; 0 out of range
  double climb = 0;         // m/s, 1 decimal
  std::int32_t frame = 0;   // whole: a DFM counts in GPS seconds, an RS41 past 32767 after 9 h
  std::int64_t timeMs = 0;  // item 14: the frame's time in ms since 1970 (UTC), 0 when not given
  // Item 11: the name an M10 or M20 is known by on APRS, where the decoder gives one (the sonde
  // type for other sondes): the object's name and the summary's model.
  std::string typeOrAprsName;
  // The decoder's kind of sonde ("RS41-SGP", "DFM09", "M10"): item 15, else item 11 when that
  // is no M10/M20 APRS name; "" when unknown.
  std::string kind;
  // Items 16 and 17, asked only when the SondeHub feed is on; empty when not given.
  std::optional<int> satellites;
  std::optional<double> batteryVolts;
  GivenReadings given;
};

}  // namespace nimbrix
