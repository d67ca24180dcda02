#include "rs41/rs41_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "rs41/rs41_decoder.h"

namespace receiver {
namespace {

std::vector<std::uint8_t> FirstRealFrame() {
  const std::string path =
      std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02-frames.txt";
  std::ifstream in(path);
  std::string hex;
  // A missing file fails the test that asked, not the program with an index out of range.
  if (!(in >> hex) || hex.size() < 2 * kRs41FrameBytes)
    throw std::runtime_error("no frame in " + path);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

// Frame positions of the n-th byte of codeword `which` (0: even data bytes, 1: odd ones).
std::size_t CodewordByte(int which, std::size_t n) {
  if (n < kRs41ParityPerCodeword) return kRs41ParityStart + which * kRs41ParityPerCodeword + n;
  return kRs41DataStart + 2 * (n - kRs41ParityPerCodeword) + static_cast<std::size_t>(which);
}

TEST(Rs41FrameTest, HeaderOnAirIsTheKnownSyncWord) {
  const std::array<std::uint8_t, 8> expected = {0x10, 0xB6, 0xCA, 0x11, 0x22, 0x96, 0x12, 0xF8};
  EXPECT_EQ(Rs41AirHeader(), expected);
}

TEST(Rs41FrameTest, WhiteningIsItsOwnInverseAndFollowsThePosition) {
  std::vector<std::uint8_t> bytes(200);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
  auto whitened = bytes;
  Rs41Whiten(whitened);
  EXPECT_NE(whitened, bytes);
  // Whitening the tail alone from its own position gives the same bytes.
  auto tail = std::vector<std::uint8_t>(bytes.begin() + 70, bytes.end());
  Rs41Whiten(tail, 70);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), whitened.begin() + 70));
  Rs41Whiten(whitened);
  EXPECT_EQ(whitened, bytes);
}

struct CrcCase {
  std::string input;
  std::uint16_t crc;
};

class Rs41CrcTest : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Rs41CrcTest, Ccitt) {
  const std::string& s = GetParam().input;
  EXPECT_EQ(Rs41Crc16(std::span(reinterpret_cast<const std::uint8_t*>(s.data()), s.size())),
            GetParam().crc);
}

INSTANTIATE_TEST_SUITE_P(Values, Rs41CrcTest,
                         ::testing::Values(CrcCase{"", 0xFFFF}, CrcCase{"123456789", 0x29B1},
                                           CrcCase{"A", 0xB915}));

TEST(Rs41FrameTest, RealFrameBlocksCheck) {
  const auto frame = FirstRealFrame();
  struct {
    std::size_t at;
    std::uint8_t id;
    std::size_t length;
  } blocks[] = {{0x39, 0x79, 40}, {0x65, 0x7A, 42},  {0x93, 0x7C, 30},
                {0xB5, 0x7D, 89}, {0x112, 0x7B, 21}, {0x12B, 0x76, 17}};
  for (const auto& b : blocks) {
    const auto block = Rs41BlockAt(frame, b.at);
    ASSERT_TRUE(block);
    EXPECT_EQ(block->id, b.id);
    EXPECT_EQ(block->length, b.length);
    EXPECT_TRUE(block->crc_ok);
  }
  EXPECT_FALSE(Rs41BlockAt(frame, 318));  // would run past the end
}

struct LengthCase {
  std::uint8_t type;
  std::size_t length;
};

class Rs41FrameLengthTest : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Rs41FrameLengthTest, ByBitMajority) {
  EXPECT_EQ(Rs41FrameLength(GetParam().type), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Types, Rs41FrameLengthTest,
                         ::testing::Values(LengthCase{0x0F, 320}, LengthCase{0x0E, 320},
                                           LengthCase{0x2F, 320}, LengthCase{0xF0, 518},
                                           LengthCase{0xF1, 518}, LengthCase{0x70, 518}));

TEST(Rs41ReedSolomonTest, RealFrameHasNoErrors) {
  auto frame = FirstRealFrame();
  const auto before = frame;
  EXPECT_EQ(Rs41ReedSolomon().Correct(frame), 0);
  EXPECT_EQ(frame, before);
}

TEST(Rs41ReedSolomonTest, EncodeGivesTheParitySent) {
  auto frame = FirstRealFrame();
  const auto sent = frame;
  std::fill(frame.begin() + 8, frame.begin() + 56, 0);
  Rs41ReedSolomon().Encode(frame);
  EXPECT_EQ(frame, sent);
}

struct ErrorCase {
  const char* name;
  int errors_first;   // byte errors in the first codeword
  int errors_second;  // and in the second
  bool corrected;
};

class Rs41ErrorsTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(Rs41ErrorsTest, CorrectedUpToTwelvePerCodeword) {
  const ErrorCase& c = GetParam();
  const auto clean = FirstRealFrame();
  auto frame = clean;
  std::mt19937 random(static_cast<unsigned>(c.errors_first * 31 + c.errors_second));
  const int counts[2] = {c.errors_first, c.errors_second};
  for (int which = 0; which < 2; ++which) {
    // Distinct positions over parity and data, each byte changed to another value.
    std::vector<std::size_t> positions;
    for (std::size_t n = 0; n < kRs41ParityPerCodeword + 132; ++n) positions.push_back(n);
    std::shuffle(positions.begin(), positions.end(), random);
    for (int k = 0; k < counts[which]; ++k) {
      frame[CodewordByte(which, positions[static_cast<std::size_t>(k)])] ^=
          static_cast<std::uint8_t>(1 + random() % 255);
    }
  }
  Rs41ReedSolomon rs;
  auto work = frame;
  const auto result = rs.Correct(work);
  Rs41Decoder decoder;
  const auto decoded = decoder.DecodeDescrambled(frame);
  if (c.corrected) {
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, c.errors_first + c.errors_second);
    EXPECT_EQ(work, clean);
    EXPECT_TRUE(decoded);
  } else {
    EXPECT_FALSE(result);
    EXPECT_EQ(work, frame);  // untouched when refused
    EXPECT_FALSE(decoded);
    EXPECT_EQ(decoder.Rejected(), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, Rs41ErrorsTest,
    ::testing::Values(ErrorCase{"OneEach", 1, 1, true}, ErrorCase{"TwelveFirst", 12, 0, true},
                      ErrorCase{"TwelveSecond", 0, 12, true}, ErrorCase{"TwelveEach", 12, 12, true},
                      ErrorCase{"ThirteenFirst", 13, 0, false},
                      ErrorCase{"ThirteenSecond", 3, 13, false}, ErrorCase{"Many", 40, 40, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct HostileCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
};

std::vector<std::uint8_t> Random(std::size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  return bytes;
}

std::vector<std::uint8_t> WithHeader(std::vector<std::uint8_t> bytes) {
  std::copy(kRs41Header.begin(), kRs41Header.end(), bytes.begin());
  return bytes;
}

class Rs41HostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Rs41HostileTest, NeverAFrame) {
  Rs41Decoder decoder;
  EXPECT_FALSE(decoder.DecodeDescrambled(GetParam().bytes));
  EXPECT_EQ(decoder.Rejected(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, Rs41HostileTest,
    ::testing::Values(HostileCase{"Empty", {}}, HostileCase{"Short", Random(100, 1)},
                      HostileCase{"OddLength", Random(321, 2)},
                      HostileCase{"Zeros", std::vector<std::uint8_t>(320, 0)},
                      HostileCase{"ZerosExtended", std::vector<std::uint8_t>(518, 0)},
                      HostileCase{"Ones", std::vector<std::uint8_t>(320, 0xFF)},
                      HostileCase{"Random", WithHeader(Random(320, 3))},
                      HostileCase{"RandomExtended", WithHeader(Random(518, 4))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Rs41HostileTest, ManyRandomFramesNeverGiveOne) {
  Rs41Decoder decoder;
  for (unsigned seed = 10; seed < 210; ++seed) {
    EXPECT_FALSE(decoder.DecodeDescrambled(WithHeader(Random(320, seed))));
  }
  EXPECT_EQ(decoder.Rejected(), 200);
}

// A valid codeword whose block CRC does not check: parity recomputed over corrupt data.
TEST(Rs41HostileTest, BlockCrcFailingIsRefusedDespiteGoodParity) {
  for (std::size_t at : {0x3Du, 0x70u, 0x99u, 0x115u, 0x130u}) {  // status .. padding
    auto frame = FirstRealFrame();
    frame[at] ^= 0x01;
    Rs41ReedSolomon().Encode(frame);
    Rs41Decoder decoder;
    EXPECT_FALSE(decoder.DecodeDescrambled(frame)) << at;
    EXPECT_EQ(decoder.Rejected(), 1);
  }
}

TEST(Rs41HostileTest, LengthThatDisagreesWithTheTypeByteIsRefused) {
  auto frame = FirstRealFrame();
  frame[kRs41FrameTypeAt] = 0xF0;  // says 518 in a 320-byte frame
  Rs41ReedSolomon().Encode(frame);
  Rs41Decoder decoder;
  EXPECT_FALSE(decoder.DecodeDescrambled(frame));
}

}  // namespace
}  // namespace receiver
