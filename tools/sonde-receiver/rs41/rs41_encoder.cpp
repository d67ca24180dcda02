#include "rs41/rs41_encoder.h"

#include <algorithm>
#include <cmath>

#include "rs41/calibration.h"
#include "rs41/ecef.h"
#include "rs41/rs41_frame.h"

namespace receiver {

namespace {

void PutLe(std::vector<std::uint8_t>& frame, std::size_t at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    frame[at + static_cast<std::size_t>(i)] = (value >> (8 * i)) & 0xFF;
}

std::uint32_t Scaled(double value, double scale) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * scale)));
}

// Writes a block's id and length at `at` and returns where its payload starts.
std::size_t OpenBlock(std::vector<std::uint8_t>& frame, std::size_t at, std::uint8_t id,
                      std::uint8_t length) {
  frame[at] = id;
  frame[at + 1] = length;
  return at + 2;
}

// The CRC after the payload; returns where the next block starts.
std::size_t CloseBlock(std::vector<std::uint8_t>& frame, std::size_t at) {
  const std::size_t length = frame[at + 1];
  const std::uint16_t crc = Rs41Crc16(std::span<const std::uint8_t>(frame).subspan(at + 2, length));
  PutLe(frame, at + 2 + length, crc, 2);
  return at + 2 + length + 2;
}

}  // namespace

std::vector<std::uint8_t> BuildRs41AirFrame(const Rs41Telemetry& t) {
  std::vector<std::uint8_t> frame(kRs41FrameBytes, 0);
  std::copy(kRs41Header.begin(), kRs41Header.end(), frame.begin());
  frame[kRs41FrameTypeAt] = 0x0F;

  std::size_t at = 0x39;
  std::size_t p = OpenBlock(frame, at, 0x79, 40);
  PutLe(frame, p, static_cast<std::uint32_t>(t.frame) & 0xFFFF, 2);
  std::string serial = t.serial.substr(0, 8);
  serial.resize(8, ' ');
  std::copy(serial.begin(), serial.end(), frame.begin() + static_cast<long>(p + 2));
  frame[p + 10] = static_cast<std::uint8_t>(std::clamp(std::lround(t.batt_v * 10), 0L, 255L));
  const int fragment =
      static_cast<int>(((t.frame % kRs41CalibrationFragments) + kRs41CalibrationFragments) %
                       kRs41CalibrationFragments);
  frame[p + 23] = static_cast<std::uint8_t>(fragment);
  if (fragment == 0) {
    const int above = std::clamp(t.tx_frequency_khz - 400000, 0, 255 * 40 + 30);
    frame[p + 24 + 3] = static_cast<std::uint8_t>(above / 40);
    frame[p + 24 + 2] = static_cast<std::uint8_t>((above % 40 / 10) << 6);
  }
  at = CloseBlock(frame, at);

  OpenBlock(frame, at, 0x7A, 42);  // PTU readings left zero: no calibration to use them
  at = CloseBlock(frame, at);

  p = OpenBlock(frame, at, 0x7C, 30);
  PutLe(frame, p, static_cast<std::uint32_t>(t.gps_week) & 0xFFFF, 2);
  PutLe(frame, p + 2, static_cast<std::uint32_t>(std::llround(t.gps_tow_s * 1000)), 4);
  for (int i = 0; i < 12; ++i) frame[p + 6 + 2 * static_cast<std::size_t>(i)] = 0xFF;  // no SVs
  at = CloseBlock(frame, at);

  OpenBlock(frame, at, 0x7D, 89);  // raw pseudoranges: none
  at = CloseBlock(frame, at);

  p = OpenBlock(frame, at, 0x7B, 21);
  const Geodetic where{t.lat_deg, t.lon_deg, t.alt_m};
  const Ecef position = GeodeticToEcef(where);
  const Ecef velocity =
      EastNorthUpToEcefVelocity(where, t.vel_east_ms, t.vel_north_ms, t.vel_up_ms);
  PutLe(frame, p, Scaled(position.x, 100), 4);
  PutLe(frame, p + 4, Scaled(position.y, 100), 4);
  PutLe(frame, p + 8, Scaled(position.z, 100), 4);
  PutLe(frame, p + 12, Scaled(velocity.x, 100), 2);
  PutLe(frame, p + 14, Scaled(velocity.y, 100), 2);
  PutLe(frame, p + 16, Scaled(velocity.z, 100), 2);
  frame[p + 18] = static_cast<std::uint8_t>(std::clamp(t.sats, 0, 255));
  at = CloseBlock(frame, at);

  OpenBlock(frame, at, 0x76, static_cast<std::uint8_t>(kRs41FrameBytes - at - 4));  // padding
  CloseBlock(frame, at);

  Rs41ReedSolomon().Encode(frame);
  Rs41Whiten(frame);
  return frame;
}

std::vector<std::uint8_t> Rs41AirSymbols(std::span<const std::uint8_t> air_frame) {
  std::vector<std::uint8_t> symbols;
  symbols.reserve(air_frame.size() * 8);
  for (std::uint8_t byte : air_frame) {
    for (int bit = 0; bit < 8; ++bit) symbols.push_back((byte >> bit) & 1);
  }
  return symbols;
}

}  // namespace receiver
