#pragma once
// Tells the kind of sonde on a demodulated channel by its signature: symbol rate, coding and
// sync word, in either polarity. Fed the channel's samples as they come; says a kind once its
// sync word has been seen often enough to be no accident.

#include <memory>
#include <optional>
#include <span>

#include "common/sonde_kind.h"

namespace receiver {

struct KindMatch {
  SondeKind kind;
  bool inverted = false;  // the sync word came upside down (the receiver's FM or the sonde's)
  int syncs_seen = 0;
};

class KindDetector {
 public:
  explicit KindDetector(double sample_rate);
  ~KindDetector();
  KindDetector(const KindDetector&) = delete;
  KindDetector& operator=(const KindDetector&) = delete;

  void Process(std::span<const float> demod);
  std::optional<KindMatch> Found() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// What the demodulator needs to know of a kind: symbol rate and the FSK deviation.
struct KindSignal {
  double symbol_rate;
  double deviation_hz;
};
KindSignal SignalOf(SondeKind kind);

}  // namespace receiver
