#include "outputs/payload_summary.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <memory>
#include <string>

#include "outputs/frame_news.h"
#include "outputs/udp_summary.h"
#include "platform/fake/fake_socket.h"
#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeClock;
using fake::FakeNameResolver;
using fake::FakeUdpSocket;

// 2026-12-09 20:41:05 UTC
constexpr std::int64_t kUtcMs = 1796848865000;

SondeSample Flying() {
  SondeSample s;
  s.serial = "T1234567";
  s.latitude = 48.123456;
  s.longitude = 11.516667;
  s.altitude = 12345.67;
  s.course = 270;
  s.speedKmh = 36.5;
  s.timeText = "2026-12-09T20:41:03";
  s.qrg = "403.5";
  s.temperature = -45.3;
  s.humidity = 12;
  s.frame = 4321;
  s.typeOrAprsName = "RS41-SGP";
  s.given.temperature = s.given.humidity = s.given.frame = true;
  return s;
}

rapidjson::Document Parsed(const std::string& text) {
  rapidjson::Document d;
  d.Parse(text.c_str(), text.size());
  EXPECT_FALSE(d.HasParseError()) << text;
  EXPECT_TRUE(d.IsObject()) << text;
  return d;
}

TEST(PayloadSummary, EveryFieldFromTheDecodersValues) {
  const auto d = Parsed(PayloadSummaryJson(Flying(), "DL1ABC-9", kUtcMs));
  EXPECT_STREQ(d["type"].GetString(), "PAYLOAD_SUMMARY");
  EXPECT_STREQ(d["callsign"].GetString(), "T1234567");
  EXPECT_DOUBLE_EQ(d["latitude"].GetDouble(), 48.123456);
  EXPECT_DOUBLE_EQ(d["longitude"].GetDouble(), 11.516667);
  EXPECT_DOUBLE_EQ(d["altitude"].GetDouble(), 12345.67);
  EXPECT_DOUBLE_EQ(d["speed"].GetDouble(), 36.5);
  EXPECT_DOUBLE_EQ(d["heading"].GetDouble(), 270);
  EXPECT_STREQ(d["time"].GetString(), "20:41:03");
  EXPECT_STREQ(d["comment"].GetString(), "Radiosonde");
  EXPECT_STREQ(d["model"].GetString(), "RS41-SGP");
  EXPECT_STREQ(d["freq"].GetString(), "403.500 MHz");
  EXPECT_DOUBLE_EQ(d["temp"].GetDouble(), -45.3);
  EXPECT_DOUBLE_EQ(d["humidity"].GetDouble(), 12);
  EXPECT_EQ(d["frame"].GetInt(), 4321);
  EXPECT_STREQ(d["station"].GetString(), "DL1ABC-9");
}

TEST(PayloadSummary, ReadingsNotGivenAreLeftOutAndTheTimeFallsBackToTheClock) {
  SondeSample s = Flying();
  s.given = {};
  s.typeOrAprsName.clear();
  s.qrg = "";
  s.timeText = "garbage";
  const auto d = Parsed(PayloadSummaryJson(s, "DL1ABC-9", kUtcMs));
  for (const char* key : {"temp", "humidity", "frame", "model", "freq"}) {
    EXPECT_FALSE(d.HasMember(key)) << key;
  }
  EXPECT_STREQ(d["time"].GetString(), "20:41:05");
}

// Texts from outside: quotes, control bytes, bytes that are no UTF-8, and length.
TEST(PayloadSummary, HostileTextsStayOneValidSmallObject) {
  SondeSample s = Flying();
  s.serial = "T1\"},{\"x\":\r\n\x1b[2J\xff\xfe" + std::string(5000, 'A');
  s.typeOrAprsName = std::string(3000, '\\');
  s.latitude = 1e308 * 10;  // not finite: no position, but the text must still be JSON
  const std::string text = PayloadSummaryJson(s, std::string(2000, '"'), kUtcMs);
  EXPECT_LT(text.size(), 1400u);
  const auto d = Parsed(text);
  EXPECT_EQ(std::string(d["callsign"].GetString()).rfind("T1\"},{\"x\":[2J", 0), 0u);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_FALSE(HasSummaryPosition(s, true));
}

TEST(PayloadSummary, APositionIsOneOnlyWhenTheDecoderGaveOne) {
  struct Case {
    double lat, lon;
    bool answered, expected;
  };
  const Case cases[] = {
      {48.1, 11.5, true, true}, {48.1, 11.5, false, false}, {0, 11.5, true, false},
      {48.1, 0, true, false},   {91, 11.5, true, false},    {-33.9, -70.6, true, true},
  };
  for (const auto& c : cases) {
    SondeSample s;
    s.latitude = c.lat;
    s.longitude = c.lon;
    EXPECT_EQ(HasSummaryPosition(s, c.answered), c.expected) << c.lat << "," << c.lon;
  }
}

struct UdpRig {
  UdpRig() {
    auto owned = std::make_unique<FakeUdpSocket>();
    socket = owned.get();
    summary =
        std::make_unique<UdpSummary>(UdpSummarySetup{"chase,55673", "chase", 55673, "DL1ABC-9"},
                                     std::move(owned), resolver, clock);
    resolver->answers["chase"] = {0, "255.255.255.255"};
  }
  void Cycle(const SondeSample& s, bool answered = true) {
    const std::vector<std::string> none;
    const std::int64_t before = clock.MonotonicMs();
    const std::vector<SondeFrame> frames = news.Mark(s, answered, {});
    summary->Cycle(CycleFacts{s, answered, clock.UtcMs(), before, none, frames});
    EXPECT_EQ(clock.MonotonicMs(), before);
    clock.Advance(1000);
  }
  FakeClock clock;
  std::shared_ptr<FakeNameResolver> resolver = std::make_shared<FakeNameResolver>(clock);
  FakeUdpSocket* socket = nullptr;
  std::unique_ptr<UdpSummary> summary;
  FrameNews news;  // which frames are new, as the station tells its outputs
};

TEST(UdpSummary, OneDatagramPerNewFrameWithAPosition) {
  UdpRig rig;
  SondeSample s = Flying();
  rig.Cycle(s);
  rig.Cycle(s);  // the same frame again: nothing
  s.altitude += 5;
  rig.Cycle(s);
  rig.Cycle(s, false);  // the decoder did not answer
  SondeSample none = s;
  none.latitude = 0;
  none.altitude += 5;
  rig.Cycle(none);
  ASSERT_EQ(rig.socket->sent.size(), 2u);
  EXPECT_EQ(rig.socket->sent[0].to, "255.255.255.255:55673");
  EXPECT_DOUBLE_EQ(Parsed(rig.socket->sent[1].bytes)["altitude"].GetDouble(), 12350.67);
  EXPECT_EQ(rig.summary->Status().kind, "UDP");
  EXPECT_EQ(rig.summary->Status().state, DestinationStatus::State::kUp);
  EXPECT_EQ(rig.summary->Status().sent, 2u);
}

TEST(UdpSummary, ANameNotFoundIsRetriedAndFramesMeanwhileCounted) {
  UdpRig rig;
  rig.resolver->answers["chase"] = {FakeNameResolver::kNever, ""};
  SondeSample s = Flying();
  for (int i = 0; i < 12; ++i) {
    s.altitude += 1;
    rig.Cycle(s);
  }
  EXPECT_EQ(rig.summary->Status().state, DestinationStatus::State::kFailing);
  // Each frame but the newest, which waits a little for the address.
  EXPECT_EQ(rig.summary->Status().failed, 11u);
  rig.resolver->answers["chase"] = {0, "192.0.2.9"};
  for (int i = 0; i < 6; ++i) {
    s.altitude += 1;
    rig.Cycle(s);
  }
  ASSERT_FALSE(rig.socket->sent.empty());
  EXPECT_EQ(rig.socket->sent.back().to, "192.0.2.9:55673");
  EXPECT_EQ(rig.resolver->started.size(), 2u);
}

// A frame made while the address is looked up goes out as soon as it is known, if still fresh:
// a decoder that gives one frame and then the same again is not left without a summary.
TEST(UdpSummary, TheFrameOfTheLookUpGoesOutOnceTheAddressIsKnown) {
  struct Case {
    int lookupMs;
    std::size_t sent, failed;
  };
  const Case cases[] = {{1500, 1, 0}, {2500, 1, 0}, {UdpSummary::kHeldFreshMs + 1500, 0, 1}};
  for (const Case& c : cases) {
    UdpRig rig;
    rig.resolver->answers["chase"] = {c.lookupMs, "192.0.2.9"};
    const SondeSample s = Flying();
    for (int i = 0; i < 8; ++i) rig.Cycle(s);  // the same frame every second
    EXPECT_EQ(rig.socket->sent.size(), c.sent) << c.lookupMs;
    EXPECT_EQ(rig.summary->Status().failed, c.failed) << c.lookupMs;
  }
}

TEST(UdpSummary, AFullBufferDropsThatDatagramOnly) {
  UdpRig rig;
  rig.socket->sendResults = {SocketStatus::kWouldBlock};
  SondeSample s = Flying();
  rig.Cycle(s);
  s.altitude += 1;
  rig.Cycle(s);
  EXPECT_EQ(rig.socket->sent.size(), 1u);
  EXPECT_EQ(rig.summary->Status().failed, 1u);
  EXPECT_EQ(rig.summary->Status().state, DestinationStatus::State::kUp);
}

}  // namespace
}  // namespace nimbrix
