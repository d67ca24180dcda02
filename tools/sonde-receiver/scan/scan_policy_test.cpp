#include "scan/scan_policy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

namespace receiver {
namespace {

constexpr double kRate = 2048000;
constexpr long long kStep = 2048000 / 20;  // the engine's blocks: 50 ms

// A band of fake transmitters and a fake receiver: the spectrum shows those on air within the
// tuned span; a channel on a sonde gives its first frame 2 s after opening and then one a
// second; junk never decodes.
struct Transmitter {
  double hz;
  double snr_db;
  bool sonde;
  double on_s = 0;
  double off_s = 1e9;
};

class FakeBand {
 public:
  FakeBand(std::vector<Transmitter> transmitters, std::vector<double> ignored = {})
      : transmitters_(std::move(transmitters)),
        plan_(BandPlanConfig{}),
        book_([&] {
          PeakBookConfig config;
          config.ignored_hz = std::move(ignored);
          return config;
        }()),
        policy_(plan_, book_, ScanConfig{}) {
    policy_.Start(0);
    Handle(0);
  }

  // Runs until `until_s`; true when the stop condition met.
  void RunUntil(double until_s) {
    while (now_ < static_cast<long long>(until_s * kRate)) Step();
  }

  void Step() {
    now_ += kStep;
    const double t = now_ / kRate;
    if (policy_.SpectrumDue(now_)) {
      std::vector<SeenPeak> peaks;
      const double center = policy_.CenterHz();
      for (const Transmitter& tx : transmitters_) {
        if (On(tx, t) && std::abs(tx.hz - center) < kRate / 2) peaks.push_back({tx.hz, tx.snr_db});
      }
      policy_.OnSpectrum(peaks, now_);
    }
    for (auto& [id, channel] : channels_) {
      const Transmitter* tx = Near(channel.hz);
      if (!tx || !tx->sonde || !On(*tx, t) || std::abs(tx->hz - center_) > kRate / 2) continue;
      const long long since = now_ - channel.opened;
      if (since >= 2 * kRate && since - channel.last_frame_at >= kRate) {
        channel.last_frame_at = since;
        first_frames_.try_emplace(tx->hz, t);
        ++frames_[tx->hz];
        policy_.OnFrame(id, now_);
      }
    }
    policy_.Tick(now_);
    Handle(now_);
  }

  void Handle(long long now) {
    for (const ScanCommand& command : policy_.TakeCommands()) {
      switch (command.type) {
        case ScanCommand::Type::kTune:
          center_ = command.hz;
          ++tunes_;
          break;
        case ScanCommand::Type::kOpen:
          channels_[command.peak_id] = {command.hz, now, -static_cast<long long>(kRate)};
          opened_.insert(command.hz);
          ++opens_[std::llround(command.hz)];
          break;
        case ScanCommand::Type::kClose:
          channels_.erase(command.peak_id);
          closes_.push_back(command);
          break;
      }
    }
  }

  const Transmitter* Near(double hz) const {
    for (const Transmitter& tx : transmitters_) {
      if (std::abs(tx.hz - hz) < 5000 && On(tx, now_ / kRate)) return &tx;
    }
    return nullptr;
  }
  static bool On(const Transmitter& tx, double t) { return t >= tx.on_s && t < tx.off_s; }

  struct FakeChannel {
    double hz;
    long long opened;
    long long last_frame_at;
  };
  std::vector<Transmitter> transmitters_;
  BandPlan plan_;
  PeakBook book_;
  ScanPolicy policy_;
  long long now_ = 0;
  double center_ = 0;
  int tunes_ = 0;
  std::map<int, FakeChannel> channels_;
  std::set<double> opened_;
  std::map<long long, int> opens_;
  std::map<double, double> first_frames_;  // hz -> time of first frame
  std::map<double, int> frames_;
  std::vector<ScanCommand> closes_;
};

struct FirstFrameCase {
  const char* name;
  double hz;
  double on_s;
};

class FirstFrameWithinAim : public testing::TestWithParam<FirstFrameCase> {};

// A sonde that comes on anywhere in the band, at any moment of the sweep, gives its first
// frame within 15 s, even with junk elsewhere in the band.
TEST_P(FirstFrameWithinAim, AnywhereInTheBand) {
  const FirstFrameCase& c = GetParam();
  FakeBand band({{c.hz, 15, true, c.on_s}, {401234000, 25, false}});
  band.RunUntil(c.on_s + 20);
  ASSERT_EQ(band.first_frames_.count(c.hz), 1u);
  EXPECT_LE(band.first_frames_[c.hz] - c.on_s, 15.0);
}

INSTANTIATE_TEST_SUITE_P(Places, FirstFrameWithinAim,
                         testing::Values(FirstFrameCase{"BandStart", 400050000, 0},
                                         FirstFrameCase{"Middle", 403000000, 0},
                                         FirstFrameCase{"BandEnd", 405950000, 0},
                                         FirstFrameCase{"LaterMidSweep", 402330000, 31.3},
                                         FirstFrameCase{"WhileJunkTried", 404700000, 1.2}),
                         [](const auto& info) { return std::string(info.param.name); });

// The sonde is found even where a span's DC spike sits.
TEST(ScanPolicy, SondeOnASpanCentre) {
  const BandPlan plan{BandPlanConfig{}};
  const double hz = plan.Spans()[2].center_hz;
  FakeBand band({{hz, 15, true}});
  band.RunUntil(15);
  EXPECT_EQ(band.first_frames_.count(hz), 1u);
}

TEST(ScanPolicy, JunkPutAsideWithGrowingBackoff) {
  FakeBand band({{403100000, 20, false}});
  band.RunUntil(60 * 8);
  std::vector<long long> backoffs;
  for (const ScanCommand& close : band.closes_) {
    EXPECT_EQ(close.reason, CloseReason::kNoSonde);
    backoffs.push_back(close.aside_samples / static_cast<long long>(kRate));
  }
  // Tried at once, then after 1 min, 2 more and 4 more: 4 tries in 8 minutes.
  EXPECT_EQ(backoffs, (std::vector<long long>{60, 120, 240, 480}));
  EXPECT_EQ(band.opens_[403100000], 4);
}

TEST(ScanPolicy, TwoSondesInOneSpanBothGetChannels) {
  FakeBand band({{403000000, 12, true}, {403250000, 18, true}});
  band.RunUntil(12);
  EXPECT_EQ(band.first_frames_.count(403000000), 1u);
  EXPECT_EQ(band.first_frames_.count(403250000), 1u);
  EXPECT_EQ(band.policy_.OpenChannels().size(), 2u);
  EXPECT_FALSE(band.policy_.Sweeping());
}

TEST(ScanPolicy, SilentSpanLeadsToASweep) {
  FakeBand band({{403000000, 12, true, 0, 30}});
  band.RunUntil(29);
  EXPECT_FALSE(band.policy_.Sweeping());
  const int tunes = band.tunes_;
  band.RunUntil(30 + 59);
  EXPECT_FALSE(band.policy_.Sweeping());  // still waiting for it to come back
  EXPECT_EQ(band.tunes_, tunes);
  band.RunUntil(30 + 62);
  ASSERT_FALSE(band.closes_.empty());
  EXPECT_EQ(band.closes_.back().reason, CloseReason::kSilent);
  EXPECT_GT(band.tunes_, tunes);
}

TEST(ScanPolicy, SondeBackAfterSilenceIsFoundAgain) {
  FakeBand band({{403000000, 12, true, 0, 20}, {403000000, 12, true, 120}});
  band.RunUntil(135);
  EXPECT_GT(band.frames_[403000000], 20);
  EXPECT_EQ(band.opens_[403000000], 2);  // not tried while it was off the air
  for (const ScanCommand& close : band.closes_) EXPECT_EQ(close.reason, CloseReason::kSilent);
}

TEST(ScanPolicy, IgnoredFrequencyNeverTried) {
  FakeBand band({{405300000, 30, true}, {401000000, 10, true}}, {405300000});
  band.RunUntil(30);
  EXPECT_EQ(band.opens_.count(405300000), 0u);
  EXPECT_EQ(band.first_frames_.count(401000000), 1u);
}

TEST(ScanPolicy, NothingOnAirKeepsSweeping) {
  FakeBand band({});
  band.RunUntil(10);
  EXPECT_TRUE(band.policy_.Sweeping());
  EXPECT_GT(band.tunes_, 20);
  EXPECT_TRUE(band.opened_.empty());
}

TEST(ScanPolicy, KindWithoutDecoderPutAside) {
  BandPlan plan{BandPlanConfig{}};
  PeakBookConfig config;
  PeakBook book(config);
  ScanPolicy policy(plan, book, ScanConfig{});
  policy.Start(0);
  long long now = 0;
  policy.TakeCommands();
  for (std::size_t i = 0; i < plan.Spans().size(); ++i) {
    now += kRate;
    ASSERT_TRUE(policy.SpectrumDue(now));
    policy.OnSpectrum({{405300000, 14}}, now);
  }
  std::vector<ScanCommand> commands = policy.TakeCommands();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back().type, ScanCommand::Type::kOpen);
  const int id = commands.back().peak_id;
  policy.OnKindFound(id, now);
  policy.OnNoDecoder(id, now);
  commands = policy.TakeCommands();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].type, ScanCommand::Type::kClose);
  EXPECT_EQ(commands[0].reason, CloseReason::kNoDecoder);
  EXPECT_EQ(commands[1].type, ScanCommand::Type::kTune);
  EXPECT_TRUE(policy.Sweeping());
}

}  // namespace
}  // namespace receiver
