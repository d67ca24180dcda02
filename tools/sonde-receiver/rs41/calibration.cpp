#include "rs41/calibration.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace receiver {

namespace {
// Byte offsets into the 816 calibration bytes.
constexpr int kRefResistor1 = 61;  // two reference resistors of the measuring bridge
constexpr int kRefResistor2 = 65;
constexpr int kTempPoly = 77;      // resistance-to-temperature polynomial, 3 floats
constexpr int kTempCal = 89;       // the sensor's own scale and offsets, 3 floats
constexpr int kHumidityCal = 117;  // the capacitance at 0 % and a scale
constexpr int kSubtype = 0x21 * 16 + 8;
constexpr int kMainboard = 0x22 * 16 + 2;
}  // namespace

void Rs41Calibration::Add(int index, std::span<const std::uint8_t> fragment) {
  if (index < 0 || index >= kRs41CalibrationFragments ||
      fragment.size() != static_cast<std::size_t>(kRs41FragmentBytes)) {
    return;
  }
  std::copy(fragment.begin(), fragment.end(), bytes_.begin() + index * kRs41FragmentBytes);
  held_.set(static_cast<std::size_t>(index));
}

bool Rs41Calibration::Has(int index) const {
  return index >= 0 && index < kRs41CalibrationFragments &&
         held_.test(static_cast<std::size_t>(index));
}

bool Rs41Calibration::HasAll(std::initializer_list<int> indices) const {
  return std::all_of(indices.begin(), indices.end(), [this](int i) { return Has(i); });
}

float Rs41Calibration::FloatAt(int offset) const {
  float value;
  static_assert(sizeof value == 4);
  std::memcpy(&value, bytes_.data() + offset, 4);  // little-endian IEEE, as the host's
  return value;
}

std::string Rs41Calibration::TextAt(int offset, int length) const {
  std::string text;
  for (int i = 0; i < length; ++i) {
    const std::uint8_t c = bytes_[static_cast<std::size_t>(offset + i)];
    if (c == 0) break;
    if (c >= 0x20 && c < 0x7F) text += static_cast<char>(c);
  }
  return text;
}

std::optional<int> Rs41Calibration::TxFrequencyKhz() const {
  if (!Has(0x00)) return std::nullopt;
  // 40 kHz steps above 400 MHz, and the top two bits of the byte before in 10 kHz.
  const int steps = bytes_[3];
  const int quarter = bytes_[2] >> 6;
  return 400000 + 40 * steps + 10 * quarter;
}

std::optional<int> Rs41Calibration::Firmware() const {
  if (!Has(0x01)) return std::nullopt;
  const int firmware = bytes_[16 + 5] | bytes_[16 + 6] << 8;
  if (firmware == 0) return std::nullopt;
  return firmware;
}

int Rs41Calibration::BurstCountdown() const {
  if (!Has(0x32)) return 65535;
  return bytes_[0x32 * 16] | bytes_[0x32 * 16 + 1] << 8;
}

std::optional<std::string> Rs41Calibration::Subtype() const {
  if (!HasAll({0x21, 0x22})) return std::nullopt;
  std::string text = TextAt(kSubtype, 10);
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> Rs41Calibration::Mainboard() const {
  if (!Has(0x22)) return std::nullopt;
  std::string text = TextAt(kMainboard, 10);
  if (text.empty()) return std::nullopt;
  return text;
}

std::optional<float> Rs41Calibration::Temperature(const Rs41PtuReadings& readings) const {
  if (!HasAll({0x03, 0x04, 0x05, 0x06})) return std::nullopt;
  const std::uint32_t f = readings.values[0], f1 = readings.values[1], f2 = readings.values[2];
  if (f1 == f2) return std::nullopt;
  const float r1 = FloatAt(kRefResistor1), r2 = FloatAt(kRefResistor2);
  const float p0 = FloatAt(kTempPoly), p1 = FloatAt(kTempPoly + 4), p2 = FloatAt(kTempPoly + 8);
  const float scale = FloatAt(kTempCal), offset = FloatAt(kTempCal + 4),
              gain = FloatAt(kTempCal + 8);
  // The two references give the bridge's gain and offset; the sensor's resistance follows.
  const float span = static_cast<float>(static_cast<double>(f2) - static_cast<double>(f1));
  const float per_ohm = span / (r2 - r1);
  const float zero = (static_cast<float>(f1) * r2 - static_cast<float>(f2) * r1) / span;
  const float resistance = (static_cast<float>(f) / per_ohm - zero) * scale;
  const float t = static_cast<float>(
      (p0 + p1 * resistance + p2 * resistance * resistance + offset) * (1.0 + gain));
  if (!std::isfinite(t) || t < -273.0f || t > 100.0f) return std::nullopt;
  return t;
}

std::optional<float> Rs41Calibration::Humidity(const Rs41PtuReadings& readings,
                                               float temperature_c) const {
  if (!Has(0x07) || !(temperature_c > -273.0f)) return std::nullopt;
  const double f = readings.values[3], f1 = readings.values[4], f2 = readings.values[5];
  if (f1 == f2) return std::nullopt;
  const float at_zero = FloatAt(kHumidityCal);
  // An empirical fit of the capacitance's share between the references, with a correction
  // for the sensor's lag in the cold.
  const float slope = static_cast<float>(350.0 / at_zero);
  const float share = static_cast<float>(f - f1) / static_cast<float>(f2 - f1);
  float rh = static_cast<float>(100.0 * (slope * share - 7.5f));
  rh = static_cast<float>(rh - temperature_c / 5.5);
  if (temperature_c < -20.0f)
    rh = static_cast<float>(rh * (1.0 + (-20.0f - temperature_c) / 100.0));
  if (temperature_c < -40.0f)
    rh = static_cast<float>(rh * (1.0 + (-40.0f - temperature_c) / 120.0));
  if (!std::isfinite(rh)) return std::nullopt;
  return std::clamp(rh, 0.0f, 100.0f);
}

}  // namespace receiver
