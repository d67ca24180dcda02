#include "dfm/hamming84.h"

namespace receiver::dfm {
namespace {

// Parity bits from the data bits d0..d3 (d0 the nibble's top bit): each parity bit covers the
// three data bits other than its own index.
std::uint8_t Parity(std::uint8_t nibble) {
  const int d0 = (nibble >> 3) & 1, d1 = (nibble >> 2) & 1, d2 = (nibble >> 1) & 1, d3 = nibble & 1;
  const int p0 = d1 ^ d2 ^ d3, p1 = d0 ^ d2 ^ d3, p2 = d0 ^ d1 ^ d3, p3 = d0 ^ d1 ^ d2;
  return static_cast<std::uint8_t>((p0 << 3) | (p1 << 2) | (p2 << 1) | p3);
}

}  // namespace

std::uint8_t HammingEncode(std::uint8_t nibble) {
  nibble &= 0xF;
  return static_cast<std::uint8_t>((nibble << 4) | Parity(nibble));
}

HammingDecoded HammingDecode(std::uint8_t code) {
  const std::uint8_t nibble = code >> 4;
  const std::uint8_t syndrome = Parity(nibble) ^ (code & 0xF);
  if (syndrome == 0) return {nibble, HammingResult::kClean};
  // A flipped parity bit leaves one syndrome bit set; a flipped data bit sets the three parity
  // bits that cover it. Any other pattern (even weight) is two or more errors.
  switch (syndrome) {
    case 0x8:
    case 0x4:
    case 0x2:
    case 0x1:
      return {nibble, HammingResult::kCorrected};
    case 0x7:
      return {static_cast<std::uint8_t>(nibble ^ 0x8), HammingResult::kCorrected};
    case 0xB:
      return {static_cast<std::uint8_t>(nibble ^ 0x4), HammingResult::kCorrected};
    case 0xD:
      return {static_cast<std::uint8_t>(nibble ^ 0x2), HammingResult::kCorrected};
    case 0xE:
      return {static_cast<std::uint8_t>(nibble ^ 0x1), HammingResult::kCorrected};
    default:
      return {nibble, HammingResult::kBad};
  }
}

}  // namespace receiver::dfm
