#include "frame_answers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace bridge {
namespace {

using decoder::Answer;

// A frame with every field, 2026-05-01 11:35:20.250 UTC.
Frame Full() {
  return Frame{.id = "S3210987",
               .utcMs = 1777635320250,
               .lat = 47.86214,
               .lon = -12.49918,
               .alt = 1520.5,
               .type = "RS41",
               .subtype = "RS41-SGP",
               .aprsid = "",  // an RS41 has none
               .heightReference = HeightReference::kSeaLevel,
               .diffGpsMsl = std::nullopt,
               .frame = 6127,
               .velH = 12.28,
               .velV = -4.8,
               .heading = 75.7,
               .temp = -47.4,
               .humidity = 2.2,
               .pressure = 13.42,
               .freqKhz = 403500,
               .txFrequencyKhz = 404100,
               .sats = 9,
               .batt = 2.9};
}

double Real(const Answer& a) {
  EXPECT_EQ(a.vt, decoder::VT_R8);
  EXPECT_EQ(a.dbusType, "d");
  return std::get<double>(a.value);
}
std::string Text(const Answer& a) {
  EXPECT_EQ(a.vt, decoder::VT_BSTR);
  EXPECT_EQ(a.dbusType, "s");
  return std::get<std::string>(a.value);
}

TEST(AnswersOfTest, EveryItemOfAFullFrame) {
  const auto a = AnswersOf(Full(), "401.000");
  EXPECT_EQ(Text(a[0]), "S3210987");
  EXPECT_EQ(Real(a[1]), 47.86214);
  EXPECT_EQ(Real(a[2]), -12.49918);
  EXPECT_EQ(Real(a[3]), 1520.5);
  EXPECT_NEAR(Real(a[4]), 255.7, 1e-12);
  EXPECT_EQ(Real(a[5]), 12.28);
  EXPECT_EQ(Text(a[6]), "2026-05-01 11:35:20");
  EXPECT_EQ(Text(a[7]), "403.500");
  EXPECT_EQ(Real(a[8]), 13.42);
  EXPECT_EQ(Real(a[9]), -47.4);
  EXPECT_EQ(Real(a[10]), 2.2);
  EXPECT_EQ(Text(a[11]), "RS41-SGP");
  EXPECT_EQ(Real(a[12]), -4.8);
  EXPECT_EQ(a[13].vt, decoder::VT_I4);
  EXPECT_EQ(a[13].dbusType, "i");
  EXPECT_EQ(std::get<std::int64_t>(a[13].value), 6127);
  EXPECT_EQ(a[14].vt, decoder::VT_I8);
  EXPECT_EQ(a[14].dbusType, "x");
  EXPECT_EQ(std::get<std::int64_t>(a[14].value), 1777635320250);
  EXPECT_EQ(Text(a[15]), "RS41-SGP");
  EXPECT_EQ(a[16].vt, decoder::VT_I4);
  EXPECT_EQ(std::get<std::int64_t>(a[16].value), 9);
  EXPECT_EQ(Real(a[17]), 2.9);
  for (const Answer& answer : a) EXPECT_EQ(answer.kind, Answer::Kind::kValue);
}

bool IsEmpty(const Answer& a) {
  return a.kind == Answer::Kind::kValue && a.vt == decoder::VT_EMPTY && a.dbusType == "ay";
}

// A frame with only the fields every frame has: no reading the decoder did not print reaches
// the station as a number, except the three whose stand-ins the station shows as "no reading".
TEST(AnswersOfTest, TheMissingReadingsAnswerEmptyOrTheStationsNoReading) {
  Frame f;
  f.id = "DFM-123456";
  f.utcMs = 1777635320000;
  f.lat = 51.23456;
  f.lon = 6.78901;
  f.alt = 1520.5;
  const auto a = AnswersOf(f, "");
  for (const int empty : {5, 8, 12, 13, 16, 17}) EXPECT_TRUE(IsEmpty(a[empty])) << empty;
  EXPECT_EQ(Real(a[4]), -180);  // course 0 at the station: unknown
  EXPECT_LT(Real(a[9]), -99);   // the station shows -99
  EXPECT_LT(Real(a[10]), 0);    // the station shows 0
  EXPECT_EQ(Text(a[7]), "");
  EXPECT_EQ(Text(a[11]), "");
  EXPECT_EQ(Text(a[15]), "");
  f.type = "DFM";
  EXPECT_EQ(Text(AnswersOf(f, "")[11]), "DFM");  // type when there is no subtype
  EXPECT_EQ(Text(AnswersOf(f, "")[15]), "DFM");
}

// Each optional reading alone: its own item is a number, the others stay EMPTY.
TEST(AnswersOfTest, EachPrintedReadingIsANumber) {
  struct Case {
    void (*set)(Frame&);
    int item;
    double value;
  } cases[] = {
      {[](Frame& f) { f.velH = 0; }, 5, 0},  {[](Frame& f) { f.pressure = 0.5; }, 8, 0.5},
      {[](Frame& f) { f.velV = 0; }, 12, 0}, {[](Frame& f) { f.velV = -5.5; }, 12, -5.5},
      {[](Frame& f) { f.batt = 0; }, 17, 0},
  };
  for (const auto& c : cases) {
    Frame f;
    f.id = "S3210987";
    c.set(f);
    const auto a = AnswersOf(f, "");
    EXPECT_EQ(Real(a[static_cast<std::size_t>(c.item)]), c.value) << c.item;
    for (const int other : {5, 8, 12, 17}) {
      EXPECT_TRUE(other == c.item || IsEmpty(a[static_cast<std::size_t>(other)])) << other;
    }
  }
  Frame f;
  f.frame = 0;
  f.sats = 0;
  const auto a = AnswersOf(f, "");
  EXPECT_EQ(std::get<std::int64_t>(a[13].value), 0);
  EXPECT_EQ(std::get<std::int64_t>(a[16].value), 0);
}

TEST(AnswersOfTest, KindIsTheSubtypeThatRefinesTheTypeElseTheType) {
  struct Case {
    const char* type;
    const char* subtype;
    const char* kind;
  } cases[] = {
      {"RS41", "RS41-SGP", "RS41-SGP"},
      {"RS41", "RS41", "RS41"},
      {"RS41", "", "RS41"},
      {"DFM", "0x6:DFM06", "DFM06"},
      {"DFM", "0xA", "DFM"},
      {"DFM", "0xD:DFM17", "DFM17"},
      {"M10", "0x9F", "M10"},
      {"M20", "", "M20"},
      {"", "RS92-SGP", "RS92-SGP"},
      {"", "", ""},
      {"IMS100", "IMS100", "IMS100"},
  };
  for (const auto& c : cases) {
    Frame f = Full();
    f.type = c.type;
    f.subtype = c.subtype;
    EXPECT_EQ(KindOf(f), c.kind) << c.type << " " << c.subtype;
    EXPECT_EQ(Text(AnswersOf(f, "")[15]), c.kind);
  }
}

TEST(AnswersOfTest, Item11IsTheAprsNameOfAnM10OrM20AndTheKindOfSondeOtherwise) {
  Frame m10 = Full();
  m10.type = "M10";
  m10.subtype = "0x9F";
  m10.aprsid = "ME8C60C1F";
  EXPECT_EQ(Text(AnswersOf(m10, "")[11]), "ME8C60C1F");
  m10.aprsid.clear();  // a frame without a usable aprsid
  EXPECT_EQ(Text(AnswersOf(m10, "")[11]), "0x9F");
  m10.subtype.clear();
  EXPECT_EQ(Text(AnswersOf(m10, "")[11]), "M10");
}

TEST(AnswersOfTest, HeadingIsTurnedSoTheStationSendsTheDirectionOfTravel) {
  struct Case {
    double heading, item4;
  } cases[] = {
      {0, 180},  {180, 0},  {359.9, 179.9}, {75.7, 255.7}, {241.3, 61.3},  {360, 180},
      {90, 270}, {270, 90}, {-90, 90},      {-360, 180},   {179.9, 359.9}, {0.1, 180.1},
  };
  for (const auto& c : cases) {
    Frame f = Full();
    f.heading = c.heading;
    const double item4 = Real(AnswersOf(f, "")[4]);
    EXPECT_NEAR(item4, c.item4, 1e-9) << c.heading;
    EXPECT_GE(item4, 0) << c.heading;
    EXPECT_LT(item4, 360) << c.heading;
    // What the station makes of it: item 4 + 180, less 360 above 360.
    double course = item4 + 180;
    if (course > 360) course -= 360;
    EXPECT_NEAR(std::fmod(course, 360), std::fmod(c.heading + 360, 360), 1e-9) << c.heading;
  }
}

TEST(AnswersOfTest, FrequencyFromFreqThenTxFrequencyThenTheOption) {
  struct Case {
    std::optional<double> freq, tx;
    const char* fallback;
    const char* item7;
  } cases[] = {
      {403500, 404100, "401.000", "403.500"},
      {std::nullopt, 404100, "401.000", "404.100"},
      {std::nullopt, std::nullopt, "401.000", "401.000"},
      {std::nullopt, std::nullopt, "", ""},
      {403001, std::nullopt, "", "403.001"},
      {1680000, std::nullopt, "", "1680.000"},
      {403500.4, std::nullopt, "", "403.500"},
      {403500.6, std::nullopt, "", "403.501"},
      {402999.9, std::nullopt, "", "403.000"},
      {403000.5, std::nullopt, "", "403.001"},  // half a kHz goes up
      {0.4, std::nullopt, "", "0.000"},
  };
  for (const auto& c : cases) {
    Frame f = Full();
    f.freqKhz = c.freq;
    f.txFrequencyKhz = c.tx;
    EXPECT_EQ(Text(AnswersOf(f, c.fallback)[7]), c.item7) << c.item7;
  }
  EXPECT_EQ(FrequencyText(1e7), "10000.000");
}

TEST(AnswersOfTest, TimeTextDropsTheFractionAndItem14KeepsIt) {
  struct Case {
    std::int64_t utcMs;
    const char* item6;
  } cases[] = {
      {1777635320999, "2026-05-01 11:35:20"},
      {1777593599999, "2026-04-30 23:59:59"},  // 00:00:17.999 GPS
      {0, "1970-01-01 00:00:00"},
      {-1, "1969-12-31 23:59:59"},
      {-18000, "1969-12-31 23:59:42"},
  };
  for (const auto& c : cases) {
    Frame f = Full();
    f.utcMs = c.utcMs;
    const auto a = AnswersOf(f, "");
    EXPECT_EQ(Text(a[6]), c.item6) << c.utcMs;
    EXPECT_EQ(std::get<std::int64_t>(a[14].value), c.utcMs);
  }
}

TEST(AnswersOfTest, FrameNumbersKeepTheirLow32Bits) {
  struct Case {
    std::uint64_t frame;
    std::int64_t item13;
  } cases[] = {
      {0, 0},
      {65535, 65535},
      {2147483647, 2147483647},
      {2147483648, -2147483648LL},
      {4294967296 + 7, 7},
      {UINT64_MAX, -1},
      {static_cast<std::uint64_t>(-2), -2},
  };
  for (const auto& c : cases) {
    Frame f = Full();
    f.frame = c.frame;
    EXPECT_EQ(std::get<std::int64_t>(AnswersOf(f, "")[13].value), c.item13) << c.frame;
  }
}

TEST(AnswersOfTest, TextsAreSentAsGivenUnlessDbusCannotCarryThem) {
  Frame f = Full();
  f.id = "ID\r\n\x1b[2J user N0CALL";
  f.subtype = "M\xC3\xBC";
  auto a = AnswersOf(f, "");
  EXPECT_EQ(Text(a[0]), f.id);
  EXPECT_EQ(Text(a[11]), f.subtype);
  f.id = std::string("A\0B", 3);
  f.subtype = "\xEF\xBF\xBE";  // U+FFFE, which the bus refuses
  a = AnswersOf(f, "");
  EXPECT_EQ(Text(a[0]),
            "A\xEF\xBF\xBD"
            "B");
  EXPECT_EQ(Text(a[11]), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace bridge
