#include "telemetry/telemetry.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "format/round_to.h"
#include "telemetry/variant_conversion.h"

namespace nimbrix {

namespace {

// The speed factors are single-precision constants widened to double, so 10 m/s gives
// 35.99999904632568 km/h rather than 36.
constexpr double kKmhPerMs = static_cast<double>(3.6f);
constexpr double kKmhPerKnot = static_cast<double>(1.852f);

// A huge but finite answer can still overflow on the way (1e308 * 3.6); store 0 then.
double Finite(double value) {
  return std::isfinite(value) ? value : 0;
}

// Item 11 as an M10's or M20's APRS name: "ME" and seven letters or digits. Any other text
// there is the kind of sonde.
bool IsAprsName(std::string_view text) {
  if (text.size() != 9 || !text.starts_with("ME")) return false;
  for (const char c : text) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alnum) return false;
  }
  return true;
}

// A reading of the extension, kept only within what a sonde can send.
std::optional<double> Within(std::optional<double> value, double min, double max) {
  if (!value || !(*value >= min && *value <= max)) return std::nullopt;
  return value;
}

// The round's answers, taken in item order as the conversion below asks for them. After the
// first item the decoder left unanswered, the later items read as nothing even when their
// answers came: a decoder that stops answering reads the same as when it was asked one item
// after the other.
class ItemReader {
 public:
  // Asks items 0 to count - 1 in one round.
  ItemReader(Automation& decoder, int count) {
    live_ = decoder.IsAttached() || decoder.Attach(kDecoderProgId);
    if (!live_) return;
    std::vector<std::int16_t> items(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
      items[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i);
    answers_ = decoder.CallRound(kSondeDataMember, items);
    answers_.resize(items.size(), {Variant::Empty(), CallOutcome::kUnresponsive});
  }
  // The items of one entry of the decoder's list, 0 to count - 1; missing ones read as errors.
  ItemReader(std::vector<CallResult> answers, int count)
      : answers_(std::move(answers)), live_(true) {
    answers_.resize(static_cast<std::size_t>(count), {Variant::Empty(), CallOutcome::kFailed});
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

// The sample the reader's items make, the extension's only `withExtension`; whether the
// decoder answered every item asked.
bool SampleFrom(ItemReader& reader, SondeSample& sample, bool withExtension) {
  sample = SondeSample{};
  GivenReadings& given = sample.given;

  sample.serial = reader.Text(kSerial);

  sample.latitude = reader.Number(kLatitude);
  sample.longitude = reader.Number(kLongitude);

  const std::optional<double> altitude = reader.GivenNumber(kAltitude);
  given.altitude = altitude.has_value();
  sample.altitude = Finite(RoundTo(altitude.value_or(0), 2));

  const std::optional<double> heading = reader.GivenNumber(kHeading);
  double course = heading.value_or(0) + 180;
  if (course > 360) course -= 360;  // exactly 360 stays 360
  sample.course = Finite(RoundTo(course, 0));
  given.course = heading && sample.course != 0;

  const std::optional<double> speed = reader.GivenNumber(kSpeed);
  given.speed = speed.has_value();
  sample.speedKmh = Finite(speed.value_or(0) * kKmhPerMs);
  sample.speedKnots = Finite(RoundTo(sample.speedKmh / kKmhPerKnot, 0));

  sample.timeText = reader.Text(kTimeText);

  sample.qrg = reader.Text(kQrg);

  sample.pressure = Finite(RoundTo(reader.Number(kPressure), 1));
  given.pressure = sample.pressure != 0;

  const std::optional<double> temperatureAnswer = reader.GivenNumber(kTemperature);
  double temperature = temperatureAnswer.value_or(0);
  given.temperature = temperatureAnswer && temperature >= -99 && temperature <= 99;
  if (temperature < -99 || temperature > 99) temperature = -99;
  sample.temperature = Finite(RoundTo(temperature, 1));

  const std::optional<double> humidityAnswer = reader.GivenNumber(kHumidity);
  double humidity = humidityAnswer.value_or(0);
  given.humidity = humidityAnswer && humidity >= 0 && humidity <= 100;
  if (humidity < 0 || humidity > 100) humidity = 0;
  sample.humidity = Finite(RoundTo(humidity, 0));

  sample.typeOrAprsName = reader.Text(kTypeOrAprsName);
  if (!IsAprsName(sample.typeOrAprsName)) sample.kind = sample.typeOrAprsName;

  const std::optional<double> climb = reader.GivenNumber(kClimb);
  given.climb = climb.has_value();
  sample.climb = Finite(RoundTo(climb.value_or(0), 1));

  const Variant frame = reader.Ask(kFrame);
  given.frame = VariantNumber(frame).has_value();
  sample.frame = VariantToInt32(frame);
  sample.timeMs = VariantToInteger(reader.Ask(kTimeMs));

  if (withExtension) {
    if (std::string kind = reader.Text(kKind); !kind.empty()) sample.kind = std::move(kind);
    if (const auto sats = Within(reader.GivenNumber(kSatellites), 0, 99)) {
      sample.satellites = static_cast<int>(std::lround(*sats));
    }
    sample.batteryVolts = Within(reader.GivenNumber(kBatteryVolts), 0, 100);
  }
  return reader.Live();
}

}  // namespace

bool ReadSondeSample(Automation& decoder, SondeSample& sample, bool withExtension) {
  ItemReader reader(decoder, withExtension ? kDecoderItemCount : kContractItemCount);
  return SampleFrom(reader, sample, withExtension);
}

std::optional<std::vector<HeardSonde>> ReadSondeList(Automation& decoder) {
  if (!decoder.IsAttached()) return std::nullopt;
  std::optional<std::vector<ListedEntry>> entries = decoder.CallList(kSondeListMember);
  if (!entries) return std::nullopt;
  std::vector<HeardSonde> heard;
  heard.reserve(entries->size());
  for (ListedEntry& entry : *entries) {
    if (entry.ageMs > static_cast<std::uint32_t>(kSondeListForgetMs)) continue;
    HeardSonde sonde;
    sonde.ageMs = entry.ageMs;
    ItemReader reader(std::move(entry.items), kDecoderItemCount);
    SampleFrom(reader, sonde.sample, true);
    if (sonde.sample.serial.empty()) continue;  // no id, no sonde
    heard.push_back(std::move(sonde));
  }
  return heard;
}

}  // namespace nimbrix
