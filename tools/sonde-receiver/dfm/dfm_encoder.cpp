#include "dfm/dfm_encoder.h"

#include <cmath>

namespace receiver {
namespace {

using dfm::kConfWords;
using dfm::kDataWords;

// Packs fields MSB first into 48 data bits, then the packet's type in the last nibble.
class DataPacker {
 public:
  void Put(int start, int length, std::uint64_t value) {
    const std::uint64_t mask = (std::uint64_t{1} << length) - 1;
    bits_ |= (value & mask) << (48 - start - length);
  }
  std::array<std::uint8_t, kDataWords> Words(int type) const {
    std::array<std::uint8_t, kDataWords> words{};
    for (int i = 0; i < 12; ++i) words[i] = (bits_ >> (44 - 4 * i)) & 0xF;
    words[12] = static_cast<std::uint8_t>(type & 0xF);
    return words;
  }

 private:
  std::uint64_t bits_ = 0;
};

std::uint64_t Scaled(double value, double scale) {
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(std::llround(value * scale)));
}

std::array<std::uint8_t, kDataWords> DataPacket(const DfmTelemetry& t, int type) {
  DataPacker p;
  switch (type) {
    case 0:
      p.Put(16, 8, 2);  // position mode: ellipsoid heights
      p.Put(24, 8, static_cast<std::uint64_t>(t.frame_count) & 0xFF);
      break;
    case 1: {
      std::uint32_t mask = 0;
      for (int k = 0; k < t.sats && k < 32; ++k) mask |= 1u << k;
      p.Put(0, 32, mask);
      p.Put(32, 16, Scaled(t.second, 1000));
      break;
    }
    case 2:
      p.Put(0, 32, Scaled(t.lat_deg, 1e7));
      p.Put(32, 16, Scaled(t.speed_ms, 100));
      break;
    case 3:
      p.Put(0, 32, Scaled(t.lon_deg, 1e7));
      p.Put(32, 16, Scaled(t.heading_deg, 100));
      break;
    case 4:
      p.Put(0, 32, Scaled(t.alt_m, 100));
      p.Put(32, 16, Scaled(t.climb_ms, 100));
      break;
    case 5:
      p.Put(0, 16, Scaled(-t.diff_gps_msl_m, 100));
      break;
    case 8:
      p.Put(0, 12, static_cast<std::uint64_t>(t.year));
      p.Put(12, 4, static_cast<std::uint64_t>(t.month));
      p.Put(16, 5, static_cast<std::uint64_t>(t.day));
      p.Put(21, 5, static_cast<std::uint64_t>(t.hour));
      p.Put(26, 6, static_cast<std::uint64_t>(t.minute));
      p.Put(32, 8, static_cast<std::uint64_t>(t.sats));
      break;
    default:
      break;
  }
  return p.Words(type);
}

std::array<std::uint8_t, kConfWords> ConfWords(std::uint32_t value28) {
  std::array<std::uint8_t, kConfWords> words{};
  for (int i = 0; i < kConfWords; ++i) words[i] = (value28 >> (24 - 4 * i)) & 0xF;
  return words;
}

// Six decimal digits sent as six hexadecimal nibbles: 314377 -> 0x314377.
std::uint32_t DigitsAsNibbles(std::uint32_t serial) {
  std::uint32_t value = 0;
  for (int shift = 0; shift < 24; shift += 4, serial /= 10) value |= (serial % 10) << shift;
  return value;
}

// The configuration packets in turn. Channels 0-4 carry sensor readings (left at zero: no
// temperature), then the kind's status and serial channels.
std::array<std::uint8_t, kConfWords> ConfPacket(const DfmTelemetry& t, int slot) {
  if (slot <= 4) return ConfWords(static_cast<std::uint32_t>(slot) << 24);
  if (t.dfm06) {
    if (slot == 5) return ConfWords(0x5A00000);  // empty channel 5: the serial follows in 6
    return ConfWords(0x6000000 | DigitsAsNibbles(t.serial));
  }
  if (slot == 5) return ConfWords(0x5000000);
  if (slot == 6) return ConfWords(0x6000000);
  const std::uint32_t half = slot == 7 ? (t.serial >> 16) & 0xFFFF : t.serial & 0xFFFF;
  const std::uint32_t channel = static_cast<std::uint32_t>(t.serial_channel & 0xF) << 24;
  return ConfWords(channel | 0xC00000 | (half << 4) | (slot == 7 ? 0u : 1u));
}

}  // namespace

int DfmConfCycle(const DfmTelemetry& t) {
  return t.dfm06 ? 7 : 9;
}

dfm::DfmWords BuildDfmWords(const DfmTelemetry& t, int frame_index) {
  if (frame_index < 0) frame_index = -frame_index;
  dfm::DfmWords words;
  words.conf = ConfPacket(t, frame_index % DfmConfCycle(t));
  const int pair = frame_index % 5;
  words.dat1 = DataPacket(t, 2 * pair);
  words.dat2 = DataPacket(t, pair == 4 ? 0xF : 2 * pair + 1);
  return words;
}

std::vector<std::uint8_t> BuildDfmAirSymbols(const DfmTelemetry& t, int frame_index) {
  const std::vector<std::uint8_t> bits = dfm::WordsToFrameBits(BuildDfmWords(t, frame_index));
  return dfm::BitsToChips(bits);
}

}  // namespace receiver
