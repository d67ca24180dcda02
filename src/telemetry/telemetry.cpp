#include "telemetry/telemetry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

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

// The decoder's fifteen items, asked in one round.
constexpr int kItemCount = 15;

// The round's answers, taken in item order as the conversion below asks for them. After the
// first item the decoder left unanswered, the later items read as nothing even when their
// answers came: a decoder that stops answering reads the same as when it was asked one item
// after the other.
class ItemReader {
 public:
  explicit ItemReader(Automation& decoder) {
    live_ = decoder.IsAttached() || decoder.Attach(kDecoderProgId);
    if (!live_) return;
    std::vector<std::int16_t> items(kItemCount);
    for (int i = 0; i < kItemCount; ++i) items[i] = static_cast<std::int16_t>(i);
    answers_ = decoder.CallRound(kSondeDataMember, items);
    answers_.resize(kItemCount, {Variant::Empty(), CallOutcome::kUnresponsive});
  }

  Variant Ask(int item) {
    if (!live_) return {};
    CallResult& result = answers_[static_cast<std::size_t>(item)];
    if (result.outcome == CallOutcome::kUnresponsive) live_ = false;
    if (result.outcome != CallOutcome::kOk) return {};
    return std::move(result.value);
  }

  std::string Text(int item) { return VariantToText(Ask(item)); }
  bool Live() const { return live_; }
  double Number(int item) { return VariantToNumber(Ask(item)); }
  // nullopt when the decoder gave no number: the item reads as 0, but it was no reading.
  std::optional<double> GivenNumber(int item) { return VariantNumber(Ask(item)); }

 private:
  std::vector<CallResult> answers_;
  bool live_ = false;
};

}  // namespace

bool ReadSondeSample(Automation& decoder, SondeSample& sample) {
  sample = SondeSample{};
  ItemReader reader(decoder);
  GivenReadings& given = sample.given;

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
  given.pressure = sample.pressure != 0;

  const std::optional<double> temperatureAnswer = reader.GivenNumber(9);
  double temperature = temperatureAnswer.value_or(0);
  given.temperature = temperatureAnswer && temperature >= -99 && temperature <= 99;
  if (temperature < -99 || temperature > 99) temperature = -99;
  sample.temperature = Finite(RoundTo(temperature, 1));

  const std::optional<double> humidityAnswer = reader.GivenNumber(10);
  double humidity = humidityAnswer.value_or(0);
  given.humidity = humidityAnswer && humidity >= 0 && humidity <= 100;
  if (humidity < 0 || humidity > 100) humidity = 0;
  sample.humidity = Finite(RoundTo(humidity, 0));

  sample.item11 = reader.Text(11);

  const std::optional<double> climb = reader.GivenNumber(12);
  given.climb = climb.has_value();
  sample.climb = Finite(RoundTo(climb.value_or(0), 1));

  const Variant frame = reader.Ask(13);
  given.frame = VariantNumber(frame).has_value();
  sample.frame = VariantToInt32(frame);
  sample.item14 = VariantToInteger(reader.Ask(14));
  return reader.Live();
}

}  // namespace nimbrix
