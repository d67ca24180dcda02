#include "telemetry/frame_time.h"

#include <cstdlib>

#include "format/utc_text.h"

namespace nimbrix {

namespace {

constexpr std::int64_t kTwoDaysMs = 2 * kUtcDayMs;

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
  if (!hour || !minute || !second || text[at + 2] != ':' || text[at + 5] != ':') {
    return std::nullopt;
  }
  if (*hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return (*hour * 3600 + *minute * 60 + *second) * std::int64_t{1000};
}

// Midnight of "YYYY-MM-DD" followed by ' ' or 'T', when that date exists.
std::optional<std::int64_t> DateMs(std::string_view text) {
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-' ||
      (text[10] != ' ' && text[10] != 'T')) {
    return std::nullopt;
  }
  return UtcMidnightMs(*year, *month, *day);
}

std::optional<std::int64_t> NearNow(std::int64_t timeMs, std::int64_t nowUtcMs) {
  if (timeMs > 0 && std::llabs(timeMs - nowUtcMs) <= kTwoDaysMs) return timeMs;
  return std::nullopt;
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

std::optional<std::int64_t> FrameUtcMs(std::string_view timeText, std::int64_t timeMs,
                                       std::int64_t nowUtcMs) {
  if (timeText.size() < 19) return NearNow(timeMs, nowUtcMs);
  const std::optional<std::int64_t> timeOfDay = TimeOfDayMs(timeText, 11);
  if (!timeOfDay) return NearNow(timeMs, nowUtcMs);
  if (const std::optional<std::int64_t> date = DateMs(timeText)) {
    const std::int64_t ms = *date + *timeOfDay;
    return timeMs >= ms && timeMs < ms + 1000 ? timeMs : ms;
  }
  // The day before, of, or after now: whichever puts the time nearest to it.
  const std::int64_t today = FloorDiv(nowUtcMs, kUtcDayMs) * kUtcDayMs + *timeOfDay;
  std::int64_t best = today;
  for (const std::int64_t candidate : {today - kUtcDayMs, today + kUtcDayMs}) {
    if (std::llabs(candidate - nowUtcMs) < std::llabs(best - nowUtcMs)) best = candidate;
  }
  return best;
}

std::optional<std::int64_t> FrameUtcMs(const SondeSample& sample, std::int64_t nowUtcMs) {
  return FrameUtcMs(sample.timeText, sample.timeMs, nowUtcMs);
}

}  // namespace nimbrix
