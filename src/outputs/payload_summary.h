#pragma once

// The chase-car summary: one JSON object per datagram, "type": "PAYLOAD_SUMMARY", as the
// chase-car maps and their add-ons read it from the local network.

#include <cstdint>
#include <string>

#include "telemetry/sonde_sample.h"

namespace nimbrix {

// Whether the sample holds a position worth a summary: the decoder answered, and the place is
// one (0,0 is what a failed request reads as).
bool HasSummaryPosition(const SondeSample& sample, bool decoderAnswered);

// The datagram for `sample`, received by `station` at `utcMs`. Texts from the decoder keep
// their printable ASCII only, so that the object is valid JSON whatever they held; readings
// the decoder did not give are left out. Well under 1400 bytes.
std::string PayloadSummaryJson(const SondeSample& sample, const std::string& station,
                               std::int64_t utcMs);

}  // namespace nimbrix
