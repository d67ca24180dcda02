#include "dfm/dfm_frame.h"

#include <cctype>
#include <cstring>
#include <string>

#include "dfm/hamming84.h"

namespace receiver::dfm {
namespace {

template <std::size_t N>
BlockCheck DecodeBlock(std::span<const std::uint8_t> bits, std::array<std::uint8_t, N>& out) {
  BlockCheck check;
  for (std::size_t i = 0; i < N; ++i) {
    std::uint8_t code = 0;
    for (int j = 0; j < 8; ++j)
      code = static_cast<std::uint8_t>((code << 1) | (bits[N * j + i] & 1));
    const HammingDecoded decoded = HammingDecode(code);
    out[i] = decoded.nibble;
    if (decoded.result == HammingResult::kBad) check.bad = true;
    if (decoded.result == HammingResult::kCorrected) ++check.corrected;
  }
  return check;
}

template <std::size_t N>
void EncodeBlock(const std::array<std::uint8_t, N>& nibbles, std::vector<std::uint8_t>& bits) {
  const std::size_t start = bits.size();
  bits.resize(start + 8 * N);
  for (std::size_t i = 0; i < N; ++i) {
    const std::uint8_t code = HammingEncode(nibbles[i]);
    for (int j = 0; j < 8; ++j) bits[start + N * j + i] = (code >> (7 - j)) & 1;
  }
}

template <std::size_t N>
const char* ParseBlock(const char* p, std::array<std::uint8_t, N>& out, BlockCheck& check) {
  while (*p == ' ') ++p;
  for (std::size_t i = 0; i < N; ++i, ++p) {
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return nullptr;
    out[i] = static_cast<std::uint8_t>(std::stoi(std::string(1, *p), nullptr, 16));
  }
  while (*p == ' ') ++p;
  check.bad = std::strncmp(p, "[OK]", 4) != 0;
  if (*p == '[') {
    while (*p != '\0' && *p != ']') ++p;
    if (*p == ']') ++p;
  }
  return p;
}

}  // namespace

std::array<std::uint8_t, kSyncChips> SyncChips() {
  std::array<std::uint8_t, kSyncChips> chips{};
  for (int k = 0; k < kSyncBits; ++k) {
    const std::uint8_t bit = (kSyncWord >> (kSyncBits - 1 - k)) & 1;
    chips[2 * k] = bit ^ 1;
    chips[2 * k + 1] = bit;
  }
  return chips;
}

int SyncMismatches(std::span<const std::uint8_t> chips) {
  static const std::array<std::uint8_t, kSyncChips> sync = SyncChips();
  int mismatches = 0;
  for (int k = 0; k < kSyncChips; ++k) mismatches += (chips[k] & 1) != sync[k];
  return mismatches;
}

DfmWords BitsToWords(std::span<const std::uint8_t> bits, bool inverted) {
  DfmWords words;
  words.inverted = inverted;
  words.conf_check = DecodeBlock(bits.subspan(0, 8 * kConfWords), words.conf);
  words.dat1_check = DecodeBlock(bits.subspan(8 * kConfWords, 8 * kDataWords), words.dat1);
  words.dat2_check =
      DecodeBlock(bits.subspan(8 * (kConfWords + kDataWords), 8 * kDataWords), words.dat2);
  return words;
}

std::vector<std::uint8_t> WordsToFrameBits(const DfmWords& words) {
  std::vector<std::uint8_t> bits;
  bits.reserve(kFrameBits);
  for (int k = 0; k < kSyncBits; ++k) bits.push_back((kSyncWord >> (kSyncBits - 1 - k)) & 1);
  EncodeBlock(words.conf, bits);
  EncodeBlock(words.dat1, bits);
  EncodeBlock(words.dat2, bits);
  return bits;
}

std::vector<std::uint8_t> BitsToChips(std::span<const std::uint8_t> bits) {
  std::vector<std::uint8_t> chips;
  chips.reserve(2 * bits.size());
  for (std::uint8_t bit : bits) {
    chips.push_back((bit & 1) ^ 1);
    chips.push_back(bit & 1);
  }
  return chips;
}

std::optional<DfmWords> ParseWordsLine(const char* line) {
  DfmWords words;
  const char* p = ParseBlock(line, words.conf, words.conf_check);
  if (p != nullptr) p = ParseBlock(p, words.dat1, words.dat1_check);
  if (p != nullptr) p = ParseBlock(p, words.dat2, words.dat2_check);
  if (p == nullptr) return std::nullopt;
  return words;
}

}  // namespace receiver::dfm
