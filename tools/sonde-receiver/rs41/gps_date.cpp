#include "rs41/gps_date.h"

#include <cstdio>

namespace receiver {

namespace {
// 1980-01-06, the start of GPS week 0, in days since 1970-01-01.
constexpr std::int64_t kGpsEpochDays = 3657;
}  // namespace

// Gregorian calendar arithmetic on 400-year eras, years counted from March so that the leap
// day falls at the end of the counted year.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

std::optional<CalendarTime> GpsToCalendar(int week, std::int64_t time_of_week_ms) {
  if (week < 0 || time_of_week_ms < 0 || time_of_week_ms >= kMillisecondsPerWeek) {
    return std::nullopt;
  }
  const std::int64_t day_of_week = time_of_week_ms / 86400000;
  const std::int64_t ms_of_day = time_of_week_ms % 86400000;
  CalendarTime out;
  CivilFromDays(kGpsEpochDays + static_cast<std::int64_t>(week) * 7 + day_of_week, out.year,
                out.month, out.day);
  out.hour = static_cast<int>(ms_of_day / 3600000);
  out.minute = static_cast<int>(ms_of_day / 60000 % 60);
  out.second = static_cast<int>(ms_of_day / 1000 % 60);
  out.millisecond = static_cast<int>(ms_of_day % 1000);
  return out;
}

std::string CalendarText(const CalendarTime& time) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second, time.millisecond);
  return text;
}

}  // namespace receiver
