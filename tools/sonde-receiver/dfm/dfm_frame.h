#pragma once
// A DFM frame on the air: 280 bits at 1250 bit/s, each bit sent as two Manchester chips
// (2500 chips/s). 16 bits of sync (0x45CF), then three Hamming-coded blocks: the configuration
// block (7 code words) and two data blocks (13 each). Within a block the code words are sent
// interleaved: first bit 0 of every word, then bit 1 of every word, and so on.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace receiver::dfm {

inline constexpr int kFrameBits = 280;
inline constexpr int kFrameChips = 2 * kFrameBits;
inline constexpr int kSyncBits = 16;
inline constexpr int kSyncChips = 2 * kSyncBits;
inline constexpr std::uint16_t kSyncWord = 0x45CF;
inline constexpr int kConfWords = 7;
inline constexpr int kDataWords = 13;

// One block after the Hamming decoding: `bad` when a word had more errors than the code can
// correct, else how many words were corrected.
struct BlockCheck {
  bool bad = false;
  int corrected = 0;
};

// The data nibbles of one frame, as the open decoder's raw output lists them.
struct DfmWords {
  std::array<std::uint8_t, kConfWords> conf{};
  std::array<std::uint8_t, kDataWords> dat1{};
  std::array<std::uint8_t, kDataWords> dat2{};
  BlockCheck conf_check, dat1_check, dat2_check;
  bool inverted = false;  // the frame's chips were the complement of the usual polarity
};

// The sync word's 32 chips in the usual polarity: bit 1 sent as 01, bit 0 as 10.
std::array<std::uint8_t, kSyncChips> SyncChips();

// Mismatches of `chips` (at least 32) against the sync in the usual polarity; 32 minus it is the
// count against the inverted one.
int SyncMismatches(std::span<const std::uint8_t> chips);

// The frame's 264 bits after the sync (one per entry) to its words, Hamming-decoded.
DfmWords BitsToWords(std::span<const std::uint8_t> bits, bool inverted);

// The reverse, for the encoder: 280 bits, sync included, from the words (checks ignored).
std::vector<std::uint8_t> WordsToFrameBits(const DfmWords& words);

// Manchester: bit b as the chips (!b, b).
std::vector<std::uint8_t> BitsToChips(std::span<const std::uint8_t> bits);

// Parses one line of the raw listing: "1A89010 [OK]   0000026102040 [OK]   28005010BF681 [OK]".
// A block marked otherwise than [OK] is taken as bad.
std::optional<DfmWords> ParseWordsLine(const char* line);

}  // namespace receiver::dfm
