#include "decoder-service/time_text.h"

#include <algorithm>
#include <limits>

#include "format/utc_text.h"

namespace decoder {

namespace {

// Seconds whose milliseconds still fit in 64 bits; the texts clamp the rest to four year digits.
constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max() / 1000;

}  // namespace

std::string TimeText(std::int64_t unixSeconds) {
  const std::int64_t ms = std::clamp(unixSeconds, -kLargest, kLargest) * 1000;
  std::string text = nimbrix::IsoUtcSeconds(ms).substr(0, 19);
  text[10] = ' ';
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
    int v = 0;
    for (size_t i = pos; i < pos + length; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  const std::optional<std::int64_t> midnight =
      nimbrix::UtcMidnightMs(number(0, 4), number(5, 2), number(8, 2));
  const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
  if (!midnight || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return *midnight / 1000 + (hour * 60 + minute) * 60 + second;
}

bool ParseTimeText(const std::string& text, std::int64_t& unixSeconds) {
  const std::optional<std::int64_t> t = ParseDateAndTime(text, ' ');
  if (!t) return false;
  unixSeconds = *t;
  return true;
}

}  // namespace decoder
