#include "decoder-service/time_text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace decoder {

namespace {

using std::chrono::days;
using std::chrono::seconds;
using std::chrono::sys_days;
using std::chrono::sys_seconds;

// 0000-01-01 00:00:00 and 9999-12-31 23:59:59, the range four year digits can show.
constexpr std::int64_t kFirst =
    sys_seconds(sys_days(std::chrono::year(0) / 1 / 1)).time_since_epoch().count();
constexpr std::int64_t kLast =
    sys_seconds(sys_days(std::chrono::year(9999) / 12 / 31) + days(1)).time_since_epoch().count() -
    1;

}  // namespace

std::string TimeText(std::int64_t unixSeconds) {
  const sys_seconds t{seconds(std::clamp(unixSeconds, kFirst, kLast))};
  const sys_days day = std::chrono::floor<days>(t);
  const std::chrono::year_month_day date{day};
  const std::chrono::hh_mm_ss time{t - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                static_cast<int>(time.seconds().count()));
  return text;
}

std::optional<std::int64_t> ParseDateAndTime(std::string_view text, char separator) {
  static constexpr std::string_view kLayout = "dddd-dd-dd?dd:dd:dd";
  if (text.size() != kLayout.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    const char wanted = kLayout[i] == '?' ? separator : kLayout[i];
    if (wanted == 'd' ? !digit : text[i] != wanted) return std::nullopt;
  }
  auto number = [&](size_t pos, size_t length) {
    unsigned v = 0;
    for (size_t i = pos; i < pos + length; ++i) v = v * 10 + static_cast<unsigned>(text[i] - '0');
    return v;
  };
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(number(0, 4))),
                                         std::chrono::month(number(5, 2)),
                                         std::chrono::day(number(8, 2))};
  const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const sys_seconds t =
      sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) + seconds(second);
  return t.time_since_epoch().count();
}

bool ParseTimeText(const std::string& text, std::int64_t& unixSeconds) {
  const std::optional<std::int64_t> t = ParseDateAndTime(text, ' ');
  if (!t) return false;
  unixSeconds = *t;
  return true;
}

}  // namespace decoder
