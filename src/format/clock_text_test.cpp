#include "format/clock_text.h"

#include <gtest/gtest.h>

namespace nimbrix {
namespace {

TEST(ClockTextTest, FieldsAreZeroPadded) {
  struct Case {
    LocalTime time;
    const char* clock;
    const char* date;
    const char* dateTime;
  };
  const Case cases[] = {
      {{2024, 3, 7, 9, 5, 1, 999}, "09:05:01", "03-07-2024", "2024-03-07 09:05:01"},
      {{1999, 12, 31, 23, 59, 59, 0}, "23:59:59", "12-31-1999", "1999-12-31 23:59:59"},
      {{2000, 1, 1, 0, 0, 0, 0}, "00:00:00", "01-01-2000", "2000-01-01 00:00:00"},
      {{987, 10, 10, 12, 30, 45, 0}, "12:30:45", "10-10-0987", "0987-10-10 12:30:45"},
      // Out of range fields never change the width.
      {{12345, -1, 100, -5, 60, 1000, 0}, "00:60:99", "00-99-9999", "9999-00-99 00:60:99"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockText(c.time), c.clock);
    EXPECT_EQ(DateText(c.time), c.date);
    EXPECT_EQ(DateTimeText(c.time), c.dateTime);
  }
}

TEST(TimeOfDayField, TakesUpToEightCharactersFromTheTwelfthWithoutColons) {
  const struct {
    const char* timeText;
    const char* field;
  } cases[] = {
      {"2026-12-08T20:41:05", "204105"},
      {"2026-12-08T20:41:05.250Z", "204105"},
      {"", ""},
      {"2026-12-08T", ""},
      {"2026-12-08T2", "2"},
      {"2026-12-08T20:4", "204"},
      {"xxxxxxxxxxx::::::::", ""},
      {"xxxxxxxxxxx123456789", "12345678"},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeOfDayField(c.timeText), c.field) << c.timeText;
}

}  // namespace
}  // namespace nimbrix
