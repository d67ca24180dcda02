#include "uplink/gga_sentence.h"

#include "format/clock_text.h"
#include "format/coordinate_text.h"
#include "format/number_text.h"

namespace nimbrix {

std::string GgaSentence(const SondeSample& sample) {
  return "$GPGGA," + TimeOfDayField(sample.timeText) + "," + LatitudeTexts(sample.latitude).gga +
         "," + LongitudeTexts(sample.longitude).gga + ",1,8,0.9," +
         TrimmedNumberText(sample.altitude, 15) + ",M,0,M,,/GPS FIX";
}

}  // namespace nimbrix
