#include "uplink/heard_objects.h"

#include <algorithm>

#include "uplink/gga_sentence.h"
#include "uplink/object_name.h"
#include "uplink/reports.h"

namespace nimbrix {

bool HeardObjects::NewFrame(const HeardSonde& sonde) {
  std::string sentence = GgaSentence(sonde.sample);
  auto it = std::find_if(seen_.begin(), seen_.end(),
                         [&](const Seen& s) { return s.serial == sonde.sample.serial; });
  if (it == seen_.end()) {
    if (seen_.size() >= kObjectMemory) seen_.erase(seen_.begin());
    seen_.push_back({sonde.sample.serial, std::move(sentence)});
    return sonde.ageMs <= kFreshFrameMs;
  }
  if (it->sentence == sentence) return false;
  it->sentence = std::move(sentence);
  // Kept the latest seen last, so the one forgotten first is the one heard longest ago.
  std::rotate(it, it + 1, seen_.end());
  return true;
}

std::vector<std::string> HeardObjects::Plan(ReportState& state, const StationConfig& config,
                                            std::span<const HeardSonde> heard,
                                            const std::string& followedSerial) {
  std::vector<std::string> lines;
  if (config.nOBJECT != 1) return lines;
  for (const HeardSonde& sonde : heard) {
    const SondeSample& sample = sonde.sample;
    if (sample.serial.empty() || sample.serial == followedSerial) continue;
    if (!NewFrame(sonde)) continue;
    if (sample.latitude == 0 || sample.longitude == 0 || !(sample.altitude > 0)) continue;
    const std::optional<std::string> name = ObjectNameOf(sample.serial, sample.typeOrAprsName);
    if (!name) continue;
    const SentObject* sent = FindSentObject(state, *name);
    if (sent && state.Cycle - sent->cycle < kObjectInterval) continue;
    lines.push_back(ComposeObjectReport(config, sample, *name));
    RememberSentObject(state, *name);
  }
  return lines;
}

}  // namespace nimbrix
