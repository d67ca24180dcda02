#include "rs41/rs41_decoder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "rs41/rs41_encoder.h"
#include "rs41/rs41_frame.h"

namespace receiver {
namespace {

const std::string kFrames =
    std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02-frames.txt";
const std::string kLines = std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02.txt";

std::vector<std::vector<std::uint8_t>> RealFrames() {
  std::vector<std::vector<std::uint8_t>> frames;
  std::ifstream in(kFrames);
  std::string hex, tail;
  while (in >> hex) {
    std::getline(in, tail);
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    frames.push_back(std::move(bytes));
  }
  return frames;
}

std::vector<std::string> RealLines() {
  std::vector<std::string> lines;
  std::ifstream in(kLines);
  std::string line;
  while (std::getline(in, line)) {
    if (line.starts_with("{ \"type\"")) lines.push_back(line);
  }
  return lines;
}

// The frames as sent: whitened again, every bit in sending order.
std::vector<std::uint8_t> AirSymbolsOf(std::vector<std::uint8_t> frame) {
  Rs41Whiten(frame);
  return Rs41AirSymbols(frame);
}

TEST(Rs41RealFrames, EveryLineAsTheOpenDecoderPrintedIt) {
  const auto frames = RealFrames();
  const auto lines = RealLines();
  ASSERT_EQ(frames.size(), 60u);
  ASSERT_EQ(lines.size(), frames.size());
  Rs41Decoder decoder;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const std::optional<DecodedFrame> frame = decoder.DecodeDescrambled(frames[i]);
    ASSERT_TRUE(frame) << "frame " << i;
    EXPECT_EQ(FrameJsonLine(*frame, std::nullopt), lines[i]) << "frame " << i;
    EXPECT_EQ(frame->kind, "RS41");
    EXPECT_EQ(frame->id, "L1830070");
    EXPECT_EQ(frame->frame, 3172 + static_cast<long long>(i));
  }
  EXPECT_EQ(decoder.Rejected(), 0);
  EXPECT_EQ(decoder.CorrectedBytes(), 0);
}

TEST(Rs41RealFrames, FrequencyGoesBeforeTheSondesOwn) {
  const auto frames = RealFrames();
  Rs41Decoder decoder;
  std::optional<DecodedFrame> last;
  for (const auto& bytes : frames) last = decoder.DecodeDescrambled(bytes);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->tx_frequency_khz, 402000);
  EXPECT_NE(FrameJsonLine(*last, 402010).find("\"freq\": 402010, \"tx_frequency\": 402000"),
            std::string::npos);
}

struct AirCase {
  const char* name;
  bool inverted;
  std::size_t chunk;
  std::size_t gap;  // noise-free idle symbols between frames
};

class Rs41AirStream : public ::testing::TestWithParam<AirCase> {};

TEST_P(Rs41AirStream, RealFramesThroughTheBitStage) {
  const AirCase& c = GetParam();
  const auto frames = RealFrames();
  const auto lines = RealLines();
  std::vector<std::uint8_t> stream;
  std::mt19937 random(7);
  for (const auto& frame : frames) {
    for (std::size_t i = 0; i < c.gap; ++i) stream.push_back(random() & 1);
    const auto symbols = AirSymbolsOf(frame);
    stream.insert(stream.end(), symbols.begin(), symbols.end());
  }
  if (c.inverted) {
    for (auto& s : stream) s ^= 1;
  }
  Rs41Decoder decoder;
  std::vector<DecodedFrame> got;
  for (std::size_t at = 0; at < stream.size(); at += c.chunk) {
    const std::size_t n = std::min(c.chunk, stream.size() - at);
    auto part = decoder.PushSymbols(std::span<const std::uint8_t>(stream).subspan(at, n));
    got.insert(got.end(), part.begin(), part.end());
  }
  ASSERT_EQ(got.size(), lines.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(FrameJsonLine(got[i], std::nullopt), lines[i]) << "frame " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Polarities, Rs41AirStream,
                         ::testing::Values(AirCase{"UprightWholeFrames", false, 2560, 0},
                                           AirCase{"UprightOddChunks", false, 37, 101},
                                           AirCase{"InvertedOneByOne", true, 1, 13},
                                           AirCase{"InvertedOddChunks", true, 333, 2000}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rs41AirStream, BitErrorsInTheFrameAreCorrected) {
  const auto frames = RealFrames();
  auto symbols = AirSymbolsOf(frames[0]);
  // One flipped bit in each of 20 bytes after the header, spread over both codewords.
  for (std::size_t k = 0; k < 20; ++k) symbols[(8 + 7 * k) * 8 + k % 8] ^= 1;
  Rs41Decoder decoder;
  const auto got = decoder.PushSymbols(symbols);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(FrameJsonLine(got[0], std::nullopt), RealLines()[0]);
  EXPECT_EQ(decoder.CorrectedBytes(), 20);
}

TEST(Rs41AirStream, HeaderWithTooManyBitErrorsIsNotFound) {
  auto symbols = AirSymbolsOf(RealFrames()[0]);
  for (int bit : {3, 17, 30, 45}) symbols[static_cast<std::size_t>(bit)] ^= 1;
  Rs41Decoder decoder;
  EXPECT_TRUE(decoder.PushSymbols(symbols).empty());
  EXPECT_EQ(decoder.Rejected(), 0);  // never heard as a frame
}

TEST(Rs41AirStream, NoiseGivesNoFrame) {
  std::mt19937 random(42);
  std::vector<std::uint8_t> noise(200000);
  for (auto& s : noise) s = random() & 1;
  Rs41Decoder decoder;
  EXPECT_TRUE(decoder.PushSymbols(noise).empty());
}

TEST(Rs41AirStream, FrameThatFadedOutCostsOnlyItself) {
  const auto frames = RealFrames();
  auto stream = AirSymbolsOf(frames[0]);
  stream.resize(1000);  // the signal faded: the next header comes while this one is collected
  for (int i = 1; i <= 3; ++i) {
    const auto s = AirSymbolsOf(frames[static_cast<std::size_t>(i)]);
    stream.insert(stream.end(), s.begin(), s.end());
  }
  Rs41Decoder decoder;
  const auto got = decoder.PushSymbols(stream);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].frame, 3173);
  EXPECT_EQ(got[2].frame, 3175);
  EXPECT_EQ(decoder.Rejected(), 1);
}

TEST(Rs41AirStream, HeaderWithThreeBitErrorsIsStillFound) {
  auto symbols = AirSymbolsOf(RealFrames()[0]);
  for (int bit : {0, 31, 63}) symbols[static_cast<std::size_t>(bit)] ^= 1;
  for (auto& s : symbols) s ^= 1;
  Rs41Decoder decoder;
  EXPECT_EQ(decoder.PushSymbols(symbols).size(), 1u);
}

}  // namespace
}  // namespace receiver
