#pragma once

#include <string>

namespace nimbrix {

// One coordinate in the two forms the station writes it: degrees and minutes, then the
// hemisphere letter.
struct CoordinateTexts {
  std::string gga;   // "4807.4074,N": minutes with 4 decimals, a comma before the letter
  std::string aprs;  // "4807.41N": minutes with 2 decimals, the letter directly behind
};

// Degrees and minutes of `value`, degrees written with `degreeDigits` digits, the letter
// `positive` for 0 and above, `negative` below. Each form rolls "60" minutes over into the
// next degree on its own. NaN and infinity read as 0.
CoordinateTexts MakeCoordinateTexts(double value, int degreeDigits, char positive, char negative);

// The latitude (2 digits of degrees, N/S) and the longitude (3 digits, E/W).
inline CoordinateTexts LatitudeTexts(double degrees) {
  return MakeCoordinateTexts(degrees, 2, 'N', 'S');
}
inline CoordinateTexts LongitudeTexts(double degrees) {
  return MakeCoordinateTexts(degrees, 3, 'E', 'W');
}

}  // namespace nimbrix
