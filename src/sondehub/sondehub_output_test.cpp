#include "sondehub/sondehub_output.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>
#include <zlib.h>

#include <algorithm>

#include "outputs/frame_news.h"
#include "platform/fake/fake_http_requester.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::Answer;
using fake::FakeClock;
using fake::FakeHttpRequester;
using fake::ScriptedAnswer;
using State = DestinationStatus::State;

std::string Gunzip(const std::string& data) {
  z_stream stream{};
  inflateInit2(&stream, 15 + 16);
  std::string out(1 << 20, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  out.resize(out.size() - stream.avail_out);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? out : "not gzip";
}

bool HasHeader(const HttpRequest& r, const std::string& header) {
  return std::find(r.headers.begin(), r.headers.end(), header) != r.headers.end();
}

struct OutputTest : ::testing::Test {
  FakeClock clock;
  StationConfig config = [] {
    StationConfig c;
    c.sUSER = "N0CALL-11";
    c.nSONDEHUB = 1;
    c.sSONDEHUB_URL = "http://hub.test";
    return c;
  }();
  FakeHttpRequester* http = nullptr;
  std::unique_ptr<SondehubOutput> output;
  FrameNews news;  // which frames are new, as the station tells its outputs
  SondeSample sample;
  bool decoderAnswered = true;
  std::vector<std::string> lines;

  void SetUp() override {
    auto requester = std::make_unique<FakeHttpRequester>(clock);
    http = requester.get();
    output = std::make_unique<SondehubOutput>(config, clock, std::move(requester));
    sample.serial = "S3210987";
    sample.kind = "RS41-SGP";
    sample.latitude = 47.86;
    sample.longitude = 12.5;
    sample.altitude = 1000;
    sample.timeText = "2026-12-08 20:41:05";
    sample.given.frame = sample.given.altitude = true;
  }

  // Cycles once a second; the frame number moves on each cycle when `newFrames`.
  void Seconds(int seconds, bool newFrames = true) {
    for (int i = 0; i < seconds; ++i) {
      if (newFrames) ++sample.frame;
      const std::vector<SondeFrame> frames = news.Mark(sample, decoderAnswered, {});
      output->Cycle({sample, decoderAnswered, clock.UtcMs(), clock.MonotonicMs(), lines, frames});
      clock.Advance(1000);
    }
  }

  std::vector<const HttpRequest*> Telemetry() const {
    std::vector<const HttpRequest*> found;
    for (const HttpRequest& r : http->requests) {
      if (r.url == "http://hub.test/sondes/telemetry") found.push_back(&r);
    }
    return found;
  }

  std::vector<std::int64_t> FramesIn(const HttpRequest& r) const {
    rapidjson::Document doc;
    const std::string json = Gunzip(r.body);
    doc.Parse(json.data(), json.size());
    std::vector<std::int64_t> frames;
    if (!doc.IsArray()) return frames;
    for (const auto& record : doc.GetArray()) frames.push_back(record["frame"].GetInt64());
    return frames;
  }
};

TEST_F(OutputTest, ListenerRecordPlainThenFramesGzipped) {
  Seconds(21);
  ASSERT_GE(http->requests.size(), 2u);
  const HttpRequest& listener = http->requests[0];
  EXPECT_EQ(listener.method, "PUT");
  EXPECT_EQ(listener.url, "http://hub.test/listeners");
  EXPECT_FALSE(HasHeader(listener, "Content-Encoding: gzip"));
  EXPECT_EQ(listener.body.front(), '{');
  const std::vector<const HttpRequest*> telemetry = Telemetry();
  ASSERT_EQ(telemetry.size(), 1u);
  const HttpRequest& batch = *telemetry[0];
  EXPECT_TRUE(HasHeader(batch, "Content-Encoding: gzip"));
  EXPECT_TRUE(HasHeader(batch, "Content-Type: application/json"));
  EXPECT_TRUE(HasHeader(batch, "User-Agent: NIMBRIX 0.22"));
  EXPECT_TRUE(HasHeader(batch, "Date: Tue, 08 Dec 2026 20:41:25 GMT"));
  EXPECT_EQ(batch.timeoutMs, 30000);
  std::vector<std::int64_t> expected(21);
  for (int i = 0; i < 21; ++i) expected[static_cast<std::size_t>(i)] = i + 1;
  EXPECT_EQ(FramesIn(batch), expected);
  Seconds(1);
  const DestinationStatus s = output->Status();
  EXPECT_EQ(s.kind, "SondeHub");
  EXPECT_EQ(s.name, "http://hub.test");
  EXPECT_EQ(s.sent, 21u);
  EXPECT_EQ(s.stateText, "OK");
}

TEST_F(OutputTest, OneRecordPerFrameOfEachSonde) {
  Seconds(5);               // frames 1..5
  Seconds(5, false);        // the decoder repeats frame 5
  decoderAnswered = false;  // and then is gone
  Seconds(3);
  decoderAnswered = true;
  sample.serial = "T1111111";  // another sonde, with frame 9 of its own
  Seconds(1, false);
  Seconds(10, false);
  ASSERT_EQ(Telemetry().size(), 1u);
  EXPECT_EQ(FramesIn(*Telemetry()[0]), (std::vector<std::int64_t>{1, 2, 3, 4, 5, 8}));
}

TEST_F(OutputTest, ASondeTheNetworkWouldRefuseIsToldOnceAndNotSent) {
  sample.serial = "DFM-xxxxxx";
  sample.kind = "DFM09";
  Seconds(1);
  const DestinationStatus told = output->Status();
  EXPECT_EQ(told.stateText, "not sent: DFM-xxxxxx: serial not accepted for DFM");
  Seconds(30);
  EXPECT_TRUE(Telemetry().empty());
  EXPECT_EQ(output->Status().stateText, "OK");  // the listener's answer, not the sonde again
  EXPECT_EQ(output->Status().sinceUtcMs, told.sinceUtcMs + 1000);
}

TEST_F(OutputTest, AnAnswerThatNeverComesIsGivenUpAndTriedAgain) {
  http->script = {{Answer(200), 0}, {std::nullopt, 0}};
  Seconds(21);
  ASSERT_EQ(Telemetry().size(), 1u);
  Seconds(34);
  EXPECT_EQ(http->abandons, 0);
  Seconds(1);
  EXPECT_EQ(http->abandons, 1);
  EXPECT_EQ(output->Status().stateText, "time-out");
  EXPECT_EQ(output->Status().state, State::kFailing);
  Seconds(6);
  ASSERT_EQ(Telemetry().size(), 2u);  // 5 s later
  EXPECT_EQ(FramesIn(*Telemetry()[1]).size(), 21u);
  Seconds(1);
  EXPECT_EQ(output->Status().stateText, "OK");
  EXPECT_EQ(output->Status().sent, 21u);
}

TEST_F(OutputTest, CleanStopSendsTheQueueInOneLastRequest) {
  Seconds(12);
  const std::int64_t deadline = clock.MonotonicMs() + 5000;
  output->Stop(deadline);
  ASSERT_EQ(Telemetry().size(), 1u);
  EXPECT_EQ(FramesIn(*Telemetry()[0]).size(), 12u);
  EXPECT_EQ(output->Status().sent, 12u);
  EXPECT_LE(clock.MonotonicMs(), deadline);
}

TEST_F(OutputTest, CleanStopWaitsNoLongerThanItsDeadline) {
  struct Case {
    const char* name;
    std::deque<ScriptedAnswer> script;
    int secondsBefore;
    std::uint64_t sent, failed;
  } cases[] = {
      {"the last request never answered", {{Answer(200), 0}, {std::nullopt, 0}}, 12, 0, 12},
      {"a batch under way never answered", {{Answer(200), 0}, {std::nullopt, 0}}, 22, 0, 22},
      {"a batch under way answered in 2 s, then the rest",
       {{Answer(200), 0}, {Answer(200), 2000}},
       22,
       22,
       0},
      {"the last request answered 503", {{Answer(200), 0}, {Answer(503), 0}}, 12, 0, 12},
  };
  for (Case& c : cases) {
    SetUp();
    http->script = c.script;
    Seconds(c.secondsBefore);
    const std::int64_t deadline = clock.MonotonicMs() + 5000;
    output->Stop(deadline);
    EXPECT_LE(clock.MonotonicMs(), deadline) << c.name;
    EXPECT_EQ(output->Status().sent, c.sent) << c.name;
    EXPECT_EQ(output->Status().failed, c.failed) << c.name;
  }
}

TEST_F(OutputTest, OffWithoutRequestsWhenNothingIsDue) {
  decoderAnswered = false;
  Seconds(600);
  EXPECT_EQ(http->requests.size(), 1u);  // the listener record alone
  EXPECT_TRUE(Telemetry().empty());
}

}  // namespace
}  // namespace nimbrix
