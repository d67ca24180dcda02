#pragma once
// The DFM's extended Hamming (8,4) code: four data bits, then four parity bits, so one flipped
// bit of a code word is corrected and two are seen but not corrected.

#include <cstdint>

namespace receiver::dfm {

// A code word as an 8-bit value, its first bit on the air in bit 7. The data nibble is the upper
// half (first bit sent = the nibble's most significant bit), the parity the lower half.
std::uint8_t HammingEncode(std::uint8_t nibble);

enum class HammingResult { kClean, kCorrected, kBad };

struct HammingDecoded {
  std::uint8_t nibble = 0;
  HammingResult result = HammingResult::kBad;
};

HammingDecoded HammingDecode(std::uint8_t code);

}  // namespace receiver::dfm
