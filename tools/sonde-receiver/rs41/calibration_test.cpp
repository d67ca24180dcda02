#include "rs41/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace receiver {
namespace {

std::array<std::uint8_t, 16> Fragment(std::initializer_list<std::pair<int, std::uint8_t>> bytes) {
  std::array<std::uint8_t, 16> f{};
  for (auto [at, value] : bytes) f[static_cast<std::size_t>(at)] = value;
  return f;
}

struct FrequencyCase {
  std::uint8_t top_bits_byte;
  std::uint8_t steps;
  int khz;
};

class Rs41FrequencyTest : public ::testing::TestWithParam<FrequencyCase> {};

TEST_P(Rs41FrequencyTest, FromFragmentZero) {
  Rs41Calibration cal;
  EXPECT_FALSE(cal.TxFrequencyKhz());
  cal.Add(0, Fragment({{2, GetParam().top_bits_byte}, {3, GetParam().steps}}));
  EXPECT_EQ(cal.TxFrequencyKhz(), GetParam().khz);
}

INSTANTIATE_TEST_SUITE_P(Values, Rs41FrequencyTest,
                         ::testing::Values(FrequencyCase{0x00, 0, 400000},
                                           FrequencyCase{0x00, 50, 402000},  // the real sonde
                                           FrequencyCase{0x40, 50, 402010},
                                           FrequencyCase{0x80, 50, 402020},
                                           FrequencyCase{0xFF, 150, 406030},  // low bits ignored
                                           FrequencyCase{0x3F, 1, 400040}));

TEST(Rs41CalibrationTest, FragmentsOutOfRangeOrShortAreIgnored) {
  Rs41Calibration cal;
  const auto f = Fragment({{0, 1}});
  cal.Add(-1, f);
  cal.Add(51, f);
  cal.Add(200, f);
  cal.Add(3, std::span(f).first(15));
  EXPECT_EQ(cal.Count(), 0);
  cal.Add(50, f);
  EXPECT_TRUE(cal.Has(50));
  EXPECT_FALSE(cal.Has(51));
  EXPECT_EQ(cal.Count(), 1);
}

TEST(Rs41CalibrationTest, BurstCountdownOffUntilKnown) {
  Rs41Calibration cal;
  EXPECT_EQ(cal.BurstCountdown(), 65535);
  cal.Add(0x32, Fragment({{0, 0x10}, {1, 0x0E}}));
  EXPECT_EQ(cal.BurstCountdown(), 0x0E10);
}

TEST(Rs41CalibrationTest, SubtypeNeedsBothFragments) {
  Rs41Calibration cal;
  cal.Add(
      0x21,
      Fragment(
          {{8, 'R'}, {9, 'S'}, {10, '4'}, {11, '1'}, {12, '-'}, {13, 'S'}, {14, 'G'}, {15, 'P'}}));
  EXPECT_FALSE(cal.Subtype());
  cal.Add(0x22, Fragment({{2, 'R'}, {3, 'S'}, {4, 'M'}, {5, '4'}, {6, '1'}, {7, '2'}}));
  EXPECT_EQ(cal.Subtype(), "RS41-SGP");  // eight characters run on into 0x22, ended by its 0
  EXPECT_EQ(cal.Mainboard(), "RSM412");
}

TEST(Rs41CalibrationTest, FirmwareZeroIsUnknown) {
  Rs41Calibration cal;
  cal.Add(0x01, Fragment({}));
  EXPECT_FALSE(cal.Firmware());
  cal.Add(0x01, Fragment({{5, 0xF2}, {6, 0x4E}}));
  EXPECT_EQ(cal.Firmware(), 20210);
}

// The 816 calibration bytes as one buffer: floats straddle fragments.
struct CalibrationBytes {
  std::array<std::uint8_t, kRs41CalibrationFragments * kRs41FragmentBytes> bytes{};
  void PutFloat(int offset, float value) { std::memcpy(bytes.data() + offset, &value, 4); }
  void AddTo(Rs41Calibration& cal, int fragment) const {
    cal.Add(fragment, std::span(bytes).subspan(static_cast<std::size_t>(fragment) * 16, 16));
  }
};

// A bridge with references of 750 and 1100 ohms and a linear sensor: 0 degrees at 1000 ohms,
// one degree per 4 ohms, and readings proportional to resistance.
CalibrationBytes LinearTemperatureBytes() {
  CalibrationBytes c;
  c.PutFloat(61, 750.0f);
  c.PutFloat(65, 1100.0f);
  c.PutFloat(77, -250.0f);  // polynomial: -250 + R/4
  c.PutFloat(81, 0.25f);
  c.PutFloat(85, 0.0f);
  c.PutFloat(89, 1.0f);  // scale
  c.PutFloat(93, 0.0f);  // offset
  c.PutFloat(97, 0.0f);  // gain
  return c;
}

Rs41Calibration LinearTemperatureCalibration() {
  Rs41Calibration cal;
  const CalibrationBytes c = LinearTemperatureBytes();
  for (int i = 3; i <= 6; ++i) c.AddTo(cal, i);
  return cal;
}

struct TemperatureCase {
  std::uint32_t reading;
  float celsius;
};

class Rs41TemperatureTest : public ::testing::TestWithParam<TemperatureCase> {};

TEST_P(Rs41TemperatureTest, LinearBridge) {
  const Rs41Calibration cal = LinearTemperatureCalibration();
  Rs41PtuReadings r;
  r.values = {GetParam().reading, 75000, 110000};  // 100 counts per ohm
  const auto t = cal.Temperature(r);
  ASSERT_TRUE(t);
  EXPECT_NEAR(*t, GetParam().celsius, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Readings, Rs41TemperatureTest,
                         ::testing::Values(TemperatureCase{100000, 0.0f},
                                           TemperatureCase{92000, -20.0f},
                                           TemperatureCase{80000, -50.0f},
                                           TemperatureCase{110000, 25.0f}));

TEST(Rs41CalibrationTest, TemperatureRefusedWhenIncompleteOrNonsense) {
  Rs41PtuReadings r;
  r.values = {100000, 75000, 110000};
  Rs41Calibration none;
  EXPECT_FALSE(none.Temperature(r));

  Rs41Calibration cal = LinearTemperatureCalibration();
  Rs41PtuReadings equal_references;
  equal_references.values = {100000, 90000, 90000};
  EXPECT_FALSE(cal.Temperature(equal_references));
  Rs41PtuReadings far_too_hot;
  far_too_hot.values = {500000, 75000, 110000};
  EXPECT_FALSE(cal.Temperature(far_too_hot));

  EXPECT_TRUE(cal.Temperature(r));
  CalibrationBytes nan = LinearTemperatureBytes();
  nan.PutFloat(65, std::numeric_limits<float>::quiet_NaN());
  nan.AddTo(cal, 4);
  EXPECT_FALSE(cal.Temperature(r));
}

TEST(Rs41CalibrationTest, HumidityNeedsItsFragmentAndATemperature) {
  Rs41Calibration cal;
  Rs41PtuReadings r;
  r.values = {0, 0, 0, 150, 100, 200};
  EXPECT_FALSE(cal.Humidity(r, 10.0f));
  CalibrationBytes c;
  c.PutFloat(117, 40.0f);
  c.AddTo(cal, 7);
  const auto warm = cal.Humidity(r, 10.0f);
  ASSERT_TRUE(warm);
  EXPECT_EQ(*warm, 0.0f);  // 100 * (350 / 40 * 0.5 - 7.5) is below 0
  r.values = {0, 0, 0, 190, 100, 200};
  EXPECT_NEAR(*cal.Humidity(r, 10.0f), 100 * (8.75 * 0.9 - 7.5) - 10 / 5.5, 1e-3);
  EXPECT_EQ(*cal.Humidity({{0, 0, 0, 400, 100, 200}}, 10.0f), 100.0f);  // clamped
  EXPECT_FALSE(cal.Humidity(r, -274.0f));
}

}  // namespace
}  // namespace receiver
