#include "decoder-service/time_text.h"

#include <gtest/gtest.h>

namespace decoder {
namespace {

TEST(TimeTextTest, LayoutAndCalendar) {
  struct Case {
    std::int64_t unix;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00"},          {-1, "1969-12-31 23:59:59"},
      {951782400, "2000-02-29 00:00:00"},  {1714561200 + 3661, "2024-05-01 12:01:01"},
      {4102444799, "2099-12-31 23:59:59"},
  };
  for (const auto& c : cases) {
    const std::string text = TimeText(c.unix);
    EXPECT_EQ(text, c.text);
    std::int64_t back = 0;
    EXPECT_TRUE(ParseTimeText(text, back)) << text;
    EXPECT_EQ(back, c.unix);
  }
  // The station reads the time of day from characters 12 to 19.
  EXPECT_EQ(TimeText(1714561200 + 3661).substr(11, 8), "12:01:01");
}

TEST(TimeTextTest, RejectsOtherLayoutsAndImpossibleDates) {
  std::int64_t t = 0;
  for (const char* bad :
       {"2023-02-29 00:00:00", "2024-04-31 00:00:00", "2024-13-01 00:00:00", "2024-05-01 24:00:00",
        "2024-05-01T00:00:00", "2024-5-01 00:00:00", "2024-05-01 00:00:00 ", ""}) {
    EXPECT_FALSE(ParseTimeText(bad, t)) << bad;
  }
}

TEST(TimeTextTest, StaysNineteenCharactersBeyondFourYearDigits) {
  struct Case {
    std::int64_t unix;
    const char* text;
  } cases[] = {
      {253402300799, "9999-12-31 23:59:59"}, {253402300800, "9999-12-31 23:59:59"},
      {INT64_MAX, "9999-12-31 23:59:59"},    {-62167219200, "0000-01-01 00:00:00"},
      {-62167219201, "0000-01-01 00:00:00"}, {INT64_MIN, "0000-01-01 00:00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeText(c.unix), c.text) << c.unix;
}

TEST(ParseDateAndTimeTest, TakesTheSeparatorItIsGiven) {
  EXPECT_EQ(ParseDateAndTime("2026-05-01T11:35:38", 'T'), 1777635338);
  EXPECT_EQ(ParseDateAndTime("2026-05-01 11:35:38", ' '), 1777635338);
  EXPECT_EQ(ParseDateAndTime("2024-02-29T23:59:59", 'T'), 1709251199);
  EXPECT_EQ(ParseDateAndTime("0000-01-01T00:00:00", 'T'), -62167219200);
  for (const char* bad :
       {"2026-05-01 11:35:38", "2026-05-01T11:35:60", "2026-05-01T11:60:00", "2026-02-29T00:00:00",
        "2026-00-10T00:00:00", "2026-05-00T00:00:00", "2026-05-01T11:35:3", "2026-05-01T11:35:38.",
        "+026-05-01T11:35:38", "2026-05-01T1 :35:38"}) {
    EXPECT_EQ(ParseDateAndTime(bad, 'T'), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace decoder
