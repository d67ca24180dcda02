#pragma once

#include <string>

#include "platform/automation.h"
#include "telemetry/decoder_items.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

// Asks the decoder for items 0..14 and rewrites `sample` in full. With `withExtension` (the
// SondeHub feed is on) it then asks the items 15..17 the same way; a decoder without them
// answers an error there, and they read as not given. Without it the calls are those of 0..14
// alone.
// An item that cannot be read gives 0 or "". A detached decoder is attached again once per
// cycle; after an unresponsive call the rest of the cycle reads as nothing without asking,
// so a frozen decoder costs at most one time-out per cycle. Numbers that would come out as
// NaN or infinity are stored as 0. Returns whether the decoder was there to answer: attached,
// and no call went unanswered (an item it answers with an error still counts as an answer).
bool ReadSondeSample(Automation& decoder, SondeSample& sample, bool withExtension = false);

}  // namespace nimbrix
