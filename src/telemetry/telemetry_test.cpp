#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"

namespace nimbrix {
namespace {

using fake::FakeAutomation;

// A decoder that answers every item, as a healthy one does in flight.
FakeAutomation FlyingDecoder() {
  FakeAutomation decoder;
  decoder.answers = {
      {0, Variant::Text("R3320123")},
      {1, Variant::Real(48.123456)},
      {2, Variant::Real(-71.987654)},
      {3, Variant::Real(1234.5)},
      {4, Variant::Real(90)},
      {5, Variant::Real(10, VT_R4)},
      {6, Variant::Text("2026-12-08T20:41:05")},
      {7, Variant::Text("403.000")},
      {8, Variant::Real(850.25)},
      {9, Variant::Real(-12.34)},
      {10, Variant::Real(51.5)},
      {11, Variant::Text("RS41-SGP")},
      {12, Variant::Real(5.25)},
      {13, Variant::Signed(1234, VT_I2)},
      {14, Variant::Signed(std::int64_t{1} << 40, VT_I8)},
  };
  return decoder;
}

TEST(ReadSondeSample, WholeSampleFromAHealthyDecoder) {
  FakeAutomation decoder = FlyingDecoder();
  SondeSample s;
  ReadSondeSample(decoder, s);

  EXPECT_EQ(decoder.attachedProgIds, std::vector<std::string>{"SondeMonitor.Document"});
  ASSERT_EQ(decoder.calls.size(), 15u);
  for (int i = 0; i < 15; ++i)
    EXPECT_EQ(decoder.calls[i], std::make_pair(std::string("GETSONDEDATA"), i));

  EXPECT_EQ(s.serial, "R3320123");
  EXPECT_EQ(s.latitude, 48.123456);
  EXPECT_EQ(s.longitude, -71.987654);
  EXPECT_EQ(s.course, 270);
  EXPECT_EQ(s.speedKmh, 35.99999904632568359375);  // 10 * 3.6f, exact
  EXPECT_EQ(s.speedKnots, 19);
  EXPECT_EQ(s.timeText, "2026-12-08T20:41:05");
  EXPECT_EQ(s.qrg, "403.000");
  EXPECT_EQ(s.pressure, 850.2);
  EXPECT_EQ(s.temperature, -12.3);
  EXPECT_EQ(s.humidity, 52);
  EXPECT_EQ(s.climb, 5.2);
  EXPECT_EQ(s.frame, 1234);
  EXPECT_EQ(s.item14, std::int64_t{1} << 40);
  EXPECT_EQ(s.item11, "RS41-SGP");

  ReadSondeSample(decoder, s);  // still attached: no second attach
  EXPECT_EQ(decoder.attachedProgIds.size(), 1u);
  EXPECT_EQ(decoder.calls.size(), 30u);
}

// One answer for one item, every other item unanswered.
using Field = double (*)(const SondeSample&);
struct ItemCase {
  int item;
  Variant answer;
  Field field;
  double want;
};

const Field Altitude = [](const SondeSample& s) { return s.altitude; };
const Field Course = [](const SondeSample& s) { return s.course; };
const Field Knots = [](const SondeSample& s) { return s.speedKnots; };
const Field Kmh = [](const SondeSample& s) { return s.speedKmh; };
const Field Pressure = [](const SondeSample& s) { return s.pressure; };
const Field Temperature = [](const SondeSample& s) { return s.temperature; };
const Field Humidity = [](const SondeSample& s) { return s.humidity; };
const Field Climb = [](const SondeSample& s) { return s.climb; };
const Field Frame = [](const SondeSample& s) { return static_cast<double>(s.frame); };
const Field Item14 = [](const SondeSample& s) { return static_cast<double>(s.item14); };

TEST(ReadSondeSample, ConversionPerItem) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const ItemCase cases[] = {
      {3, Variant::Real(1234.567), Altitude, 1234.57},
      {3, Variant::Real(2.675), Altitude, 2.68},  // 2.675 * 100 is 267.5 in double
      {3, Variant::Text("12.5"), Altitude, 0},
      {3, Variant::Real(1.7e308), Altitude, 1.7e308},  // too large to have decimals
      {4, Variant::Real(180), Course, 360},
      {4, Variant::Real(359), Course, 179},
      {4, Variant::Real(-10), Course, 170},
      {4, Variant::Real(0), Course, 180},
      {4, Variant::Real(179.5), Course, 360},  // 359.5, tie to even
      {4, Variant::Real(540), Course, 360},    // turned back only once
      {4, Variant::Real(kNaN), Course, 180},
      {5, Variant::Real(10), Knots, 19},
      {5, Variant::Real(-10), Knots, -19},
      {5, Variant::Real(1e308), Kmh, 0},
      {5, Variant::Real(1e308), Knots, 0},
      {8, Variant::Real(10.25), Pressure, 10.2},
      {8, Variant::Signed(1013, VT_I2), Pressure, 1013},
      {9, Variant::Real(150), Temperature, -99},
      {9, Variant::Real(-120), Temperature, -99},
      {9, Variant::Real(98.96), Temperature, 99},
      {9, Variant::Real(-99), Temperature, -99},
      {9, Variant::Real(99.01), Temperature, -99},
      {9, Variant::Empty(), Temperature, 0},
      {10, Variant::Real(50.5), Humidity, 50},
      {10, Variant::Real(51.5), Humidity, 52},
      {10, Variant::Real(101), Humidity, 0},
      {10, Variant::Real(-1), Humidity, 0},
      {10, Variant::Real(100), Humidity, 100},
      {12, Variant::Real(-3.25), Climb, -3.2},
      {12, Variant::Unsigned(5, VT_UI1), Climb, 5},
      {13, Variant::Signed(40000), Frame, 40000},
      {13, Variant::Signed(65536), Frame, 65536},
      {13, Variant::Signed(1110632994, VT_I4), Frame, 1110632994},
      {13, Variant::Signed(4294967296LL, VT_I8), Frame, 0},
      {13, Variant::Real(12.5), Frame, 12},
      {14, Variant::Real(2.5), Item14, 2},
      {14, Variant::Signed(-7, VT_CY), Item14, 0},
  };
  int row = 0;
  for (const auto& c : cases) {
    FakeAutomation decoder;
    decoder.answers[c.item] = c.answer;
    SondeSample s;
    ReadSondeSample(decoder, s);
    EXPECT_EQ(c.field(s), c.want) << "row " << row++ << ", item " << c.item;
  }
}

// A reading the decoder did not give is told apart from one it gave as 0 (or as -99).
TEST(ReadSondeSample, WhichReadingsTheDecoderGave) {
  using Given = bool GivenReadings::*;
  const Given kAll[] = {&GivenReadings::climb, &GivenReadings::pressure,
                        &GivenReadings::temperature, &GivenReadings::humidity,
                        &GivenReadings::frame};
  {
    FakeAutomation decoder = FlyingDecoder();
    SondeSample s;
    ReadSondeSample(decoder, s);
    for (Given g : kAll) EXPECT_TRUE(s.given.*g);
  }
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    int item;
    Variant answer;
    Given given;
    bool want;
  } cases[] = {
      {"pressure 0", 8, Variant::Real(0), &GivenReadings::pressure, false},
      {"pressure rounding to 0", 8, Variant::Real(0.04), &GivenReadings::pressure, false},
      {"pressure .1", 8, Variant::Real(0.06), &GivenReadings::pressure, true},
      {"pressure none", 8, Variant::Empty(), &GivenReadings::pressure, false},
      {"temperature -99", 9, Variant::Real(-99), &GivenReadings::temperature, true},
      {"temperature 0", 9, Variant::Real(0), &GivenReadings::temperature, true},
      {"temperature 150", 9, Variant::Real(150), &GivenReadings::temperature, false},
      {"temperature -999", 9, Variant::Real(-999), &GivenReadings::temperature, false},
      {"temperature as text", 9, Variant::Text("12"), &GivenReadings::temperature, false},
      {"temperature NaN", 9, Variant::Real(kNaN), &GivenReadings::temperature, false},
      {"humidity 0", 10, Variant::Real(0), &GivenReadings::humidity, true},
      {"humidity 100", 10, Variant::Real(100), &GivenReadings::humidity, true},
      {"humidity -1", 10, Variant::Real(-1), &GivenReadings::humidity, false},
      {"humidity 101", 10, Variant::Real(101), &GivenReadings::humidity, false},
      {"humidity none", 10, Variant::Empty(), &GivenReadings::humidity, false},
      {"climb 0", 12, Variant::Real(0), &GivenReadings::climb, true},
      {"climb as I2", 12, Variant::Signed(-3, VT_I2), &GivenReadings::climb, true},
      {"climb none", 12, Variant::Empty(), &GivenReadings::climb, false},
      {"frame 0", 13, Variant::Signed(0), &GivenReadings::frame, true},
      {"frame as text", 13, Variant::Text("5"), &GivenReadings::frame, false},
      {"frame none", 13, Variant::Empty(), &GivenReadings::frame, false},
  };
  for (const auto& c : cases) {
    FakeAutomation decoder = FlyingDecoder();
    decoder.answers[c.item] = c.answer;
    SondeSample s;
    ReadSondeSample(decoder, s);
    EXPECT_EQ(s.given.*c.given, c.want) << c.name;
    for (Given g : kAll) {
      EXPECT_TRUE(g == c.given || s.given.*g) << c.name;
    }
  }
  // A failed request, and a decoder that has gone, give nothing.
  FakeAutomation failing = FlyingDecoder();
  failing.outcomes[9] = CallOutcome::kFailed;
  SondeSample s;
  ReadSondeSample(failing, s);
  EXPECT_FALSE(s.given.temperature);
  EXPECT_EQ(s.temperature, 0);
  FakeAutomation gone;
  gone.available = false;
  ReadSondeSample(gone, s);
  for (Given g : kAll) EXPECT_FALSE(s.given.*g);
}

TEST(ReadSondeSample, TextItemAnsweredWithANumberIsEmpty) {
  FakeAutomation decoder;
  for (int item : {0, 6, 7}) decoder.answers[item] = Variant::Real(12);
  SondeSample s;
  ReadSondeSample(decoder, s);
  EXPECT_EQ(s.serial, "");
  EXPECT_EQ(s.timeText, "");
  EXPECT_EQ(s.qrg, "");
}

TEST(ReadSondeSample, DecoderGoneGivesZerosWithoutRequests) {
  FakeAutomation decoder;
  decoder.available = false;
  SondeSample s;
  s.serial = "left over";
  s.frame = 7;
  s.temperature = 20;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    ReadSondeSample(decoder, s);
    EXPECT_EQ(s.latitude, 0);
    EXPECT_EQ(s.timeText, "");
    EXPECT_EQ(decoder.attachedProgIds.size(), static_cast<std::size_t>(cycle));
  }
  EXPECT_TRUE(decoder.calls.empty());
  EXPECT_EQ(s.serial, "");
  EXPECT_EQ(s.frame, 0);
  EXPECT_EQ(s.temperature, 0);
  EXPECT_EQ(s.course, 180);
  EXPECT_EQ(s.longitude, 0);
  EXPECT_EQ(s.altitude, 0);
}

TEST(ReadSondeSample, UnresponsiveCallEndsTheCycleAndTheNextReattaches) {
  FakeAutomation decoder = FlyingDecoder();
  decoder.outcomes[3] = CallOutcome::kUnresponsive;
  SondeSample s;
  ReadSondeSample(decoder, s);
  EXPECT_EQ(decoder.calls.size(), 4u);  // items 0..3, nothing after the time-out
  EXPECT_EQ(s.serial, "R3320123");
  EXPECT_EQ(s.latitude, 48.123456);
  EXPECT_EQ(s.altitude, 0);
  EXPECT_EQ(s.timeText, "");
  EXPECT_EQ(s.course, 180);
  EXPECT_EQ(s.frame, 0);
  EXPECT_FALSE(decoder.IsAttached());

  decoder.outcomes.clear();
  decoder.calls.clear();
  ReadSondeSample(decoder, s);
  EXPECT_EQ(decoder.attachedProgIds.size(), 2u);
  EXPECT_EQ(decoder.calls.size(), 15u);
  EXPECT_EQ(s.altitude, 1234.5);
}

TEST(ReadSondeSample, FailedCallReadsAsNothingAndGoesOn) {
  FakeAutomation decoder = FlyingDecoder();
  decoder.outcomes[3] = CallOutcome::kFailed;
  decoder.outcomes[6] = CallOutcome::kFailed;
  SondeSample s;
  ReadSondeSample(decoder, s);
  EXPECT_EQ(decoder.calls.size(), 15u);
  EXPECT_EQ(decoder.attachedProgIds.size(), 1u);
  EXPECT_EQ(s.altitude, 0);
  EXPECT_EQ(s.timeText, "");
  EXPECT_EQ(s.longitude, -71.987654);
  EXPECT_EQ(s.frame, 1234);
}

// Everything a cycle shows or sends of a sample, as one text to compare.
std::string Whole(const SondeSample& s) {
  std::ostringstream out;
  out.precision(17);
  out << s.serial << '|' << s.latitude << '|' << s.longitude << '|' << s.altitude << '|' << s.course
      << '|' << s.speedKmh << '|' << s.speedKnots << '|' << s.timeText << '|' << s.qrg << '|'
      << s.pressure << '|' << s.temperature << '|' << s.humidity << '|' << s.climb << '|' << s.frame
      << '|' << s.item14 << '|' << s.item11 << '|' << s.given.climb << s.given.pressure
      << s.given.temperature << s.given.humidity << s.given.frame;
  return out.str();
}

TEST(ReadSondeSample, OneRoundAsksTheFifteenItemsInOrderOnceEach) {
  FakeAutomation decoder = FlyingDecoder();
  decoder.inFlight = true;
  SondeSample s;
  for (int cycle = 1; cycle <= 2; ++cycle) {
    EXPECT_TRUE(ReadSondeSample(decoder, s));
    ASSERT_EQ(decoder.rounds.size(), static_cast<std::size_t>(cycle));
    EXPECT_EQ(decoder.rounds.back(),
              (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
  }
  ASSERT_EQ(decoder.calls.size(), 30u);
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(decoder.calls[i], std::make_pair(std::string("GETSONDEDATA"), i % 15));
  EXPECT_EQ(decoder.attachedProgIds.size(), 1u);
  FakeAutomation oneByOne = FlyingDecoder();
  SondeSample today;
  ReadSondeSample(oneByOne, today);
  EXPECT_EQ(Whole(s), Whole(today));
}

// A decoder that answers late, never, or only some items reads exactly as it did when the
// items were asked one after the other (which a decoder left in `late` or kUnresponsive never
// answers within the time-out either): the same values, the same "answered", and the decoder
// detached after a round it left unanswered, so the next cycle attaches again.
TEST(ReadSondeSample, RoundInFlightReadsAsItemByItem) {
  const struct {
    const char* name;
    std::set<int> late;
    std::set<int> never;
    std::set<int> failed;
  } cases[] = {
      {"all answered", {}, {}, {}},
      {"item 3 late", {3}, {}, {}},
      {"item 0 never", {}, {0}, {}},
      {"item 14 never", {}, {14}, {}},
      {"items 7 and 12 late, later ones answered", {7, 12}, {}, {}},
      {"some failed, one late", {9}, {}, {2, 5}},
      {"some failed only", {}, {}, {0, 6, 13}},
      {"all never", {}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {}},
  };
  for (const auto& c : cases) {
    FakeAutomation round = FlyingDecoder();
    round.inFlight = true;
    round.late = c.late;
    FakeAutomation itemByItem = FlyingDecoder();
    for (int item : c.late) itemByItem.outcomes[item] = CallOutcome::kUnresponsive;
    for (int item : c.never) {
      round.outcomes[item] = CallOutcome::kUnresponsive;
      itemByItem.outcomes[item] = CallOutcome::kUnresponsive;
    }
    for (int item : c.failed) {
      round.outcomes[item] = CallOutcome::kFailed;
      itemByItem.outcomes[item] = CallOutcome::kFailed;
    }
    SondeSample read, today;
    today.serial = read.serial = "left over";
    const bool answered = ReadSondeSample(round, read);
    EXPECT_EQ(answered, ReadSondeSample(itemByItem, today)) << c.name;
    EXPECT_EQ(answered, c.late.empty() && c.never.empty()) << c.name;
    EXPECT_EQ(Whole(read), Whole(today)) << c.name;
    EXPECT_EQ(round.IsAttached(), itemByItem.IsAttached()) << c.name;
    EXPECT_EQ(round.rounds.size(), 1u) << c.name;
    EXPECT_EQ(round.calls.size(), 15u) << c.name;  // all in flight, once each
    EXPECT_LE(round.timeouts, 1) << c.name;        // however many went unanswered
    EXPECT_EQ(round.lateAnswersDropped, static_cast<int>(c.late.size())) << c.name;
  }
}

// A frozen decoder costs one time-out a cycle, not one per item, and is attached and read
// again in full as soon as it answers.
TEST(ReadSondeSample, FrozenDecoderCostsOneTimeOutPerRound) {
  fake::FakeClock clock;
  FakeAutomation decoder = FlyingDecoder();
  decoder.inFlight = true;
  decoder.clock = &clock;
  for (int item = 0; item < 15; ++item) decoder.late.insert(item);
  SondeSample s;
  for (int cycle = 1; cycle <= 3; ++cycle) {
    EXPECT_FALSE(ReadSondeSample(decoder, s));
    EXPECT_EQ(clock.elapsedMs(), 250 * cycle);
    EXPECT_EQ(s.serial, "");
  }
  EXPECT_EQ(decoder.attachedProgIds.size(), 3u);
  decoder.late.clear();
  EXPECT_TRUE(ReadSondeSample(decoder, s));
  EXPECT_EQ(clock.elapsedMs(), 750);
  EXPECT_EQ(decoder.attachedProgIds.size(), 4u);
  EXPECT_EQ(s.serial, "R3320123");
  EXPECT_EQ(s.item14, std::int64_t{1} << 40);
}

TEST(ReadSondeSample, HostileNumbersStayFinite) {
  FakeAutomation decoder;
  for (int item = 1; item <= 14; ++item) {
    decoder.answers[item] =
        Variant::Real(item % 2 ? 1.7e308 : -std::numeric_limits<double>::infinity());
  }
  SondeSample s;
  ReadSondeSample(decoder, s);
  for (double v : {s.latitude, s.longitude, s.altitude, s.course, s.speedKmh, s.speedKnots,
                   s.pressure, s.temperature, s.humidity, s.climb}) {
    EXPECT_TRUE(std::isfinite(v)) << v;
  }
}

}  // namespace
}  // namespace nimbrix
