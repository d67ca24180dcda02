#pragma once
// GPS week and time of week as a calendar date, on the GPS time scale itself (no leap seconds):
// the RS41 sends GPS time and its JSON line says so ("ref_datetime": "GPS").

#include <cstdint>
#include <optional>
#include <string>

namespace receiver {

struct CalendarTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

inline constexpr std::int64_t kMillisecondsPerWeek = 7LL * 86400 * 1000;

// Empty when the time of week is outside one week (a corrupt or hostile field).
std::optional<CalendarTime> GpsToCalendar(int week, std::int64_t time_of_week_ms);

// "2015-08-02T11:59:26.000Z", as the decoders print "datetime".
std::string CalendarText(const CalendarTime& time);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace receiver
