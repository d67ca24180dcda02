#pragma once

// What the bridge answers to GETSONDEDATA for a frame: the fifteen items in the types of the
// contract (docs/decoder-dbus.xml).

#include <array>
#include <string>

#include "decoder-service/answer.h"
#include "frame.h"

namespace bridge {

// The answers for the items 0 to 14. `qrgFallback` is item 7 when the frame names no
// frequency of its own ("" when the operator gave none either).
std::array<decoder::Answer, decoder::kItemCount> AnswersOf(const Frame& frame,
                                                           const std::string& qrgFallback);

// A frequency in MHz as item 7 shows it, with three decimals: 403.5 gives "403.500".
std::string MegahertzText(double mhz);

}  // namespace bridge
