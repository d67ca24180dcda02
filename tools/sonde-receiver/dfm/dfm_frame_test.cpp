#include "dfm/dfm_frame.h"

#include <gtest/gtest.h>

#include <string>

namespace receiver::dfm {
namespace {

TEST(DfmFrame, SyncChipsAreTheManchesterOf45CF) {
  std::string chips;
  for (std::uint8_t c : SyncChips()) chips += static_cast<char>('0' + c);
  EXPECT_EQ(chips, "10011010100110010101101001010101");
}

TEST(DfmFrame, SyncMismatchesCountInBothPolarities) {
  struct Case {
    std::initializer_list<int> flips;
    bool invert;
    int mismatches;
  } cases[] = {
      {{}, false, 0}, {{0}, false, 1}, {{3, 31}, false, 2}, {{}, true, 32}, {{5}, true, 31},
  };
  for (const Case& c : cases) {
    auto chips = SyncChips();
    for (int f : c.flips) chips[f] ^= 1;
    if (c.invert) {
      for (auto& chip : chips) chip ^= 1;
    }
    EXPECT_EQ(SyncMismatches(chips), c.mismatches);
  }
}

TEST(DfmFrame, WordsSurviveTheFrameBitsBothWays) {
  DfmWords words;
  for (int i = 0; i < kConfWords; ++i) words.conf[i] = static_cast<std::uint8_t>(i + 1);
  for (int i = 0; i < kDataWords; ++i) {
    words.dat1[i] = static_cast<std::uint8_t>(15 - i);
    words.dat2[i] = static_cast<std::uint8_t>((3 * i) & 0xF);
  }
  const std::vector<std::uint8_t> bits = WordsToFrameBits(words);
  ASSERT_EQ(bits.size(), static_cast<std::size_t>(kFrameBits));
  const DfmWords back = BitsToWords(std::span(bits).subspan(kSyncBits), true);
  EXPECT_EQ(back.conf, words.conf);
  EXPECT_EQ(back.dat1, words.dat1);
  EXPECT_EQ(back.dat2, words.dat2);
  EXPECT_TRUE(back.inverted);
  EXPECT_FALSE(back.conf_check.bad || back.dat1_check.bad || back.dat2_check.bad);
  EXPECT_EQ(back.conf_check.corrected + back.dat1_check.corrected + back.dat2_check.corrected, 0);
}

TEST(DfmFrame, InterleavingSendsBitJOfEveryWordTogether) {
  // One wrong bit in each of the first three configuration words, all at bit position 0: the
  // three bits follow each other on the air.
  DfmWords words;
  std::vector<std::uint8_t> bits = WordsToFrameBits(words);
  for (int i = 0; i < 3; ++i) bits[kSyncBits + i] ^= 1;
  const DfmWords back = BitsToWords(std::span(bits).subspan(kSyncBits), false);
  EXPECT_FALSE(back.conf_check.bad);
  EXPECT_EQ(back.conf_check.corrected, 3);
  EXPECT_EQ(back.conf, words.conf);
}

TEST(DfmFrame, ParsesTheRawListingsLines) {
  struct Case {
    const char* line;
    bool parses;
    bool conf_bad, dat1_bad, dat2_bad;
  } cases[] = {
      {"1A89010 [OK]   0000026102040 [OK]   28005010BF681 [OK] ", true, false, false, false},
      {"1A89010 [KO]   0000026102040 [NO]   28005010BF681 [OK] ", true, true, true, false},
      {"1A8901 [OK]   0000026102040 [OK]   28005010BF681 [OK] ", false, false, false, false},
      {"", false, false, false, false},
      {"[ 98] 2015-03-17 13:09:50.0   lat: 50.02562", false, false, false, false},
  };
  for (const Case& c : cases) {
    const auto words = ParseWordsLine(c.line);
    ASSERT_EQ(words.has_value(), c.parses) << c.line;
    if (!words) continue;
    EXPECT_EQ(words->conf_check.bad, c.conf_bad);
    EXPECT_EQ(words->dat1_check.bad, c.dat1_bad);
    EXPECT_EQ(words->dat2_check.bad, c.dat2_bad);
  }
  const auto words = ParseWordsLine("1A89010 [OK]   0000026102040 [OK]   28005010BF681 [OK]");
  ASSERT_TRUE(words);
  EXPECT_EQ(words->conf[1], 0xA);
  EXPECT_EQ(words->dat1[7], 0x1);
  EXPECT_EQ(words->dat2[9], 0xF);
}

}  // namespace
}  // namespace receiver::dfm
