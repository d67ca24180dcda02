#include "format/clock_text.h"

#include <algorithm>

namespace nimbrix {

namespace {

// Fixed width whatever the fields hold: a field out of range is clamped, never widened.
void AppendField(std::string& out, int value, int width) {
  int limit = 1;
  for (int i = 0; i < width; ++i) limit *= 10;
  value = std::clamp(value, 0, limit - 1);
  for (int div = limit / 10; div > 0; div /= 10) out += static_cast<char>('0' + value / div % 10);
}

}  // namespace

std::string ClockText(const LocalTime& time) {
  std::string out;
  AppendField(out, time.hour, 2);
  out += ':';
  AppendField(out, time.minute, 2);
  out += ':';
  AppendField(out, time.second, 2);
  return out;
}

std::string DateText(const LocalTime& time) {
  std::string out;
  AppendField(out, time.month, 2);
  out += '-';
  AppendField(out, time.day, 2);
  out += '-';
  AppendField(out, time.year, 4);
  return out;
}

std::string DateTimeText(const LocalTime& time) {
  std::string out;
  AppendField(out, time.year, 4);
  out += '-';
  AppendField(out, time.month, 2);
  out += '-';
  AppendField(out, time.day, 2);
  return out + ' ' + ClockText(time);
}

std::string TimeOfDayField(std::string_view timeText) {
  std::string field;
  if (timeText.size() <= 11) return field;
  for (char c : timeText.substr(11, 8)) {
    if (c != ':') field += c;
  }
  return field;
}

}  // namespace nimbrix
