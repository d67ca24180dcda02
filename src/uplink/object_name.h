#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

// The name a sonde goes out under as an APRS object: the name the sonde maps know it by, so
// that every station that hears it feeds one track. Upper-cased; from the serial (item 0):
//   3 to 9 letters and digits            the serial as it stands  (RS41 S1234567, RS92 P1234567)
//   "DFM-" and 1 to 8 digits             "D" and those digits     (DFM-314377 gives D314377)
//   "M10-..." or "M20-..."               the decoder's APRS name of the sonde (item 11), 9
//                                        letters and digits        (ME8123456)
// Any other serial has no name (nullopt): no name is ever made up.
std::optional<std::string> ObjectNameOf(std::string_view serial, std::string_view typeOrAprsName);

}  // namespace nimbrix
