#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <optional>
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
      {kSerial, Variant::Text("R3320123")},
      {kLatitude, Variant::Real(48.123456)},
      {kLongitude, Variant::Real(-71.987654)},
      {kAltitude, Variant::Real(1234.5)},
      {kHeading, Variant::Real(90)},
      {kSpeed, Variant::Real(10, VT_R4)},
      {kTimeText, Variant::Text("2026-12-08T20:41:05")},
      {kQrg, Variant::Text("403.000")},
      {kPressure, Variant::Real(850.25)},
      {kTemperature, Variant::Real(-12.34)},
      {kHumidity, Variant::Real(51.5)},
      {kTypeOrAprsName, Variant::Text("RS41-SGP")},
      {kClimb, Variant::Real(5.25)},
      {kFrame, Variant::Signed(1234, VT_I2)},
      {kTimeMs, Variant::Signed(std::int64_t{1} << 40, VT_I8)},
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
  EXPECT_EQ(s.timeMs, std::int64_t{1} << 40);
  EXPECT_EQ(s.typeOrAprsName, "RS41-SGP");

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
const Field Item14 = [](const SondeSample& s) { return static_cast<double>(s.timeMs); };

TEST(ReadSondeSample, ConversionPerItem) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const ItemCase cases[] = {
      {kAltitude, Variant::Real(1234.567), Altitude, 1234.57},
      {kAltitude, Variant::Real(2.675), Altitude, 2.68},  // 2.675 * 100 is 267.5 in double
      {kAltitude, Variant::Text("12.5"), Altitude, 0},
      {kAltitude, Variant::Real(1.7e308), Altitude, 1.7e308},  // too large to have decimals
      {kHeading, Variant::Real(180), Course, 360},
      {kHeading, Variant::Real(359), Course, 179},
      {kHeading, Variant::Real(-10), Course, 170},
      {kHeading, Variant::Real(0), Course, 180},
      {kHeading, Variant::Real(179.5), Course, 360},  // 359.5, tie to even
      {kHeading, Variant::Real(540), Course, 360},    // turned back only once
      {kHeading, Variant::Real(kNaN), Course, 180},
      {kSpeed, Variant::Real(10), Knots, 19},
      {kSpeed, Variant::Real(-10), Knots, -19},
      {kSpeed, Variant::Real(1e308), Kmh, 0},
      {kSpeed, Variant::Real(1e308), Knots, 0},
      {kPressure, Variant::Real(10.25), Pressure, 10.2},
      {kPressure, Variant::Signed(1013, VT_I2), Pressure, 1013},
      {kTemperature, Variant::Real(150), Temperature, -99},
      {kTemperature, Variant::Real(-120), Temperature, -99},
      {kTemperature, Variant::Real(98.96), Temperature, 99},
      {kTemperature, Variant::Real(-99), Temperature, -99},
      {kTemperature, Variant::Real(99.01), Temperature, -99},
      {kTemperature, Variant::Empty(), Temperature, 0},
      {kHumidity, Variant::Real(50.5), Humidity, 50},
      {kHumidity, Variant::Real(51.5), Humidity, 52},
      {kHumidity, Variant::Real(101), Humidity, 0},
      {kHumidity, Variant::Real(-1), Humidity, 0},
      {kHumidity, Variant::Real(100), Humidity, 100},
      {kClimb, Variant::Real(-3.25), Climb, -3.2},
      {kClimb, Variant::Unsigned(5, VT_UI1), Climb, 5},
      {kFrame, Variant::Signed(40000), Frame, 40000},
      {kFrame, Variant::Signed(65536), Frame, 65536},
      {kFrame, Variant::Signed(1110632994, VT_I4), Frame, 1110632994},
      {kFrame, Variant::Signed(4294967296LL, VT_I8), Frame, 0},
      {kFrame, Variant::Real(12.5), Frame, 12},
      {kTimeMs, Variant::Real(2.5), Item14, 2},
      {kTimeMs, Variant::Signed(-7, VT_CY), Item14, 0},
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
      {"pressure 0", kPressure, Variant::Real(0), &GivenReadings::pressure, false},
      {"pressure rounding to 0", kPressure, Variant::Real(0.04), &GivenReadings::pressure, false},
      {"pressure .1", kPressure, Variant::Real(0.06), &GivenReadings::pressure, true},
      {"pressure none", kPressure, Variant::Empty(), &GivenReadings::pressure, false},
      {"temperature -99", kTemperature, Variant::Real(-99), &GivenReadings::temperature, true},
      {"temperature 0", kTemperature, Variant::Real(0), &GivenReadings::temperature, true},
      {"temperature 150", kTemperature, Variant::Real(150), &GivenReadings::temperature, false},
      {"temperature -999", kTemperature, Variant::Real(-999), &GivenReadings::temperature, false},
      {"temperature as text", kTemperature, Variant::Text("12"), &GivenReadings::temperature,
       false},
      {"temperature NaN", kTemperature, Variant::Real(kNaN), &GivenReadings::temperature, false},
      {"humidity 0", kHumidity, Variant::Real(0), &GivenReadings::humidity, true},
      {"humidity 100", kHumidity, Variant::Real(100), &GivenReadings::humidity, true},
      {"humidity -1", kHumidity, Variant::Real(-1), &GivenReadings::humidity, false},
      {"humidity 101", kHumidity, Variant::Real(101), &GivenReadings::humidity, false},
      {"humidity none", kHumidity, Variant::Empty(), &GivenReadings::humidity, false},
      {"climb 0", kClimb, Variant::Real(0), &GivenReadings::climb, true},
      {"climb as I2", kClimb, Variant::Signed(-3, VT_I2), &GivenReadings::climb, true},
      {"climb none", kClimb, Variant::Empty(), &GivenReadings::climb, false},
      {"frame 0", kFrame, Variant::Signed(0), &GivenReadings::frame, true},
      {"frame as text", kFrame, Variant::Text("5"), &GivenReadings::frame, false},
      {"frame none", kFrame, Variant::Empty(), &GivenReadings::frame, false},
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
  failing.outcomes[kTemperature] = CallOutcome::kFailed;
  SondeSample s;
  ReadSondeSample(failing, s);
  EXPECT_FALSE(s.given.temperature);
  EXPECT_EQ(s.temperature, 0);
  FakeAutomation gone;
  gone.available = false;
  ReadSondeSample(gone, s);
  for (Given g : kAll) EXPECT_FALSE(s.given.*g);
}

// Speed, course and altitude are given only as numbers; a course of 0 is APRS's "unknown".
TEST(ReadSondeSample, WhetherSpeedCourseAndAltitudeWereGiven) {
  using Given = bool GivenReadings::*;
  const struct {
    const char* name;
    int item;
    Variant answer;
    Given given;
    bool want;
  } cases[] = {
      {"speed 0", kSpeed, Variant::Real(0), &GivenReadings::speed, true},
      {"speed as I4", kSpeed, Variant::Signed(7), &GivenReadings::speed, true},
      {"speed none", kSpeed, Variant::Empty(), &GivenReadings::speed, false},
      {"speed as text", kSpeed, Variant::Text("7"), &GivenReadings::speed, false},
      {"heading north", kHeading, Variant::Real(180), &GivenReadings::course, true},
      {"heading south", kHeading, Variant::Real(0), &GivenReadings::course, true},
      {"no heading", kHeading, Variant::Real(-180), &GivenReadings::course, false},
      {"heading none", kHeading, Variant::Empty(), &GivenReadings::course, false},
      {"altitude 0", kAltitude, Variant::Real(0), &GivenReadings::altitude, true},
      {"altitude none", kAltitude, Variant::Empty(), &GivenReadings::altitude, false},
  };
  for (const auto& c : cases) {
    FakeAutomation decoder = FlyingDecoder();
    decoder.answers[c.item] = c.answer;
    SondeSample s;
    ReadSondeSample(decoder, s);
    EXPECT_EQ(s.given.*c.given, c.want) << c.name;
  }
  FakeAutomation failing = FlyingDecoder();
  for (const int item : {kSpeed, kAltitude, kHeading})
    failing.outcomes[item] = CallOutcome::kFailed;
  SondeSample s;
  ReadSondeSample(failing, s);
  EXPECT_FALSE(s.given.speed);
  EXPECT_FALSE(s.given.altitude);
  EXPECT_FALSE(s.given.course);
  EXPECT_EQ(s.course, 180);  // what the station has always sent then
}

// The extension is asked only with the feed on, after the 15 items; without it the calls are
// exactly those of the 15 items.
TEST(ReadSondeSample, TheExtensionIsAskedOnlyWhenWanted) {
  FakeAutomation decoder = FlyingDecoder();
  decoder.answers[kKind] = Variant::Text("RS41-SGM");
  decoder.answers[kSatellites] = Variant::Signed(9);
  decoder.answers[kBatteryVolts] = Variant::Real(2.9);
  SondeSample s;
  ReadSondeSample(decoder, s);
  ASSERT_EQ(decoder.calls.size(), 15u);
  EXPECT_EQ(s.kind, "RS41-SGP");  // item 11
  EXPECT_FALSE(s.satellites);
  EXPECT_FALSE(s.batteryVolts);

  decoder.calls.clear();
  EXPECT_TRUE(ReadSondeSample(decoder, s, true));
  ASSERT_EQ(decoder.calls.size(), 18u);
  for (int i = 0; i < 18; ++i) EXPECT_EQ(decoder.calls[i].second, i);
  EXPECT_EQ(s.kind, "RS41-SGM");
  EXPECT_EQ(s.satellites, 9);
  EXPECT_EQ(s.batteryVolts, 2.9);
  EXPECT_EQ(s.serial, "R3320123");
}

// A decoder without the extension answers an error for 15 to 17: still a decoder that answered,
// and the sample is what the 15 items give.
TEST(ReadSondeSample, ADecoderWithoutTheExtensionStillWorks) {
  FakeAutomation decoder = FlyingDecoder();
  SondeSample with, without;
  EXPECT_TRUE(ReadSondeSample(decoder, with, true));
  ReadSondeSample(decoder, without);
  EXPECT_EQ(with.kind, "RS41-SGP");
  EXPECT_FALSE(with.satellites);
  EXPECT_FALSE(with.batteryVolts);
  EXPECT_EQ(with.serial, without.serial);
  EXPECT_EQ(with.frame, without.frame);
  EXPECT_EQ(with.timeMs, without.timeMs);

  // A decoder that stops answering within the extension is lost, as within the 15 items.
  decoder.outcomes[kSatellites] = CallOutcome::kUnresponsive;
  EXPECT_FALSE(ReadSondeSample(decoder, with, true));
  EXPECT_EQ(decoder.calls.back().second, kSatellites);
}

TEST(ReadSondeSample, KindSatellitesAndBatteryFromTheirItems) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::map<int, Variant> answers;  // over a decoder giving item 11 "RS41-SGP"
    std::string kind;
    std::optional<int> satellites;
    std::optional<double> volts;
  } cases[] = {
      {"all",
       {{kKind, Variant::Text("DFM09")},
        {kSatellites, Variant::Signed(12)},
        {kBatteryVolts, Variant::Real(3.1)}},
       "DFM09",
       12,
       3.1},
      {"empty kind: item 11", {{kKind, Variant::Text("")}}, "RS41-SGP", {}, {}},
      {"kind as number: item 11", {{kKind, Variant::Real(41)}}, "RS41-SGP", {}, {}},
      {"M10 name in 11, no kind", {{kTypeOrAprsName, Variant::Text("ME8C60C1F")}}, "", {}, {}},
      {"M10 name in 11, kind 15",
       {{kTypeOrAprsName, Variant::Text("ME8C60C1F")}, {kKind, Variant::Text("M10")}},
       "M10",
       {},
       {}},
      {"nine but not ME", {{kTypeOrAprsName, Variant::Text("RS41-SGPX")}}, "RS41-SGPX", {}, {}},
      {"ME but not alnum", {{kTypeOrAprsName, Variant::Text("ME8C60C1-")}}, "ME8C60C1-", {}, {}},
      {"sats as real", {{kSatellites, Variant::Real(8.4)}}, "RS41-SGP", 8, {}},
      {"sats 0 and 99", {{kSatellites, Variant::Signed(0)}}, "RS41-SGP", 0, {}},
      {"sats 100", {{kSatellites, Variant::Signed(100)}}, "RS41-SGP", {}, {}},
      {"sats -1", {{kSatellites, Variant::Signed(-1)}}, "RS41-SGP", {}, {}},
      {"sats huge", {{kSatellites, Variant::Real(1e300)}}, "RS41-SGP", {}, {}},
      {"sats NaN", {{kSatellites, Variant::Real(kNaN)}}, "RS41-SGP", {}, {}},
      {"sats text", {{kSatellites, Variant::Text("9")}}, "RS41-SGP", {}, {}},
      {"volts 0", {{kBatteryVolts, Variant::Real(0)}}, "RS41-SGP", {}, 0.0},
      {"volts -1", {{kBatteryVolts, Variant::Real(-1)}}, "RS41-SGP", {}, {}},
      {"volts inf",
       {{kBatteryVolts, Variant::Real(std::numeric_limits<double>::infinity())}},
       "RS41-SGP",
       {},
       {}},
      {"volts empty", {{kBatteryVolts, Variant::Empty()}}, "RS41-SGP", {}, {}},
  };
  for (const auto& c : cases) {
    FakeAutomation decoder = FlyingDecoder();
    for (const auto& [item, answer] : c.answers) decoder.answers[item] = answer;
    SondeSample s;
    ReadSondeSample(decoder, s, true);
    EXPECT_EQ(s.kind, c.kind) << c.name;
    EXPECT_EQ(s.satellites, c.satellites) << c.name;
    EXPECT_EQ(s.batteryVolts, c.volts) << c.name;
  }
}

TEST(ReadSondeSample, TextItemAnsweredWithANumberIsEmpty) {
  FakeAutomation decoder;
  for (int item : {kSerial, kTimeText, kQrg}) decoder.answers[item] = Variant::Real(12);
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
  decoder.outcomes[kAltitude] = CallOutcome::kUnresponsive;
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
  decoder.outcomes[kAltitude] = CallOutcome::kFailed;
  decoder.outcomes[kTimeText] = CallOutcome::kFailed;
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
      << '|' << s.timeMs << '|' << s.typeOrAprsName << '|' << s.given.climb << s.given.pressure
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
  EXPECT_EQ(s.timeMs, std::int64_t{1} << 40);
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

// Each sonde of the decoder's list becomes a sample exactly as the round's answers would: the
// same conversions, the extension included. Entries without a serial and entries older than ten
// minutes are left out; a decoder without the list has none (nullopt), detached or not.
TEST(ReadSondeList, EverySondeHeardAsASample) {
  FakeAutomation decoder = FlyingDecoder();
  decoder.answers[kKind] = Variant::Text("RS41-SG");
  SondeSample followed;
  ReadSondeSample(decoder, followed, true);
  std::vector<CallResult> items;
  for (int i = 0; i < kDecoderItemCount; ++i) {
    const auto it = decoder.answers.find(i);
    items.push_back(it == decoder.answers.end() ? CallResult{Variant::Empty(), CallOutcome::kOk}
                                                : CallResult{it->second, CallOutcome::kOk});
  }
  std::vector<CallResult> other = items;
  other[kSerial].value = Variant::Text("DFM-314377");
  other[kLatitude].value = Variant::Text("not a number");
  std::vector<CallResult> noSerial = items;
  noSerial[kSerial].value = Variant::Empty();
  std::vector<CallResult> shortEntry(items.begin(), items.begin() + 3);
  decoder.list = std::vector<ListedEntry>{{1500, items},
                                          {4000, other},
                                          {2000, noSerial},
                                          {kSondeListForgetMs + 1, items},
                                          {100, shortEntry}};
  const auto heard = ReadSondeList(decoder);
  ASSERT_TRUE(heard.has_value());
  ASSERT_EQ(heard->size(), 3u);
  EXPECT_EQ((*heard)[0].ageMs, 1500u);
  EXPECT_EQ((*heard)[0].sample.serial, followed.serial);
  EXPECT_EQ((*heard)[0].sample.latitude, followed.latitude);
  EXPECT_EQ((*heard)[0].sample.frame, followed.frame);
  EXPECT_EQ((*heard)[0].sample.kind, "RS41-SG");
  EXPECT_EQ((*heard)[0].sample.given.frame, followed.given.frame);
  EXPECT_EQ((*heard)[1].sample.serial, "DFM-314377");
  EXPECT_EQ((*heard)[1].sample.latitude, 0);  // a text where a number belongs reads as 0
  EXPECT_EQ((*heard)[2].sample.serial, followed.serial);  // what a short entry has
  EXPECT_FALSE((*heard)[2].sample.given.frame);
  EXPECT_EQ(decoder.listCalls, std::vector<std::string>{kSondeListMember});

  decoder.list.reset();
  EXPECT_FALSE(ReadSondeList(decoder).has_value());
  decoder.Release();
  decoder.list = std::vector<ListedEntry>{{1500, items}};
  EXPECT_FALSE(ReadSondeList(decoder).has_value());
}

}  // namespace
}  // namespace nimbrix
