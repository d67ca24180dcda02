#pragma once
// RS41 frames made from telemetry, as a sonde sends them: for the tests and the band simulator.
// The calibration fragment of each frame is left zero except the frequency (fragment 0), so
// frames decode without temperature and humidity.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace receiver {

struct Rs41Telemetry {
  std::string serial;  // 8 characters; shorter is padded with spaces, longer cut
  long frame = 0;
  int gps_week = 0;
  double gps_tow_s = 0;
  double lat_deg = 0, lon_deg = 0, alt_m = 0;  // alt above the WGS84 ellipsoid
  double vel_east_ms = 0, vel_north_ms = 0, vel_up_ms = 0;
  int sats = 0;
  double batt_v = 0;
  int tx_frequency_khz = 0;  // 400000..406000
};

// 320 bytes as sent on air: header, whitened, with Reed-Solomon parity and block CRCs.
std::vector<std::uint8_t> BuildRs41AirFrame(const Rs41Telemetry& t);

// The bits in sending order, each byte least significant bit first; 1 = upper frequency.
std::vector<std::uint8_t> Rs41AirSymbols(std::span<const std::uint8_t> air_frame);

}  // namespace receiver
