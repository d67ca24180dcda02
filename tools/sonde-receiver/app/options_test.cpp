#include "app/options.h"

#include <gtest/gtest.h>

namespace receiver {
namespace {

struct GoodCase {
  const char* name;
  std::vector<std::string> args;
  void (*check)(const Options&);
};

class GoodOptions : public testing::TestWithParam<GoodCase> {};

TEST_P(GoodOptions, Parse) {
  const ParsedOptions parsed = ParseOptions(GetParam().args);
  ASSERT_TRUE(parsed.options) << parsed.error;
  GetParam().check(*parsed.options);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GoodOptions,
    testing::Values(
        GoodCase{"NoneIsFirstDongle",
                 {},
                 [](const Options& o) {
                   EXPECT_EQ(o.source, SourceKind::kDevice);
                   EXPECT_EQ(o.device, "0");
                   EXPECT_EQ(o.sample_rate, 2048000);
                   EXPECT_FALSE(o.gain_db);
                   EXPECT_EQ(o.band_low_hz, 400e6);
                   EXPECT_EQ(o.band_high_hz, 406e6);
                   EXPECT_FALSE(o.bias_tee);
                 }},
        GoodCase{"DeviceSerial",
                 {"--device", "00000123"},
                 [](const Options& o) { EXPECT_EQ(o.device, "00000123"); }},
        GoodCase{"RtlTcp",
                 {"--rtl-tcp", "192.168.1.5:1234"},
                 [](const Options& o) {
                   EXPECT_EQ(o.source, SourceKind::kRtlTcp);
                   EXPECT_EQ(o.host, "192.168.1.5");
                   EXPECT_EQ(o.port, 1234);
                 }},
        GoodCase{"Capture",
                 {"--iq", "cap.u8", "--rate", "2048000", "--center", "403000000"},
                 [](const Options& o) {
                   EXPECT_EQ(o.source, SourceKind::kCapture);
                   EXPECT_EQ(o.capture_path, "cap.u8");
                   EXPECT_EQ(o.capture_rate, 2048000);
                   EXPECT_EQ(o.capture_center_hz, 403e6);
                 }},
        GoodCase{"Band",
                 {"--band", "401.5-404"},
                 [](const Options& o) {
                   EXPECT_TRUE(o.band_given);
                   EXPECT_EQ(o.band_low_hz, 401.5e6);
                   EXPECT_EQ(o.band_high_hz, 404e6);
                 }},
        GoodCase{"Tuning",
                 {"--gain", "38.6", "--ppm", "-12", "--bias-tee", "--sample-rate", "2400000"},
                 [](const Options& o) {
                   EXPECT_EQ(*o.gain_db, 38.6);
                   EXPECT_EQ(o.ppm, -12);
                   EXPECT_TRUE(o.bias_tee);
                   EXPECT_EQ(o.sample_rate, 2400000);
                 }},
        GoodCase{"IgnoreRepeats",
                 {"--ignore", "403.5", "--ignore", "405.1"},
                 [](const Options& o) {
                   EXPECT_EQ(o.ignored_hz, (std::vector<double>{403.5e6, 405.1e6}));
                 }},
        GoodCase{"Decoders",
                 {"--decoders", "/opt/rs"},
                 [](const Options& o) { EXPECT_EQ(o.decoders_dir, "/opt/rs"); }},
        GoodCase{"HelpWinsOverErrorsOfSources",
                 {"--device", "1", "--rtl-tcp", "h:1", "--help"},
                 [](const Options& o) { EXPECT_TRUE(o.help); }},
        GoodCase{"Version", {"--version"}, [](const Options& o) { EXPECT_TRUE(o.version); }}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
  std::vector<std::string> args;
  const char* names;  // the option the message must name
};

class BadOptions : public testing::TestWithParam<BadCase> {};

TEST_P(BadOptions, OneLineNamingTheOption) {
  const ParsedOptions parsed = ParseOptions(GetParam().args);
  EXPECT_FALSE(parsed.options);
  EXPECT_NE(parsed.error.find(GetParam().names), std::string::npos) << parsed.error;
  EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadOptions,
    testing::Values(BadCase{{"--device"}, "--device"}, BadCase{{"--device", ""}, "--device"},
                    BadCase{{"--rtl-tcp", "host"}, "--rtl-tcp"},
                    BadCase{{"--rtl-tcp", "host:0"}, "--rtl-tcp"},
                    BadCase{{"--rtl-tcp", "host:99999"}, "--rtl-tcp"},
                    BadCase{{"--rtl-tcp", ":1234"}, "--rtl-tcp"}, BadCase{{"--iq", "f.u8"}, "--iq"},
                    BadCase{{"--iq", "f.u8", "--rate", "2048000"}, "--iq"},
                    BadCase{{"--rate", "2048000"}, "--rate"}, BadCase{{"--rate", "fast"}, "--rate"},
                    BadCase{{"--band", "406-400"}, "--band"}, BadCase{{"--band", "400"}, "--band"},
                    BadCase{{"--band", "400-4060000"}, "--band"},
                    BadCase{{"--sample-rate", "48000"}, "--sample-rate"},
                    BadCase{{"--sample-rate", "2e6x"}, "--sample-rate"},
                    BadCase{{"--gain", "-3"}, "--gain"}, BadCase{{"--gain"}, "--gain"},
                    BadCase{{"--ppm", "nan"}, "--ppm"}, BadCase{{"--ppm", " 3"}, "--ppm"},
                    BadCase{{"--ignore", "abc"}, "--ignore"}, BadCase{{"--decoders"}, "--decoders"},
                    BadCase{{"--device", "0", "--rtl-tcp", "h:1"}, "only one source"},
                    BadCase{{"--frobnicate"}, "--frobnicate"}));

}  // namespace
}  // namespace receiver
