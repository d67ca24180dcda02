#include "format/utc_text.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>

namespace nimbrix {

namespace {

using std::chrono::days;
using std::chrono::milliseconds;
using std::chrono::sys_days;
using std::chrono::sys_time;

// 0000-01-01T00:00:00.000 and 9999-12-31T23:59:59.999: what four year digits can show.
constexpr std::int64_t kFirstMs = std::chrono::duration_cast<milliseconds>(
                                      sys_days(std::chrono::year(0) / 1 / 1).time_since_epoch())
                                      .count();
constexpr std::int64_t kLastMs =
    std::chrono::duration_cast<milliseconds>(
        (sys_days(std::chrono::year(9999) / 12 / 31) + days(1)).time_since_epoch())
        .count() -
    1;

}  // namespace

UtcParts UtcPartsOf(std::int64_t utcMs) {
  const sys_time<milliseconds> at{milliseconds{std::clamp(utcMs, kFirstMs, kLastMs)}};
  const sys_days day = std::chrono::floor<days>(at);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss clock{at - day};
  UtcParts parts;
  parts.year = static_cast<int>(date.year());
  parts.month = static_cast<int>(static_cast<unsigned>(date.month()));
  parts.day = static_cast<int>(static_cast<unsigned>(date.day()));
  parts.hour = static_cast<int>(clock.hours().count());
  parts.minute = static_cast<int>(clock.minutes().count());
  parts.second = static_cast<int>(clock.seconds().count());
  parts.millisecond = static_cast<int>(clock.subseconds().count());
  parts.weekday = static_cast<int>(std::chrono::weekday{day}.c_encoding());
  return parts;
}

std::optional<std::int64_t> UtcMidnightMs(int year, int month, int day) {
  if (year < 0 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year{year},
                                         std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok()) return std::nullopt;
  return sys_days{date}.time_since_epoch().count() * kUtcDayMs;
}

namespace {

// "2026-12-09T19:00:52Z", with `fractionDigits` (0, 3 or 6) after the seconds: the milliseconds,
// then zeros.
std::string IsoUtc(std::int64_t utcMs, int fractionDigits) {
  const UtcParts t = UtcPartsOf(utcMs);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  std::string iso = text;
  if (fractionDigits > 0) {
    std::snprintf(text, sizeof text, ".%03d", t.millisecond);
    iso += text;
    iso.append(static_cast<std::size_t>(fractionDigits - 3), '0');
  }
  iso += 'Z';
  return iso;
}

}  // namespace

std::string IsoUtcSeconds(std::int64_t utcMs) {
  return IsoUtc(utcMs, 0);
}

std::string IsoUtcMillis(std::int64_t utcMs) {
  return IsoUtc(utcMs, 3);
}

std::string IsoUtcMicros(std::int64_t utcMs) {
  return IsoUtc(utcMs, 6);
}

std::string HttpDateText(std::int64_t utcMs) {
  static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                    "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const UtcParts t = UtcPartsOf(utcMs);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                kDays[static_cast<std::size_t>(t.weekday)], t.day,
                kMonths[static_cast<std::size_t>(t.month - 1)], t.year, t.hour, t.minute, t.second);
  return text;
}

std::string UtcDateDigits(std::int64_t utcMs) {
  const UtcParts t = UtcPartsOf(utcMs);
  char text[16];
  std::snprintf(text, sizeof text, "%04d%02d%02d", t.year, t.month, t.day);
  return text;
}

}  // namespace nimbrix
