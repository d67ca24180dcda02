// A real RS41 frame, as the sonde sent it, through the modulator, the channel and the slicer:
// its bits come back, and the detector names it.
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "dsp/channel.h"
#include "dsp/fsk_modulator.h"
#include "dsp/kind_detector.h"
#include "dsp/symbol_slicer.h"

namespace receiver {
namespace {

// The RS41 whitening, repeated every 64 bytes; the file holds frames with it taken off.
constexpr std::uint8_t kWhitening[64] = {
    0x96, 0x83, 0x3E, 0x51, 0xB1, 0x49, 0x08, 0x98, 0x32, 0x05, 0x59, 0x0E, 0xF9, 0x44, 0xC6, 0x26,
    0x21, 0x60, 0xC2, 0xEA, 0x79, 0x5D, 0x6D, 0xA1, 0x54, 0x69, 0x47, 0x0C, 0xDC, 0xE8, 0x5C, 0xF1,
    0xF7, 0x76, 0x82, 0x7F, 0x07, 0x99, 0xA2, 0x2C, 0x93, 0x7C, 0x30, 0x63, 0xF5, 0x10, 0x2E, 0x61,
    0xD0, 0xBC, 0xB4, 0xB6, 0x06, 0xAA, 0xF4, 0x23, 0x78, 0x6E, 0x3B, 0xAE, 0xBF, 0x7B, 0x4C, 0xC1};

std::vector<std::uint8_t> FirstFrame() {
  std::ifstream in(std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02-frames.txt");
  std::string hex;
  in >> hex;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// On air: whitened, each byte least significant bit first.
std::vector<std::uint8_t> OnAirSymbols(const std::vector<std::uint8_t>& frame) {
  std::vector<std::uint8_t> symbols;
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const std::uint8_t raw = frame[i] ^ kWhitening[i % 64];
    for (int b = 0; b < 8; ++b) symbols.push_back((raw >> b) & 1);
  }
  return symbols;
}

TEST(RealFrameTest, Rs41FrameComesBackBitForBit) {
  const std::vector<std::uint8_t> frame = FirstFrame();
  if (frame.size() != 320) GTEST_SKIP() << "no recorded frames here";
  const std::vector<std::uint8_t> frame_symbols = OnAirSymbols(frame);
  // The header as it goes out: the sync word the detector looks for.
  ASSERT_EQ(frame[0] ^ kWhitening[0], 0x10);
  ASSERT_EQ(frame[7] ^ kWhitening[7], 0xF8);

  std::mt19937 rng(41);
  std::vector<std::uint8_t> symbols(240);
  for (auto& s : symbols) s = rng() & 1;
  symbols.insert(symbols.end(), frame_symbols.begin(), frame_symbols.end());
  for (int i = 0; i < 20; ++i) symbols.push_back(rng() & 1);

  const double rate = 2048000;
  FskModulator mod({rate, 4800, 2400, 0.5, 401500, 1.0f});  // 1.5 kHz off the channel
  mod.Queue(symbols);
  Channel channel({rate, 400000, 48000, 16000});
  SymbolSlicer slicer(48000, 4800);
  KindDetector detector(48000);
  std::normal_distribution<float> noise(0.0f, 0.7f);
  std::vector<std::complex<float>> table(16381);
  for (auto& x : table) x = {noise(rng), noise(rng)};
  std::vector<std::complex<float>> block(32768);
  std::vector<float> demod;
  std::vector<std::uint8_t> got;
  std::size_t at = 0;
  while (mod.Pending() > 0) {
    for (auto& x : block) {
      x = table[at];
      at = (at + 1) % table.size();
    }
    mod.Generate(block);
    demod.clear();
    channel.Process(block, demod);
    slicer.Process(demod, got);
    detector.Process(demod);
  }
  ASSERT_TRUE(detector.Found().has_value());
  EXPECT_EQ(KindName(detector.Found()->kind), "RS41");
  EXPECT_FALSE(detector.Found()->inverted);

  // The whole frame, every bit, somewhere in what the slicer gave.
  bool found = false;
  for (std::size_t start = 0; !found && start + frame_symbols.size() <= got.size(); ++start) {
    found = std::equal(frame_symbols.begin(), frame_symbols.end(), got.begin() + start);
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace receiver
