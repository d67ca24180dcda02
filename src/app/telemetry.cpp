#include "app/telemetry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include "app/variant_conversion.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/round_to.h"

namespace nimbrix {

namespace {

// The decoder's member that answers one telemetry item per call.
constexpr std::string_view kSondeDataMember = "GETSONDEDATA";

// The speed factors are single-precision constants widened to double, so 10 m/s gives
// 35.99999904632568 km/h rather than 36.
constexpr double kKmhPerMs = static_cast<double>(3.6f);
constexpr double kKmhPerKnot = static_cast<double>(1.852f);

// A huge but finite answer can still overflow on the way (1e308 * 3.6); store 0 then.
double Finite(double value) {
  return std::isfinite(value) ? value : 0;
}

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

class ItemReader {
 public:
  explicit ItemReader(Automation& decoder) : decoder_(decoder) {
    live_ = decoder_.IsAttached() || decoder_.Attach(kDecoderProgId);
  }

  Variant Ask(int item) {
    if (!live_) return {};
    CallResult result = decoder_.Call(kSondeDataMember, static_cast<std::int16_t>(item));
    if (result.outcome == CallOutcome::kUnresponsive) live_ = false;
    if (result.outcome != CallOutcome::kOk) return {};
    return std::move(result.value);
  }

  std::string Text(int item) { return VariantToText(Ask(item)); }
  double Number(int item) { return VariantToNumber(Ask(item)); }

 private:
  Automation& decoder_;
  bool live_ = false;
};

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

std::string GgaTimeField(const std::string& timeText) {
  std::string field;
  if (timeText.size() <= 11) return field;
  for (char c : std::string_view(timeText).substr(11, 8)) {
    if (c != ':') field += c;
  }
  return field;
}

void ReadSondeSample(Automation& decoder, SondeSample& sample) {
  sample = SondeSample{};
  sample.ggaSentence = "$GPGGA,";
  ItemReader reader(decoder);

  sample.serial = reader.Text(0);

  sample.latitude = reader.Number(1);
  const CoordinateTexts lat = MakeCoordinateTexts(sample.latitude, 2, 'N', 'S');
  sample.ggaLat = lat.gga;
  sample.aprsLat = lat.aprs;

  sample.longitude = reader.Number(2);
  const CoordinateTexts lon = MakeCoordinateTexts(sample.longitude, 3, 'E', 'W');
  sample.ggaLon = lon.gga;
  sample.aprsLon = lon.aprs;

  sample.altitude = Finite(RoundTo(reader.Number(3), 2));

  double course = reader.Number(4) + 180;
  if (course > 360) course -= 360;  // exactly 360 stays 360
  sample.course = Finite(RoundTo(course, 0));

  sample.speedKmh = Finite(reader.Number(5) * kKmhPerMs);
  sample.speedKnots = Finite(RoundTo(sample.speedKmh / kKmhPerKnot, 0));

  sample.timeText = reader.Text(6);
  sample.ggaSentence += GgaTimeField(sample.timeText) + "," + sample.ggaLat + "," + sample.ggaLon +
                        ",1,8,0.9," + TrimmedNumberText(sample.altitude, 15) + ",M,0,M,,/GPS FIX";

  sample.qrg = reader.Text(7);

  sample.pressure = Finite(RoundTo(reader.Number(8), 1));

  double temperature = reader.Number(9);
  if (temperature < -99 || temperature > 99) temperature = -99;
  sample.temperature = Finite(RoundTo(temperature, 1));

  double humidity = reader.Number(10);
  if (humidity < 0 || humidity > 100) humidity = 0;
  sample.humidity = Finite(RoundTo(humidity, 0));

  reader.Text(11);  // asked for like the others; its answer has no use here

  sample.climb = Finite(RoundTo(reader.Number(12), 1));
  sample.frame = VariantToInt16(reader.Ask(13));
  sample.item14 = VariantToInteger(reader.Ask(14));
}

}  // namespace nimbrix
