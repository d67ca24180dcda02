#include "standin_server.h"

#include <gtest/gtest.h>

#include <numbers>
#include <thread>

#include "iq/rtl_tcp_source.h"
#include "standin_args.h"

namespace standin {
namespace {

using receiver::RtlTcpCommand;

std::vector<std::uint8_t> Wire(
    std::initializer_list<std::pair<RtlTcpCommand, std::uint32_t>> list) {
  std::vector<std::uint8_t> out;
  for (const auto& [command, param] : list) {
    const auto bytes = receiver::EncodeRtlTcpCommand(command, param);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

class CommandStreamTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(CommandStreamTest, SplitAnywhereComesOutWhole) {
  const auto wire = Wire({{RtlTcpCommand::kFrequency, 402e6},
                          {RtlTcpCommand::kSampleRate, 2048000},
                          {RtlTcpCommand::kBiasTee, 1}});
  CommandStream stream;
  std::vector<receiver::RtlTcpCommandMessage> got;
  for (std::size_t k = 0; k < wire.size(); k += GetParam()) {
    stream.Push(std::span(wire).subspan(k, std::min(GetParam(), wire.size() - k)));
    while (auto c = stream.Next()) got.push_back(*c);
  }
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].command, 0x01);
  EXPECT_EQ(got[0].param, 402000000u);
  EXPECT_EQ(got[1].param, 2048000u);
  EXPECT_EQ(got[2].command, 0x0e);
  EXPECT_FALSE(stream.Next());
}

INSTANTIATE_TEST_SUITE_P(ChunkSizes, CommandStreamTest, ::testing::Values(1, 2, 3, 4, 5, 7, 15));

struct ApplyCase {
  std::string name;
  RtlTcpCommand command;
  std::uint32_t param;
  bool accepted;
  double center_hz;
  double sample_rate;
  double ppm_error;
};

class ApplyCommandTest : public ::testing::TestWithParam<ApplyCase> {};

TEST_P(ApplyCommandTest, SetsTheDongle) {
  const auto& c = GetParam();
  DongleState dongle;
  dongle.tuning = {403e6, 2048000, 12};
  dongle.crystal_ppm = 12;
  EXPECT_EQ(ApplyCommand({static_cast<std::uint8_t>(c.command), c.param}, dongle), c.accepted);
  EXPECT_DOUBLE_EQ(dongle.tuning.center_hz, c.center_hz);
  EXPECT_DOUBLE_EQ(dongle.tuning.sample_rate, c.sample_rate);
  EXPECT_DOUBLE_EQ(dongle.tuning.ppm_error, c.ppm_error);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ApplyCommandTest,
    ::testing::Values(
        ApplyCase{"Tune", RtlTcpCommand::kFrequency, 401500000, true, 401.5e6, 2048000, 12},
        ApplyCase{"TuneTooLow", RtlTcpCommand::kFrequency, 1000, false, 403e6, 2048000, 12},
        ApplyCase{"Rate", RtlTcpCommand::kSampleRate, 2400000, true, 403e6, 2400000, 12},
        ApplyCase{"RateInTheGap", RtlTcpCommand::kSampleRate, 500000, false, 403e6, 2048000, 12},
        ApplyCase{"RateZero", RtlTcpCommand::kSampleRate, 0, false, 403e6, 2048000, 12},
        ApplyCase{"Corrected", RtlTcpCommand::kFreqCorrection, 12, true, 403e6, 2048000, 0},
        ApplyCase{"CorrectedTheWrongWay", RtlTcpCommand::kFreqCorrection,
                  static_cast<std::uint32_t>(-3), true, 403e6, 2048000, 15},
        ApplyCase{"Unknown", static_cast<RtlTcpCommand>(0x42), 1, false, 403e6, 2048000, 12}),
    [](const auto& info) { return info.param.name; });

struct ArgsCase {
  std::string name;
  std::vector<std::string> args;
  bool valid;
};

class ArgsTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(ArgsTest, AcceptsOnlyGoodValues) {
  std::string error;
  const auto parsed = ParseStandinArgs(GetParam().args, &error);
  EXPECT_EQ(parsed.has_value(), GetParam().valid) << error;
  if (!GetParam().valid) {
    EXPECT_FALSE(error.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ArgsTest,
    ::testing::Values(ArgsCase{"Nothing", {}, true},
                      ArgsCase{"Everything",
                               {"--port",        "0",       "--seed",         "9",
                                "--snr",         "12",      "--ppm",          "-31",
                                "--cw",          "403.5",   "--fm-voice",     "401.1",
                                "--spur",        "-120000", "--rs41",         "402.7:S1234567",
                                "--dfm",         "403.1",   "--dfm-inverted", "403.12:314377",
                                "--close-after", "2.5",     "--stall-after",  "1",
                                "--bad-greeting"},
                               true},
                      ArgsCase{"UnknownOption", {"--frobnicate", "1"}, false},
                      ArgsCase{"MissingValue", {"--cw"}, false},
                      ArgsCase{"NotANumber", {"--cw", "40x"}, false},
                      ArgsCase{"HertzNotMegahertz", {"--cw", "403000000"}, false},
                      ArgsCase{"PortTooHigh", {"--port", "70000"}, false},
                      ArgsCase{"FractionalPort", {"--port", "12.5"}, false},
                      ArgsCase{"NegativeClose", {"--close-after", "-1"}, false},
                      ArgsCase{"EmptySerial", {"--rs41", "402.7:"}, false},
                      ArgsCase{"SpurOutsideAnyRate", {"--spur", "2e6"}, false},
                      ArgsCase{"Infinity", {"--snr", "inf"}, false}),
    [](const auto& info) { return info.param.name; });

TEST(StandinArgs, ReadsTheValues) {
  const auto a = ParseStandinArgs({"--rs41", "402.7:S1234567", "--rs41", "405.1", "--dfm",
                                   "403.3:314377", "--ppm", "-31", "--port", "0"},
                                  nullptr);
  ASSERT_TRUE(a);
  ASSERT_EQ(a->rs41.size(), 2u);
  EXPECT_DOUBLE_EQ(a->rs41[0].frequency_hz, 402.7e6);
  EXPECT_EQ(a->rs41[0].serial, "S1234567");
  EXPECT_EQ(a->rs41[1].serial, "");
  ASSERT_EQ(a->dfm.size(), 1u);
  EXPECT_EQ(a->dfm[0].serial, "314377");
  EXPECT_DOUBLE_EQ(a->ppm, -31);
  EXPECT_EQ(a->port, 0);
  EXPECT_LT(a->close_after_s, 0);
}

// The server against the receiver's own rtl_tcp client, on 127.0.0.1.
class ServedBand {
 public:
  explicit ServedBand(ServerOptions options) : scene_(0.01f, 1) {
    scene_.AddSource(std::make_unique<CwSource>(403.2e6, 0.3f));
    options.port = 0;
    options.block_samples = 4096;
    server_ = std::make_unique<StandinServer>(scene_, options);
    std::string error;
    EXPECT_TRUE(server_->Listen(&error)) << error;
    thread_ = std::thread([this] { server_->Serve(stop_); });
  }
  ~ServedBand() {
    stop_ = true;
    thread_.join();
  }
  receiver::RtlTcpOptions ClientOptions() const {
    receiver::RtlTcpOptions o;
    o.port = server_->Port();
    o.center_hz = 403e6;
    o.retry_interval_ms = 20;
    o.stall_timeout_ms = 200;
    o.greeting_timeout_ms = 500;
    o.tune_drop_samples = 0;
    return o;
  }
  long long Connections() const { return server_->Connections(); }

 private:
  BandScene scene_;
  std::unique_ptr<StandinServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

receiver::ReadStatus ReadUntil(receiver::RtlTcpSource& source,
                               std::vector<std::complex<float>>& out, std::size_t want) {
  receiver::ReadStatus status = receiver::ReadStatus::kTimeout;
  for (int k = 0; k < 300 && out.size() < want; ++k) {
    status = source.Read(out, want - out.size(), 20);
    if (status == receiver::ReadStatus::kGone) return status;
  }
  return status;
}

TEST(StandinServer, SendsTheTunedBandToAnRtlTcpClient) {
  ServedBand band({});
  receiver::RtlTcpSource source(band.ClientOptions());
  std::vector<std::complex<float>> got;
  ReadUntil(source, got, 8192);
  ASSERT_EQ(got.size(), 8192u);
  // The carrier 200 kHz above the centre, through the u8 quantisation.
  std::complex<double> tone = 0;
  for (std::size_t n = 0; n < got.size(); ++n) {
    tone += std::complex<double>(got[n]) *
            std::polar(1.0, -2 * std::numbers::pi * 200e3 * static_cast<double>(n) / 2048000);
  }
  EXPECT_NEAR(std::abs(tone) / static_cast<double>(got.size()), 0.3, 0.02);
  EXPECT_NE(source.TakeEvent().find("R820T, 29 gains"), std::string::npos);
}

struct FaultCase {
  std::string name;
  ServerOptions options;
  std::string reason;
};

class StandinFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(StandinFaultTest, TheClientSeesItGone) {
  ServedBand band(GetParam().options);
  receiver::RtlTcpSource source(band.ClientOptions());
  std::vector<std::complex<float>> got;
  receiver::ReadStatus status = receiver::ReadStatus::kOk;
  for (int k = 0; k < 300 && status != receiver::ReadStatus::kGone; ++k) {
    status = source.Read(got, 4096, 20);
  }
  EXPECT_EQ(status, receiver::ReadStatus::kGone);
  std::string events;
  for (std::string e = source.TakeEvent(); !e.empty(); e = source.TakeEvent()) events += e + "\n";
  EXPECT_NE(events.find(GetParam().reason), std::string::npos) << events;
}

ServerOptions Fault(double close_after, double stall_after, bool bad_greeting) {
  ServerOptions o;
  o.close_after_s = close_after;
  o.stall_after_s = stall_after;
  o.bad_greeting = bad_greeting;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, StandinFaultTest,
    ::testing::Values(FaultCase{"Closes", Fault(0.02, -1, false), "the server closed"},
                      FaultCase{"Stalls", Fault(-1, 0.02, false), "no data for"},
                      FaultCase{"BadGreeting", Fault(-1, -1, true), "not an rtl_tcp greeting"}),
    [](const auto& info) { return info.param.name; });

TEST(StandinServer, AcceptsAgainAfterClosing) {
  ServedBand band(Fault(0.02, -1, false));
  receiver::RtlTcpSource source(band.ClientOptions());
  std::vector<std::complex<float>> got;
  int gone = 0;
  for (int k = 0; k < 300 && band.Connections() < 2; ++k) {
    if (source.Read(got, 4096, 20) == receiver::ReadStatus::kGone) ++gone;
  }
  EXPECT_GE(gone, 1);
  EXPECT_GE(band.Connections(), 2);
}

}  // namespace
}  // namespace standin
