#include "app/engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace receiver {
namespace {

// A slow dongle over a narrow band keeps the test's sample counts small.
constexpr double kRate = 256000;

// A band of fake sondes: where each sends, how the dongle sees it, and what it is.
struct FakeSonde {
  double tx_hz;
  SondeKind kind;
  std::string serial;
  std::string missing_program = "";  // a kind decoded by a child that is not there
  bool decodes = true;
  double peak_error_hz = 700;  // where the spectrum puts it, from where it is
};

class FakeSource : public IqSource {
 public:
  FakeSource(long long total, bool tunable) : left_(total), tunable_(tunable) {}
  bool Tune(double center_hz) override {
    if (!tunable_) return false;
    center_ = center_hz;
    ++tunes_;
    return true;
  }
  double CenterHz() const override { return center_; }
  double SampleRate() const override { return kRate; }
  ReadStatus Read(std::vector<std::complex<float>>& out, std::size_t max, int) override {
    if (left_ <= 0) return ReadStatus::kEnd;
    if (gap_next_) {
      gap_next_ = false;
      return ReadStatus::kTimeout;
    }
    const std::size_t n = std::min<std::size_t>(max, static_cast<std::size_t>(left_));
    out.resize(out.size() + n);
    left_ -= static_cast<long long>(n);
    return ReadStatus::kOk;
  }
  std::string TakeEvent() override {
    std::string event;
    event.swap(event_);
    return event;
  }
  long long left_;
  bool tunable_;
  double center_ = 403e6;
  int tunes_ = 0;
  bool gap_next_ = false;
  std::string event_ = "capture: started";
};

class FakeChannel : public SondeChannel {
 public:
  FakeChannel(const FakeSonde* sonde, double offset, double seen_error_hz, double center)
      : sonde_(sonde), offset_(offset), error_(seen_error_hz), center_(center) {}
  ChannelOutput Process(std::span<const std::complex<float>> wide) override {
    ChannelOutput output;
    samples_ += static_cast<long long>(wide.size());
    if (!sonde_) return output;
    if (!told_ && samples_ >= kRate) {
      told_ = true;
      output.kind_found = sonde_->kind;
      output.missing_program = sonde_->missing_program;
    }
    if (told_ && sonde_->decodes && sonde_->missing_program.empty() &&
        samples_ - last_frame_ >= kRate) {
      last_frame_ = samples_;
      DecodedFrame frame;
      frame.kind = std::string(KindName(sonde_->kind));
      frame.id = sonde_->serial;
      frame.frame = ++count_;
      if (sonde_->kind == SondeKind::kRs41) {
        frame.tx_frequency_khz = static_cast<int>(std::lround(sonde_->tx_hz / 1000));
      }
      frame.members = {{"type", JsonText(frame.kind)},
                       {"frame", JsonInt(frame.frame)},
                       {"id", JsonText(frame.id)}};
      if (frame.tx_frequency_khz)
        frame.members.push_back({"tx_frequency", JsonInt(*frame.tx_frequency_khz)});
      frame.members.push_back({"ref_datetime", JsonText("GPS")});
      output.frames.push_back(frame);
    }
    if (!sonde_->decodes && told_) ++rejected_;
    return output;
  }
  double OffsetHz() const override { return offset_; }
  void Retune(double offset_hz) override {
    ++*retunes_;
    error_ -= offset_hz - offset_;
    offset_ = offset_hz;
  }
  // The slicer sees the rest of the way to the sonde.
  double MeanHz() const override { return error_; }
  long long Rejected() const override { return rejected_; }

  const FakeSonde* sonde_;
  double offset_, error_, center_;
  int* retunes_ = nullptr;
  long long samples_ = 0;
  long long last_frame_ = -static_cast<long long>(kRate);
  bool told_ = false;
  long long count_ = 0;
  long long rejected_ = 0;
};

class FakeParts : public ReceiverParts {
 public:
  FakeParts(FakeSource& source, std::vector<FakeSonde> sondes, double ppm)
      : source_(source), sondes_(std::move(sondes)), ppm_(ppm) {}
  double Seen(const FakeSonde& sonde) const { return sonde.tx_hz * (1 - ppm_ * 1e-6); }
  std::unique_ptr<SondeChannel> OpenChannel(double offset, double, double) override {
    const double hz = source_.CenterHz() + offset;
    ++opened_;
    for (const FakeSonde& sonde : sondes_) {
      if (std::abs(Seen(sonde) - hz) < 5000) {
        auto channel =
            std::make_unique<FakeChannel>(&sonde, offset, Seen(sonde) - hz, source_.CenterHz());
        channel->retunes_ = &retunes_;
        return channel;
      }
    }
    auto channel = std::make_unique<FakeChannel>(nullptr, offset, 0, source_.CenterHz());
    channel->retunes_ = &retunes_;
    return channel;
  }
  void AddSpectrum(std::span<const std::complex<float>>) override {}
  std::vector<SeenPeak> TakePeaks(double) override {
    std::vector<SeenPeak> peaks;
    for (const FakeSonde& sonde : sondes_) {
      // The spectrum's bins are coarse: the peak is a little off the sonde.
      const double offset = Seen(sonde) - source_.CenterHz() + sonde.peak_error_hz;
      if (std::abs(offset) < kRate / 2) peaks.push_back({offset, 15});
    }
    return peaks;
  }
  FakeSource& source_;
  std::vector<FakeSonde> sondes_;
  double ppm_;
  int opened_ = 0;
  int retunes_ = 0;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct EngineRun {
  std::string out, log;
  std::string counts;
  int retunes = 0;
};

EngineConfig TestConfig() {
  EngineConfig config;
  config.band = {403e6, 404e6, kRate, 0.78, 2000};
  config.book.sample_rate = kRate;
  config.block_samples = 8192;
  return config;
}

EngineRun RunEngine(std::vector<FakeSonde> sondes, double seconds, double ppm = 0,
                    EngineConfig config = TestConfig()) {
  FakeSource source(static_cast<long long>(seconds * kRate), true);
  FakeParts parts(source, std::move(sondes), ppm);
  std::ostringstream out, log;
  Engine engine(source, parts, config, out, log);
  for (int i = 0; i < 100000 && engine.RunOnce(0); ++i) {
    if (i % 7 == 3) source.gap_next_ = true;  // now and then nothing within the wait
  }
  return {out.str(), log.str(), engine.CountsText(0), parts.retunes_};
}

TEST(Engine, Rs41FoundDecodedAndPrintedWithItsFrequency) {
  const EngineRun run = RunEngine({{403500000, SondeKind::kRs41, "S2410203"}}, 12);
  const std::vector<std::string> out = Lines(run.out);
  ASSERT_GE(out.size(), 3u) << run.log;
  EXPECT_EQ(
      out[0],
      R"({ "type": "RS41", "frame": 1, "id": "S2410203", "freq": 403500, "tx_frequency": 403500, "ref_datetime": "GPS" })");
  const std::vector<std::string> log = Lines(run.log);
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "scanning 403.000\u2013404.000 MHz");
  EXPECT_EQ(log[1], "capture: started");
  EXPECT_EQ(log[2], "403.501 MHz: RS41");  // the spectrum's peak, before the symbols tell
  EXPECT_EQ(log[3], "403.500 MHz RS41 S2410203: first frame");
  EXPECT_EQ(log.size(), 4u) << run.log;  // nothing per frame
  EXPECT_NE(run.counts.find("S2410203 " + std::to_string(out.size()) + " frames"),
            std::string::npos)
      << run.counts;
}

struct DriftCase {
  double peak_error_hz;
  int retunes;
};

// A channel opened off its sonde follows it once frames come, and only once: what the symbols
// show of the rest is small then. The frequency printed is the sonde's all along.
TEST(Engine, ChannelFollowsItsSonde) {
  const DriftCase cases[] = {{700, 0}, {3000, 1}, {-4000, 1}};
  for (const DriftCase& c : cases) {
    const EngineRun run =
        RunEngine({{403500000, SondeKind::kRs41, "S2410203", "", true, c.peak_error_hz}}, 30);
    EXPECT_EQ(run.retunes, c.retunes) << c.peak_error_hz;
    const std::vector<std::string> out = Lines(run.out);
    ASSERT_GE(out.size(), 20u);
    for (const std::string& line : out) {
      EXPECT_NE(line.find(R"("freq": 403500, )"), std::string::npos) << line;
    }
  }
}

TEST(Engine, DongleErrorLearntFromRs41) {
  const EngineRun run = RunEngine({{403500000, SondeKind::kRs41, "S2410203"}}, 12, 10);
  EXPECT_NE(run.log.find("dongle error: +10.0 ppm (from S2410203)\n"), std::string::npos)
      << run.log;
  // Before the first frame the frequency is as seen; after it, corrected.
  const std::vector<std::string> out = Lines(run.out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_NE(out[0].find("\"freq\": 403500,"), std::string::npos) << out[0];
  EXPECT_NE(out.back().find("\"freq\": 403500,"), std::string::npos) << out.back();
}

TEST(Engine, TwoSondesInOneSpan) {
  const EngineRun run = RunEngine(
      {{403500000, SondeKind::kRs41, "S1111111"}, {403580000, SondeKind::kDfm, "DFM-314377"}}, 12);
  EXPECT_NE(run.log.find("RS41 S1111111: first frame"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("403.580 MHz DFM DFM-314377: first frame"), std::string::npos) << run.log;
  EXPECT_NE(run.out.find(R"({ "type": "DFM", "frame": 1, "id": "DFM-314377", "freq": 403580, )"),
            std::string::npos)
      << run.out;
}

TEST(Engine, MissingDecoderPutsAsideOnceALine) {
  const EngineRun run = RunEngine({{403300000, SondeKind::kM10, "", "m10mod"}}, 70);
  EXPECT_TRUE(run.out.empty());
  const std::string line = "M10 at 403.301 MHz: m10mod not found, put aside\n";
  const std::size_t at = run.log.find(line);
  ASSERT_NE(at, std::string::npos) << run.log;
  EXPECT_EQ(run.log.find(line, at + 1), std::string::npos) << run.log;  // tried again, not said
  EXPECT_NE(run.counts.find("put aside 2"), std::string::npos) << run.counts;
}

TEST(Engine, JunkNeverMakesFrames) {
  const EngineRun run = RunEngine({{403100000, SondeKind::kRs41, "S0000000", "", false}}, 40);
  EXPECT_TRUE(run.out.empty());
  EXPECT_NE(run.log.find("403.101 MHz: no sonde, put aside for 1 min\n"), std::string::npos)
      << run.log;
  EXPECT_EQ(run.counts.find("rejected 0"), std::string::npos) << run.counts;
}

TEST(Engine, NoFramesCounted) {
  const EngineRun run = RunEngine({}, 2);
  EXPECT_EQ(run.counts, "counts: no frames; rejected 0; put aside 0; dropped 0 samples");
}

TEST(Engine, EndsWithTheCapture) {
  FakeSource source(kRate, false);
  FakeParts parts(source, {}, 0);
  std::ostringstream out, log;
  Engine engine(source, parts, TestConfig(), out, log);
  int blocks = 0;
  while (engine.RunOnce(0)) ++blocks;
  EXPECT_EQ(engine.Now(), static_cast<long long>(kRate));
  EXPECT_GT(blocks, 0);
  EXPECT_EQ(source.CenterHz(), 403e6);  // a capture is not tuned
}

TEST(DurationText, AsLogged) {
  struct {
    double seconds;
    const char* text;
  } cases[] = {{60, "1 min"}, {120, "2 min"}, {1800, "30 min"}, {5, "5 s"}, {59.6, "60 s"}};
  for (const auto& c : cases) EXPECT_EQ(DurationText(c.seconds), c.text);
}

TEST(IdOfLine, FromChildLines) {
  struct {
    const char* line;
    const char* id;
  } cases[] = {
      {R"({ "type": "M10", "frame": 1, "id": "M10-012-3-45678", "x": 1 })", "M10-012-3-45678"},
      {R"({ "type": "M10", "frame": 1 })", ""},
      {R"({ "type": "M10", "id": "unterminated })", ""}};
  for (const auto& c : cases) EXPECT_EQ(IdOfLine(c.line), c.id) << c.line;
}

}  // namespace
}  // namespace receiver
