#include "sondehub/utc_time.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace nimbrix {

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kTwoDaysMs = 2 * kMsPerDay;

struct CivilDate {
  int year, month, day;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back (H. Hinnant's
// algorithms): no time zone, no C library.
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int yoe = static_cast<int>(year - era * 400);
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate CivilFromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int doe = static_cast<int>(days - era * 146097);
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  const int day = doy - (153 * mp + 2) / 5 + 1;
  const int month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(yoe + era * 400) + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

struct Split {
  CivilDate date;
  int hour, minute, second, millisecond;
  int weekday;  // 0 Sunday
};

Split SplitUtc(std::int64_t utcMs) {
  const std::int64_t days = FloorDiv(utcMs, kMsPerDay);
  const std::int64_t inDay = utcMs - days * kMsPerDay;
  const int weekday = static_cast<int>((days % 7 + 11) % 7);  // 1970-01-01 was a Thursday
  return {CivilFromDays(days),
          static_cast<int>(inDay / 3600000),
          static_cast<int>(inDay / 60000 % 60),
          static_cast<int>(inDay / 1000 % 60),
          static_cast<int>(inDay % 1000),
          weekday};
}

// Digits only, exactly `count` of them.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// "hh:mm:ss" at `at`, as milliseconds into the day.
std::optional<std::int64_t> TimeOfDayMs(std::string_view text, std::size_t at) {
  const auto hour = Digits(text, at, 2);
  const auto minute = Digits(text, at + 3, 2);
  const auto second = Digits(text, at + 6, 2);
  if (!hour || !minute || !second || text[at + 2] != ':' || text[at + 5] != ':')
    return std::nullopt;
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return (*hour * 3600 + *minute * 60 + *second) * std::int64_t{1000};
}

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

}  // namespace

std::string IsoUtcText(std::int64_t utcMs) {
  const Split t = SplitUtc(utcMs);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d000Z", t.date.year,
                t.date.month, t.date.day, t.hour, t.minute, t.second, t.millisecond);
  return text;
}

std::string HttpDateText(std::int64_t utcMs) {
  static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                    "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const Split t = SplitUtc(utcMs);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                kDays[static_cast<std::size_t>(t.weekday)], t.date.day,
                kMonths[static_cast<std::size_t>(t.date.month - 1)], t.date.year, t.hour, t.minute,
                t.second);
  return text;
}

std::optional<std::int64_t> FrameUtcMs(std::string_view item6, std::int64_t item14,
                                       std::int64_t nowUtcMs) {
  if (item6.size() < 19) {
    if (item14 > 0 && std::llabs(item14 - nowUtcMs) <= kTwoDaysMs) return item14;
    return std::nullopt;
  }
  const auto year = Digits(item6, 0, 4);
  const auto month = Digits(item6, 5, 2);
  const auto day = Digits(item6, 8, 2);
  const bool dated = year && month && day && item6[4] == '-' && item6[7] == '-' &&
                     (item6[10] == ' ' || item6[10] == 'T') && *month >= 1 && *month <= 12 &&
                     *day >= 1 && *day <= DaysInMonth(*year, *month);
  const std::optional<std::int64_t> timeOfDay = TimeOfDayMs(item6, 11);
  if (dated && timeOfDay) {
    const std::int64_t ms = DaysFromCivil(*year, *month, *day) * kMsPerDay + *timeOfDay;
    return item14 >= ms && item14 < ms + 1000 ? item14 : ms;
  }
  if (timeOfDay) {
    // The day before, of, or after now: whichever puts the time nearest to it.
    const std::int64_t today = FloorDiv(nowUtcMs, kMsPerDay) * kMsPerDay + *timeOfDay;
    std::int64_t best = today;
    for (const std::int64_t candidate : {today - kMsPerDay, today + kMsPerDay}) {
      if (std::llabs(candidate - nowUtcMs) < std::llabs(best - nowUtcMs)) best = candidate;
    }
    return best;
  }
  if (item14 > 0 && std::llabs(item14 - nowUtcMs) <= kTwoDaysMs) return item14;
  return std::nullopt;
}

}  // namespace nimbrix
