#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation.h"
#include "telemetry/decoder_items.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

// Asks the decoder for items 0..14 in one round (Automation::CallRound) and rewrites `sample`
// in full. With `withExtension` (the SondeHub feed is on) the round also asks items 15..17, after
// the fifteen; a decoder without them answers an error there, and they read as not given.
// An item that cannot be read gives 0 or "". A detached decoder is attached again once per
// cycle; from the first item left unanswered on, the rest of the cycle reads as nothing,
// so a frozen decoder costs at most one time-out per cycle. Numbers that would come out as
// NaN or infinity are stored as 0. Returns whether the decoder was there to answer: attached,
// and no call went unanswered (an item it answers with an error still counts as an answer).
bool ReadSondeSample(Automation& decoder, SondeSample& sample, bool withExtension = false);

// A sonde of the decoder's list: its newest frame (items 0 to 17) and how old it is.
struct HeardSonde {
  SondeSample sample;
  std::uint32_t ageMs = 0;
};

// Every sonde the decoder has heard in the last ten minutes, the followed one among them, in
// the decoder's order; entries without a serial are left out. nullopt when the decoder has no
// list (it answers the member with an error, or is not attached): the station then has the
// one sonde of ReadSondeSample. One call, bounded as the round is.
std::optional<std::vector<HeardSonde>> ReadSondeList(Automation& decoder);

}  // namespace nimbrix
