#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "outputs/output.h"
#include "web/status_snapshot.h"

namespace nimbrix {

// The snapshot as the JSON of GET /api/status. Every text is valid JSON whatever bytes it held
// (bytes that are not UTF-8 become U+FFFD); times are ISO 8601 UTC; a number that is not
// finite is null. "sonde" and "track" are the followed sonde's; "sondes" lists every sonde heard,
// the followed one first, each with its frame, its age and its own track.
std::string StatusJson(const StationSnapshot& snapshot);

// "2026-12-09T10:27:05Z"
std::string IsoUtc(std::int64_t utcMs);

// The sonde's own time of day (hh:mm:ss at characters 12 to 19 of the time text) on the UTC day
// nearest to when the frame was read; nothing when the text holds no such time.
std::optional<std::int64_t> FrameTimeUtcMs(std::string_view timeText, std::int64_t readUtcMs);

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// "off", "connecting", "up", "failing", "down"
const char* StateName(DestinationStatus::State state);

}  // namespace nimbrix
