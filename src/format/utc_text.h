#pragma once

// UTC times as milliseconds since 1970 and the texts each peer wants of them, from the civil
// calendar of std::chrono: no time zone, no C library, the same on every system. Times before
// the year 0000 or after 9999 are taken as those years' ends, so every text keeps its width.

#include <cstdint>
#include <optional>
#include <string>

namespace nimbrix {

inline constexpr std::int64_t kUtcDayMs = 86'400'000;

// One UTC time in its calendar fields.
struct UtcParts {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int weekday = 4;  // 0 Sunday .. 6 Saturday
};

UtcParts UtcPartsOf(std::int64_t utcMs);

// Midnight UTC of a date of the Gregorian calendar; nullopt when there is no such date.
std::optional<std::int64_t> UtcMidnightMs(int year, int month, int day);

// "2026-12-09T19:00:52Z": whole seconds (the milliseconds are dropped, never rounded up).
std::string IsoUtcSeconds(std::int64_t utcMs);
// "2026-12-09T19:00:52.123Z"
std::string IsoUtcMillis(std::int64_t utcMs);
// "2026-12-09T19:00:52.123000Z": microseconds, as SondeHub takes them.
std::string IsoUtcMicros(std::int64_t utcMs);
// "Wed, 09 Dec 2026 19:00:52 GMT": the HTTP Date header (RFC 7231).
std::string HttpDateText(std::int64_t utcMs);
// "20261209": the date in a file's name.
std::string UtcDateDigits(std::int64_t utcMs);

}  // namespace nimbrix
