#pragma once

#include <cstdint>
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

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// "off", "connecting", "up", "failing", "down"
const char* StateName(DestinationStatus::State state);

}  // namespace nimbrix
