#pragma once

#include <string>

#include "platform/automation.h"
#include "uplink/sonde_sample.h"

namespace nimbrix {

// One coordinate in the two forms the sentence and the reports need.
struct CoordinateTexts {
  std::string gga;   // "4807.4074,N"
  std::string aprs;  // "4807.41N"
};

// Degrees and minutes of `value`, degrees written with `degreeDigits` digits, the letter
// `positive` for 0 and above, `negative` below. Each form rolls "60" minutes over into the
// next degree on its own. NaN and infinity read as 0.
CoordinateTexts MakeCoordinateTexts(double value, int degreeDigits, char positive, char negative);

// The time-of-day field of the position sentence: up to 8 characters of `timeText` from its
// 12th on, without ":" ("20:41:05" there gives "204105").
std::string GgaTimeField(const std::string& timeText);

// The decoder's Automation object (on Linux, its D-Bus name).
inline constexpr const char* kDecoderProgId = "SondeMonitor.Document";

// Asks the decoder for items 0..14 and rewrites `sample` in full, ggaSentence included.
// An item that cannot be read gives 0 or "". A detached decoder is attached again once per
// cycle; after an unresponsive call the rest of the cycle reads as nothing without asking,
// so a frozen decoder costs at most one time-out per cycle. Numbers that would come out as
// NaN or infinity are stored as 0.
void ReadSondeSample(Automation& decoder, SondeSample& sample);

}  // namespace nimbrix
