#pragma once

#include <cstdint>
#include <string>

namespace nimbrix {

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
  double pressure = 0;     // hPa, 1 decimal
  double temperature = 0;  // deg C, 1 decimal; -99 out of range
  double humidity = 0;     // %, whole; 0 out of range
  double climb = 0;        // m/s, 1 decimal
  std::int32_t frame = 0;  // whole: a DFM counts in GPS seconds, an RS41 past 32767 after 9 h
  std::int64_t item14 = 0;
};

}  // namespace nimbrix
