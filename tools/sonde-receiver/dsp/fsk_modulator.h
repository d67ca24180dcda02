#pragma once
// A sonde's transmitter, for the tests and the band simulator: symbols to complex baseband,
// plain or Gaussian-filtered FSK (the RS41's GFSK: BT 0.5). Continuous phase; an unmodulated
// carrier when no symbols are queued.

#include <complex>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace receiver {

struct FskConfig {
  double sample_rate = 2048000;
  double symbol_rate = 4800;
  double deviation_hz = 2400;
  double gaussian_bt = 0;  // 0: plain FSK
  double offset_hz = 0;    // the carrier's place relative to the stream's centre
  float amplitude = 1;
};

class FskModulator {
 public:
  explicit FskModulator(const FskConfig& config);
  void Queue(std::span<const std::uint8_t> symbols);  // 1 = +deviation
  std::size_t Pending() const;                        // symbols not yet sent
  void SetOffset(double offset_hz);                   // a drifting sonde, a retuned dongle
  void Generate(std::span<std::complex<float>> out);  // adds to what is in `out`

 private:
  FskConfig config_;
  std::deque<std::uint8_t> symbols_;
  std::vector<float> pulse_;    // the Gaussian pulse, samples per symbol long
  std::vector<float> history_;  // the last symbols' levels for the pulse's spread
  double phase_ = 0;
  double symbol_clock_ = 0;
};

}  // namespace receiver
