#pragma once

// The decoder's time text, item 6: "YYYY-MM-DD hh:mm:ss" in UTC. The station reads the time of
// day from characters 12 to 19, counting from 1.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace decoder {

// The text for seconds since 1970-01-01. Times before the year 0000 or after 9999 are clamped
// to those years' ends, so the text always has its 19 characters.
std::string TimeText(std::int64_t unixSeconds);

// The reverse; false unless the text has exactly that layout and a real date and time.
bool ParseTimeText(const std::string& text, std::int64_t& unixSeconds);

// Seconds since 1970 of exactly "YYYY-MM-DD" `separator` "hh:mm:ss" in UTC; nullopt unless the
// date exists and the time lies within 00:00:00..23:59:59.
std::optional<std::int64_t> ParseDateAndTime(std::string_view text, char separator);

}  // namespace decoder
