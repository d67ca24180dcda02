#include "iq/rtlsdr_source.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

struct DeviceCase {
  std::string text;
  std::optional<int> index;
  std::string serial;
};

class RtlSdrDeviceTest : public ::testing::TestWithParam<DeviceCase> {};

TEST_P(RtlSdrDeviceTest, IndexWhenDigitsElseSerial) {
  const auto choice = ParseRtlSdrDevice(GetParam().text);
  EXPECT_EQ(choice.index, GetParam().index);
  EXPECT_EQ(choice.serial, GetParam().serial);
}

INSTANTIATE_TEST_SUITE_P(Devices, RtlSdrDeviceTest,
                         ::testing::Values(DeviceCase{"0", 0, ""}, DeviceCase{"3", 3, ""},
                                           DeviceCase{"12", 12, ""},
                                           DeviceCase{"00000001", std::nullopt, "00000001"},
                                           DeviceCase{"sonde1", std::nullopt, "sonde1"},
                                           DeviceCase{"1a", std::nullopt, "1a"},
                                           DeviceCase{"", std::nullopt, ""}));

// Without a dongle on this machine (or without librtlsdr in the build) the source must say
// so, keep trying by itself, and still stop at once.
TEST(RtlSdrSource, NoDongleIsGoneAndSaysSoOnce) {
  RtlSdrOptions options;
  options.device = "no-such-serial-here";
  options.retry_interval_ms = 10;
  RtlSdrSource source(options);
  std::vector<std::complex<float>> got;
  for (int k = 0; k < 5; ++k) EXPECT_EQ(source.Read(got, 64, 20), ReadStatus::kGone);
  EXPECT_TRUE(got.empty());
  const std::string first = source.TakeEvent();
  if (RtlSdrSource::Available()) {
    EXPECT_EQ(first.rfind("dongle gone, trying again every 10 ms", 0), 0u) << first;
  } else {
    EXPECT_NE(first.find("no librtlsdr"), std::string::npos) << first;
  }
  EXPECT_EQ(source.TakeEvent(), "");
  EXPECT_TRUE(source.Tune(402e6));
  EXPECT_DOUBLE_EQ(source.CenterHz(), 402e6);
  EXPECT_FALSE(source.Tune(0));
  EXPECT_EQ(source.Dropped(), 0);
}

}  // namespace
}  // namespace receiver
