#include "telemetry/telemetry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
      {11, Variant::Text("dropped")},
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
