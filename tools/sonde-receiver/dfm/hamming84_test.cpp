#include "dfm/hamming84.h"

#include <gtest/gtest.h>

namespace receiver::dfm {
namespace {

TEST(Hamming84, EveryCleanWordDecodesToItsNibble) {
  for (int nibble = 0; nibble < 16; ++nibble) {
    const HammingDecoded d = HammingDecode(HammingEncode(static_cast<std::uint8_t>(nibble)));
    EXPECT_EQ(d.result, HammingResult::kClean) << nibble;
    EXPECT_EQ(d.nibble, nibble);
  }
}

TEST(Hamming84, CodeWordsMatchTheDfmGenerator) {
  // Parity bits of the DFM's generator rows (0111, 1011, 1101, 1110) for a few nibbles.
  struct Case {
    std::uint8_t nibble, code;
  } cases[] = {{0x0, 0x00}, {0x8, 0x87}, {0x4, 0x4B}, {0x2, 0x2D}, {0x1, 0x1E}, {0xF, 0xFF}};
  for (const Case& c : cases) EXPECT_EQ(HammingEncode(c.nibble), c.code) << int(c.nibble);
}

TEST(Hamming84, EverySingleBitErrorIsCorrected) {
  for (int nibble = 0; nibble < 16; ++nibble) {
    for (int bit = 0; bit < 8; ++bit) {
      const std::uint8_t code = HammingEncode(static_cast<std::uint8_t>(nibble)) ^ (1 << bit);
      const HammingDecoded d = HammingDecode(code);
      EXPECT_EQ(d.result, HammingResult::kCorrected) << nibble << " bit " << bit;
      EXPECT_EQ(d.nibble, nibble) << nibble << " bit " << bit;
    }
  }
}

TEST(Hamming84, EveryDoubleBitErrorIsDetected) {
  for (int nibble = 0; nibble < 16; ++nibble) {
    for (int a = 0; a < 8; ++a) {
      for (int b = a + 1; b < 8; ++b) {
        const std::uint8_t code =
            HammingEncode(static_cast<std::uint8_t>(nibble)) ^ (1 << a) ^ (1 << b);
        EXPECT_EQ(HammingDecode(code).result, HammingResult::kBad)
            << nibble << " bits " << a << "," << b;
      }
    }
  }
}

}  // namespace
}  // namespace receiver::dfm
