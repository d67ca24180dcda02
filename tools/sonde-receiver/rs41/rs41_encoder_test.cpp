#include "rs41/rs41_encoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "rs41/gps_date.h"
#include "rs41/rs41_decoder.h"
#include "rs41/rs41_frame.h"

namespace receiver {
namespace {

// "N1000000" onwards, appended piece by piece: g++ 12 at -O3 sees a false overlap
// (-Wrestrict) in "N" + text.
std::string SerialOf(int i) {
  std::string serial = "N";
  serial += std::to_string(1000000 + i);
  return serial;
}

std::string Member(const DecodedFrame& frame, const std::string& name) {
  for (const JsonMember& m : frame.members) {
    if (m.name == name) return m.value;
  }
  return "";
}

double Number(const DecodedFrame& frame, const std::string& name) {
  return std::stod(Member(frame, name));
}

struct TripCase {
  const char* name;
  Rs41Telemetry telemetry;
  const char* datetime;
};

class Rs41RoundTrip : public ::testing::TestWithParam<TripCase> {};

TEST_P(Rs41RoundTrip, BuildSymbolsDecode) {
  const Rs41Telemetry& t = GetParam().telemetry;
  const auto air = BuildRs41AirFrame(t);
  ASSERT_EQ(air.size(), kRs41FrameBytes);
  const auto header = Rs41AirHeader();
  EXPECT_TRUE(std::equal(header.begin(), header.end(), air.begin()));

  Rs41Decoder decoder;
  const auto frames = decoder.PushSymbols(Rs41AirSymbols(air));
  ASSERT_EQ(frames.size(), 1u);
  const DecodedFrame& f = frames[0];
  EXPECT_EQ(f.kind, "RS41");
  EXPECT_EQ(f.id, t.serial);
  EXPECT_EQ(f.frame, t.frame);
  EXPECT_EQ(Member(f, "datetime"), std::string("\"") + GetParam().datetime + "\"");
  EXPECT_NEAR(Number(f, "lat"), t.lat_deg, 2e-5);
  EXPECT_NEAR(Number(f, "lon"), t.lon_deg, 2e-5);
  EXPECT_NEAR(Number(f, "alt"), t.alt_m, 0.02);
  const double speed = std::hypot(t.vel_east_ms, t.vel_north_ms);
  EXPECT_NEAR(Number(f, "vel_h"), speed, 0.02);
  if (speed > 1) {
    double heading = std::atan2(t.vel_east_ms, t.vel_north_ms) * 180 / M_PI;
    if (heading < 0) heading += 360;
    EXPECT_NEAR(Number(f, "heading"), heading, 1.0);
  }
  EXPECT_NEAR(Number(f, "vel_v"), t.vel_up_ms, 0.02);
  EXPECT_EQ(Member(f, "sats"), std::to_string(t.sats));
  EXPECT_NEAR(Number(f, "batt"), t.batt_v, 0.051);
  EXPECT_EQ(Member(f, "temp"), "");  // no calibration sent
  EXPECT_EQ(Member(f, "subtype"), "\"RS41\"");
  if (t.frame % 51 == 0) {
    EXPECT_EQ(f.tx_frequency_khz, t.tx_frequency_khz);
  } else {
    EXPECT_FALSE(f.tx_frequency_khz);
  }
  EXPECT_EQ(decoder.Rejected(), 0);
}

INSTANTIATE_TEST_SUITE_P(Flights, Rs41RoundTrip,
                         ::testing::Values(TripCase{"Launch",
                                                    {"S1234567", 51, 2400, 302400.5, 48.137154,
                                                     11.576124, 519, 0.5, -0.2, 5.1, 9, 2.9,
                                                     403500},
                                                    "2026-01-07T12:00:00.500Z"},
                                           TripCase{"Stratosphere",
                                                    {"T9876543", 7000, 2401, 12.25, -33.5, 151.2,
                                                     30000, -12.3, 20.4, 6.2, 11, 2.6, 401010},
                                                    "2026-01-11T00:00:12.250Z"},
                                           TripCase{"Descent",
                                                    {"U0000001", 32000, 1856, 43166, 46.01891,
                                                     -16.34725, 1200, 3, 3, -25.0, 6, 2.4, 405000},
                                                    "2015-08-02T11:59:26.000Z"},
                                           TripCase{"HighArctic",
                                                    {"V5555555", 102, 2000, 604799.999, 89.5,
                                                     -179.9, 15000, -1, 0, 0, 4, 3.1, 400000},
                                                    "2018-05-12T23:59:59.999Z"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Rs41Encoder, SymbolsAreLeastSignificantBitFirst) {
  const std::vector<std::uint8_t> bytes = {0x10, 0x81};
  const std::vector<std::uint8_t> expected = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(Rs41AirSymbols(bytes), expected);
}

TEST(Rs41Encoder, FrequencyRoundTripInTenKilohertzSteps) {
  Rs41Decoder decoder;
  for (int khz : {400000, 400010, 400020, 400030, 401040, 402000, 405990, 406000}) {
    Rs41Telemetry t{"F0000001", 0, 2000, 100, 10, 10, 1000, 0, 0, 0, 5, 3.0, khz};
    t.frame = 510;  // a multiple of 51: the frequency's fragment
    auto air = BuildRs41AirFrame(t);
    Rs41Whiten(air);
    const auto frame = decoder.DecodeDescrambled(air);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->tx_frequency_khz, khz);
  }
}

// Two sondes heard on one channel: the calibration of one is not mixed into the other's.
TEST(Rs41Encoder, CalibrationIsKeptPerSerial) {
  std::ifstream in(std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02-frames.txt");
  std::ifstream lines_in(std::string(NIMBRIX_REAL_DATA_DIR) + "/rs41-L1830070-2015-08-02.txt");
  std::vector<std::string> lines;
  for (std::string line; std::getline(lines_in, line);) {
    if (line.starts_with("{ ")) lines.push_back(line);
  }
  Rs41Decoder decoder;
  std::string hex, tail;
  std::size_t n = 0;
  while (in >> hex) {
    std::getline(in, tail);
    std::vector<std::uint8_t> real;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      real.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    // Another sonde's frame with the same fragment index and zeros in it.
    Rs41Telemetry other{
        "X0000002", 3172 + static_cast<long>(n), 1856, 43166.0 + n, 47, 8, 3000, 1, 1, 5, 7, 2.8,
        404000};
    auto air = BuildRs41AirFrame(other);
    Rs41Whiten(air);
    const auto theirs = decoder.DecodeDescrambled(air);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(Member(*theirs, "temp"), "");
    const auto ours = decoder.DecodeDescrambled(real);
    ASSERT_TRUE(ours);
    ASSERT_LT(n, lines.size());
    EXPECT_EQ(FrameJsonLine(*ours, std::nullopt), lines[n]) << n;
    ++n;
  }
  EXPECT_EQ(n, 60u);
  ASSERT_TRUE(decoder.CalibrationOf("L1830070"));
  EXPECT_EQ(decoder.CalibrationOf("L1830070")->Count(), 51);
  ASSERT_TRUE(decoder.CalibrationOf("X0000002"));
}

TEST(Rs41Encoder, SerialsKeptAreBounded) {
  Rs41Decoder decoder;
  for (int i = 0; i < 200; ++i) {
    const std::string serial = SerialOf(i);
    auto air = BuildRs41AirFrame({serial, i, 2000, 1, 10, 10, 100, 0, 0, 0, 5, 3, 0});
    Rs41Whiten(air);
    ASSERT_TRUE(decoder.DecodeDescrambled(air));
    EXPECT_TRUE(decoder.CalibrationOf(serial));
  }
  int kept = 0;
  for (int i = 0; i < 200; ++i) kept += decoder.CalibrationOf(SerialOf(i)) ? 1 : 0;
  EXPECT_LE(kept, 64);
  EXPECT_GE(kept, 1);
}

// A 518-byte frame: the status and GPS blocks, then extra sensor data and padding.
std::vector<std::uint8_t> ExtendedFrame() {
  Rs41Telemetry t{"E1111111", 77, 2100, 5000, 52.5, 13.4, 8000, 2, 3, 4, 8, 2.7, 403000};
  auto frame = BuildRs41AirFrame(t);
  Rs41Whiten(frame);
  frame.resize(kRs41ExtendedFrameBytes, 0);
  frame[kRs41FrameTypeAt] = 0xF0;
  std::size_t at = 0x12B;  // where the short frame's padding was
  const std::uint8_t aux_length = 20;
  frame[at] = 0x7E;
  frame[at + 1] = aux_length;
  for (std::size_t i = 0; i < aux_length; ++i)
    frame[at + 2 + i] = static_cast<std::uint8_t>('A' + i);
  std::uint16_t crc = Rs41Crc16(std::span(frame).subspan(at + 2, aux_length));
  frame[at + 2 + aux_length] = crc & 0xFF;
  frame[at + 3 + aux_length] = crc >> 8;
  at += 2 + aux_length + 2;
  const std::size_t pad = kRs41ExtendedFrameBytes - at - 4;
  frame[at] = 0x76;
  frame[at + 1] = static_cast<std::uint8_t>(pad);
  std::fill(frame.begin() + static_cast<long>(at + 2),
            frame.begin() + static_cast<long>(at + 2 + pad), 0);
  crc = Rs41Crc16(std::span(frame).subspan(at + 2, pad));
  frame[at + 2 + pad] = crc & 0xFF;
  frame[at + 3 + pad] = crc >> 8;
  Rs41ReedSolomon().Encode(frame);
  return frame;
}

TEST(Rs41Extended, DescrambledFrameDecodes) {
  Rs41Decoder decoder;
  auto frame = ExtendedFrame();
  frame[400] ^= 0x5A;  // an error where only the long codewords reach
  frame[401] ^= 0xA5;
  const auto got = decoder.DecodeDescrambled(frame);
  ASSERT_TRUE(got);
  EXPECT_EQ(got->id, "E1111111");
  EXPECT_EQ(got->frame, 77);
  EXPECT_EQ(Member(*got, "aux"), "\"BCDEFGHIJKLMNOPQRST\"");  // after the instrument byte
  EXPECT_EQ(decoder.CorrectedBytes(), 2);
}

TEST(Rs41Extended, ThroughTheBitStageInvertedThenAShortFrame) {
  auto air = ExtendedFrame();
  Rs41Whiten(air);
  auto symbols = Rs41AirSymbols(air);
  const auto next = Rs41AirSymbols(
      BuildRs41AirFrame({"E1111111", 78, 2100, 5001, 52.5, 13.4, 8004, 2, 3, 4, 8, 2.7, 0}));
  symbols.insert(symbols.end(), next.begin(), next.end());
  for (auto& s : symbols) s ^= 1;
  Rs41Decoder decoder;
  const auto got = decoder.PushSymbols(symbols);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].frame, 77);
  EXPECT_EQ(got[1].frame, 78);
}

TEST(Rs41Extended, TruncatedToTheShortLengthIsRefused) {
  auto frame = ExtendedFrame();
  frame.resize(kRs41FrameBytes);
  Rs41Decoder decoder;
  EXPECT_FALSE(decoder.DecodeDescrambled(frame));
  EXPECT_EQ(decoder.Rejected(), 1);
}

TEST(Rs41Hostile, PositionOutsideTheAtmosphereIsRefused) {
  Rs41Decoder decoder;
  for (double alt : {-5000.0, 90000.0}) {
    auto air = BuildRs41AirFrame({"H0000001", 5, 2000, 1, 0, 0, alt, 0, 0, 0, 0, 3, 0});
    Rs41Whiten(air);
    EXPECT_FALSE(decoder.DecodeDescrambled(air)) << alt;
  }
  EXPECT_EQ(decoder.Rejected(), 2);
}

TEST(Rs41Hostile, UnprintableSerialIsRefused) {
  Rs41Decoder decoder;
  auto air = BuildRs41AirFrame({std::string("AB\x01"
                                            "DEFGH",
                                            8),
                                5, 2000, 1, 10, 10, 100, 0, 0, 0, 0, 3, 0});
  Rs41Whiten(air);
  EXPECT_FALSE(decoder.DecodeDescrambled(air));
}

TEST(Rs41Hostile, RandomSymbolsWithHeadersNeverGiveAFrame) {
  std::mt19937 random(99);
  std::vector<std::uint8_t> stream;
  const auto header = Rs41AirSymbols(Rs41AirHeader());
  for (int k = 0; k < 20; ++k) {
    stream.insert(stream.end(), header.begin(), header.end());
    // Long enough for a 518-byte frame, which a random type byte asks for half the time.
    for (int i = 0; i < 4200; ++i) stream.push_back(random() & 1);
  }
  Rs41Decoder decoder;
  EXPECT_TRUE(decoder.PushSymbols(stream).empty());
  EXPECT_EQ(decoder.Rejected(), 20);
}

}  // namespace
}  // namespace receiver
