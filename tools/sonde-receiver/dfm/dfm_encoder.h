#pragma once
// Builds a DFM's frames on the air from telemetry, for the tests and the band simulator.
// Five frames make one second's cycle of data packets (0+1, 2+3, 4+5, 6+7, 8+filler); the
// configuration packet rotates through its own list, which carries the serial.

#include <cstdint>
#include <string>
#include <vector>

#include "dfm/dfm_frame.h"

namespace receiver {

struct DfmTelemetry {
  std::uint32_t serial = 0;  // the digits as printed, e.g. 314377 or 21071356
  bool dfm06 = false;        // DFM-06 (six digits, one packet) rather than DFM-09/-17
  int serial_channel = 0xA;  // the later kinds' serial channel: 0xA DFM-09, 0xB DFM-17
  long frame_count = 0;      // the sonde's counter; only its low 8 bits are sent
  int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
  double second = 0;
  double lat_deg = 0, lon_deg = 0, alt_m = 0, speed_ms = 0, heading_deg = 0, climb_ms = 0;
  int sats = 0;
  double diff_gps_msl_m = 0;  // ellipsoid minus sea level
};

// How many frames a stream needs to carry every configuration packet once.
int DfmConfCycle(const DfmTelemetry& t);

// The words of frame `frame_index` of the stream.
dfm::DfmWords BuildDfmWords(const DfmTelemetry& t, int frame_index);

// One frame's Manchester chips including its sync word, 1 = upper frequency.
std::vector<std::uint8_t> BuildDfmAirSymbols(const DfmTelemetry& t, int frame_index);

}  // namespace receiver
