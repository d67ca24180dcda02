#include "format/coordinate_text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "format/format_mask.h"

namespace nimbrix {

namespace {

std::string DegreesAndMinutes(double degrees, float minutes, std::string_view degreeMask,
                              std::string_view minuteMask, std::string_view rolledOver) {
  std::string minuteText = FormatMask(static_cast<double>(minutes), minuteMask);
  // Minutes just under 60 can round up to "60" in the mask; show the next degree instead.
  if (minuteText == rolledOver) {
    degrees += 1;
    minuteText = FormatMask(0.0, minuteMask);
  }
  return FormatMask(degrees, degreeMask) + minuteText;
}

}  // namespace

CoordinateTexts MakeCoordinateTexts(double value, int degreeDigits, char positive, char negative) {
  if (!std::isfinite(value)) value = 0;
  const char letter = value < 0 ? negative : positive;
  const double a = std::fabs(value);
  // trunc stays in double, so even 1e300 degrees needs no conversion to an integer type.
  const double d = std::trunc(a);
  // Computed in double, then held as a float: the masks show that float's exact value.
  const auto m = static_cast<float>((a - d) * 60.0);
  const std::string degreeMask(static_cast<std::size_t>(std::clamp(degreeDigits, 1, 3)), '0');

  CoordinateTexts texts;
  texts.gga = DegreesAndMinutes(d, m, degreeMask, "00.0000", "60.0000") + "," + letter;
  texts.aprs = DegreesAndMinutes(d, m, degreeMask, "00.00", "60.00") + letter;
  return texts;
}

}  // namespace nimbrix
