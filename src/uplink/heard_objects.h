#pragma once

// The object mode (OBJECT=YES) for the sondes the decoder hears beside the followed one: each
// goes out as its own object, paced on its own. The followed sonde keeps the report logic of
// reports.h; the two share the memory of which objects went out when, so a sonde that becomes
// the followed one (or stops being it) keeps its pacing.

#include <span>
#include <string>
#include <vector>

#include "config/station_config.h"
#include "telemetry/telemetry.h"
#include "uplink/report_state.h"

namespace nimbrix {

// A frame first seen at most this old counts as new: the sonde has just been heard.
inline constexpr std::uint32_t kFreshFrameMs = 3000;

class HeardObjects {
 public:
  // Once per cycle, after the followed sonde's reports: the object lines (CR LF included) due
  // now for the other sondes of `heard`, in the list's order. A sonde's object is due at a new
  // frame with a valid position, once kObjectInterval cycles have passed since its last one (at
  // once for a sonde without one yet in this run). A silent sonde gets none; one that comes back
  // gets one at its next new frame once its interval is over. No make-up pauses: an object never
  // waits for another's spacing. A sonde without an object name sends nothing.
  std::vector<std::string> Plan(ReportState& state, const StationConfig& config,
                                std::span<const HeardSonde> heard,
                                const std::string& followedSerial);

 private:
  struct Seen {
    std::string serial;
    std::string sentence;  // the position sentence of its newest frame seen
  };
  // Whether `sonde` has a frame not seen before, and remembers it.
  bool NewFrame(const HeardSonde& sonde);

  std::vector<Seen> seen_;  // at most kObjectMemory sondes, the latest seen last
};

}  // namespace nimbrix
