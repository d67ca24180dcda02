#include "telemetry/telemetry.h"

#include <cmath>
#include <cstdint>
#include <string_view>
#include <utility>

#include "format/round_to.h"
#include "telemetry/variant_conversion.h"

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
  bool Live() const { return live_; }
  double Number(int item) { return VariantToNumber(Ask(item)); }

 private:
  Automation& decoder_;
  bool live_ = false;
};

}  // namespace

bool ReadSondeSample(Automation& decoder, SondeSample& sample) {
  sample = SondeSample{};
  ItemReader reader(decoder);

  sample.serial = reader.Text(0);

  sample.latitude = reader.Number(1);
  sample.longitude = reader.Number(2);

  sample.altitude = Finite(RoundTo(reader.Number(3), 2));

  double course = reader.Number(4) + 180;
  if (course > 360) course -= 360;  // exactly 360 stays 360
  sample.course = Finite(RoundTo(course, 0));

  sample.speedKmh = Finite(reader.Number(5) * kKmhPerMs);
  sample.speedKnots = Finite(RoundTo(sample.speedKmh / kKmhPerKnot, 0));

  sample.timeText = reader.Text(6);

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
  sample.frame = VariantToInt32(reader.Ask(13));
  sample.item14 = VariantToInteger(reader.Ask(14));
  return reader.Live();
}

}  // namespace nimbrix
