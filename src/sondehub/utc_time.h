#pragma once

// The times SondeHub wants, from milliseconds since 1970 (UTC), and the frame's time from what
// the decoder gives.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

// "2026-12-09T19:00:52.123000Z": the form of `datetime` and `time_received`.
std::string IsoUtcText(std::int64_t utcMs);
// "Wed, 09 Dec 2026 19:00:52 GMT": the HTTP Date header (RFC 7231).
std::string HttpDateText(std::int64_t utcMs);

// The frame's UTC time from the decoder's item 6 and item 14, nullopt when neither tells it.
// Item 6 as "YYYY-MM-DD hh:mm:ss" is taken as it stands (item 14 adds its milliseconds when it
// falls in that second); item 6 with only a time of day at characters 12..19 gets the date
// that puts it nearest to `nowUtcMs`; with no time in item 6, item 14 (ms since 1970) when it
// lies within two days of now.
std::optional<std::int64_t> FrameUtcMs(std::string_view item6, std::int64_t item14,
                                       std::int64_t nowUtcMs);

}  // namespace nimbrix
