#pragma once
// Hard symbols out of the demodulated channel at a kind's symbol rate: an average over the
// middle half of each symbol (where a Gaussian-filtered symbol has settled), a clock recovered
// from the zero crossings, and the decision around the channel's running mean (so a sonde a
// few kHz off still slices right). 1 = upper frequency.

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace receiver {

class SymbolSlicer {
 public:
  SymbolSlicer(double sample_rate, double symbol_rate);
  ~SymbolSlicer();
  SymbolSlicer(const SymbolSlicer&) = delete;
  SymbolSlicer& operator=(const SymbolSlicer&) = delete;

  void Process(std::span<const float> demod, std::vector<std::uint8_t>& symbols);
  // The mean of the demodulated samples, Hz: the channel's frequency error.
  double MeanHz() const;
  // Stops tracking the mean and slices around this value (for a signal known to be centred).
  void FixMean(double hz);
  // The channel was moved by -hz: the samples from now on sit hz higher. The mean moves with
  // them at once, rather than dragging the old place through the next frames.
  void ShiftMean(double hz);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace receiver
