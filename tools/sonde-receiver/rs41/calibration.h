#pragma once
// The RS41's configuration and calibration: 51 fragments of 16 bytes, one per frame in turn,
// so a receiver holds them all only after 51 good frames. What each reading needs is checked
// fragment by fragment; a value is given only once its fragments have all come.

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace receiver {

inline constexpr int kRs41CalibrationFragments = 51;
inline constexpr int kRs41FragmentBytes = 16;

// The PTU block's raw readings: each sensor as a measured frequency and two references.
struct Rs41PtuReadings {
  std::array<std::uint32_t, 12> values{};  // temperature 0..2, humidity 3..5, humidity's sensor
                                           // temperature 6..8, pressure 9..11
};

class Rs41Calibration {
 public:
  void Add(int index, std::span<const std::uint8_t> fragment);  // ignored when out of range
  bool Has(int index) const;
  int Count() const { return static_cast<int>(held_.count()); }

  std::optional<int> TxFrequencyKhz() const;     // fragment 0x00
  std::optional<int> Firmware() const;           // fragment 0x01
  int BurstCountdown() const;                    // fragment 0x32; 65535 (off) until known
  std::optional<std::string> Subtype() const;    // "RS41-SG", fragments 0x21 and 0x22
  std::optional<std::string> Mainboard() const;  // "RSM412", fragment 0x22

  // Degrees Celsius and percent (0..100), as the sonde's single-precision arithmetic gives them.
  std::optional<float> Temperature(const Rs41PtuReadings& readings) const;
  std::optional<float> Humidity(const Rs41PtuReadings& readings, float temperature_c) const;

 private:
  bool HasAll(std::initializer_list<int> indices) const;
  float FloatAt(int offset) const;
  std::string TextAt(int offset, int length) const;

  std::array<std::uint8_t, kRs41CalibrationFragments * kRs41FragmentBytes> bytes_{};
  std::bitset<kRs41CalibrationFragments> held_;
};

}  // namespace receiver
