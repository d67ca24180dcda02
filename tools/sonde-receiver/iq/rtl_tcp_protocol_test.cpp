#include "iq/rtl_tcp_protocol.h"

#include <gtest/gtest.h>

#include <string>

namespace receiver {
namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

struct GreetingCase {
  std::string name;
  std::vector<std::uint8_t> bytes;
  bool valid;
  std::uint32_t tuner;
  std::uint32_t gains;
};

class GreetingTest : public ::testing::TestWithParam<GreetingCase> {};

TEST_P(GreetingTest, ParsesOnlyTheRealGreeting) {
  const auto& c = GetParam();
  const auto parsed = ParseRtlTcpGreeting(c.bytes);
  ASSERT_EQ(parsed.has_value(), c.valid);
  if (c.valid) {
    EXPECT_EQ(parsed->tuner_type, c.tuner);
    EXPECT_EQ(parsed->gain_count, c.gains);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Greetings, GreetingTest,
    ::testing::Values(
        GreetingCase{"R820T", Bytes({'R', 'T', 'L', '0', 0, 0, 0, 5, 0, 0, 0, 29}), true, 5, 29},
        GreetingCase{"BigNumbers",
                     Bytes({'R', 'T', 'L', '0', 0x01, 0x02, 0x03, 0x04, 0xff, 0, 0, 1}), true,
                     0x01020304, 0xff000001},
        GreetingCase{"WrongMagic", Bytes({'R', 'T', 'L', '1', 0, 0, 0, 5, 0, 0, 0, 29}), false, 0,
                     0},
        GreetingCase{"LowerCase", Bytes({'r', 't', 'l', '0', 0, 0, 0, 5, 0, 0, 0, 29}), false, 0,
                     0},
        GreetingCase{"Short", Bytes({'R', 'T', 'L', '0', 0, 0, 0, 5, 0, 0, 0}), false, 0, 0},
        GreetingCase{"Long", Bytes({'R', 'T', 'L', '0', 0, 0, 0, 5, 0, 0, 0, 29, 0}), false, 0, 0},
        GreetingCase{"Empty", {}, false, 0, 0},
        GreetingCase{"HttpServer",
                     Bytes({'H', 'T', 'T', 'P', '/', '1', '.', '1', ' ', '2', '0', '0'}), false, 0,
                     0}),
    [](const auto& info) { return info.param.name; });

TEST(RtlTcpGreeting, EncodesWhatItParses) {
  const auto bytes = EncodeRtlTcpGreeting({6, 0x12345678});
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()),
            Bytes({'R', 'T', 'L', '0', 0, 0, 0, 6, 0x12, 0x34, 0x56, 0x78}));
  const auto parsed = ParseRtlTcpGreeting(bytes);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->tuner_type, 6u);
  EXPECT_EQ(parsed->gain_count, 0x12345678u);
}

struct CommandCase {
  std::string name;
  RtlTcpCommand command;
  std::uint32_t param;
  std::vector<std::uint8_t> wire;
};

class CommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandTest, WireBytesAreBigEndian) {
  const auto& c = GetParam();
  const auto bytes = EncodeRtlTcpCommand(c.command, c.param);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), c.wire);
  const auto back = ParseRtlTcpCommand(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->command, static_cast<std::uint8_t>(c.command));
  EXPECT_EQ(back->param, c.param);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandTest,
    ::testing::Values(
        // 403 MHz = 0x18054AC0
        CommandCase{"Frequency", RtlTcpCommand::kFrequency, 403000000,
                    Bytes({0x01, 0x18, 0x05, 0x4a, 0xc0})},
        // 2.048 MS/s = 0x001F4000
        CommandCase{"SampleRate", RtlTcpCommand::kSampleRate, 2048000,
                    Bytes({0x02, 0x00, 0x1f, 0x40, 0x00})},
        CommandCase{"GainModeManual", RtlTcpCommand::kGainMode, 1, Bytes({0x03, 0, 0, 0, 1})},
        CommandCase{"Gain49_6dB", RtlTcpCommand::kGain, 496, Bytes({0x04, 0, 0, 0x01, 0xf0})},
        CommandCase{"NegativePpm", RtlTcpCommand::kFreqCorrection, static_cast<std::uint32_t>(-3),
                    Bytes({0x05, 0xff, 0xff, 0xff, 0xfd})},
        CommandCase{"AgcOff", RtlTcpCommand::kAgcMode, 0, Bytes({0x08, 0, 0, 0, 0})},
        CommandCase{"BiasTeeOn", RtlTcpCommand::kBiasTee, 1, Bytes({0x0e, 0, 0, 0, 1})}),
    [](const auto& info) { return info.param.name; });

TEST(RtlTcpCommand, RefusesWrongLengths) {
  EXPECT_FALSE(ParseRtlTcpCommand(Bytes({1, 0, 0, 0})));
  EXPECT_FALSE(ParseRtlTcpCommand(Bytes({1, 0, 0, 0, 0, 0})));
  EXPECT_FALSE(ParseRtlTcpCommand({}));
}

std::vector<std::pair<int, std::uint32_t>> Split(const std::vector<std::uint8_t>& wire) {
  std::vector<std::pair<int, std::uint32_t>> out;
  for (std::size_t k = 0; k + kRtlTcpCommandSize <= wire.size(); k += kRtlTcpCommandSize) {
    const auto c = ParseRtlTcpCommand(std::span(wire).subspan(k, kRtlTcpCommandSize));
    out.emplace_back(c->command, c->param);
  }
  return out;
}

TEST(RtlTcpSetupCommands, AutomaticGain) {
  RtlTcpSetup setup;
  setup.sample_rate = 2048000;
  setup.center_hz = 402500000;
  setup.ppm = 12;
  const auto wire = RtlTcpSetupCommands(setup);
  ASSERT_EQ(wire.size() % kRtlTcpCommandSize, 0u);
  const std::vector<std::pair<int, std::uint32_t>> expected = {
      {0x02, 2048000}, {0x01, 402500000}, {0x03, 0}, {0x08, 0}, {0x05, 12}, {0x0e, 0}};
  EXPECT_EQ(Split(wire), expected);
}

TEST(RtlTcpSetupCommands, ManualGainAndBiasTee) {
  RtlTcpSetup setup;
  setup.sample_rate = 1024000;
  setup.center_hz = 405100000;
  setup.gain_tenths_db = 372;
  setup.ppm = -5;
  setup.bias_tee = true;
  const std::vector<std::pair<int, std::uint32_t>> expected = {
      {0x02, 1024000},
      {0x01, 405100000},
      {0x03, 1},
      {0x04, 372},
      {0x05, static_cast<std::uint32_t>(-5)},
      {0x0e, 1}};
  EXPECT_EQ(Split(RtlTcpSetupCommands(setup)), expected);
}

struct TunerCase {
  std::uint32_t type;
  std::string name;
};

class TunerNameTest : public ::testing::TestWithParam<TunerCase> {};

TEST_P(TunerNameTest, Names) {
  EXPECT_EQ(RtlTunerName(GetParam().type), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(Tuners, TunerNameTest,
                         ::testing::Values(TunerCase{0, "unknown tuner"}, TunerCase{1, "E4000"},
                                           TunerCase{2, "FC0012"}, TunerCase{3, "FC0013"},
                                           TunerCase{4, "FC2580"}, TunerCase{5, "R820T"},
                                           TunerCase{6, "R828D"}, TunerCase{7, "unknown tuner"},
                                           TunerCase{0xffffffff, "unknown tuner"}));

struct SampleCase {
  std::uint8_t byte;
  float value;
};

class U8SampleTest : public ::testing::TestWithParam<SampleCase> {};

TEST_P(U8SampleTest, ScalesAroundTheDonglesZero) {
  const auto& c = GetParam();
  const auto s = IqFromU8(c.byte, 255 - c.byte);
  EXPECT_NEAR(s.real(), c.value, 1e-6);
  EXPECT_NEAR(s.imag(), (255 - c.byte - 127.4f) / 128.0f, 1e-6);
  EXPECT_LE(std::abs(s.real()), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Bytes, U8SampleTest,
                         ::testing::Values(SampleCase{0, -127.4f / 128},
                                           SampleCase{127, -0.4f / 128},
                                           SampleCase{128, 0.6f / 128},
                                           SampleCase{255, 127.6f / 128}));

TEST(AppendIqPairs, KeepsIThenQAndLeavesAnOddByte) {
  std::vector<std::complex<float>> out;
  const auto bytes = Bytes({0, 255, 128, 127, 200});
  EXPECT_EQ(AppendIqPairs(bytes, out), 4u);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_LT(out[0].real(), -0.99f);
  EXPECT_GT(out[0].imag(), 0.99f);
  EXPECT_GT(out[1].real(), 0.0f);
  EXPECT_LT(out[1].imag(), 0.0f);
  EXPECT_EQ(AppendIqPairs(std::span(bytes).first(1), out), 0u);
  EXPECT_EQ(out.size(), 2u);
}

}  // namespace
}  // namespace receiver
