#pragma once
// The band cut into the spans the dongle looks at one after the other. Only the middle of
// each span is used (the dongle's filter rolls off at the edges) and a few kHz around its DC
// spike are blind, so neighbouring spans overlap enough that every frequency of the band lies
// in the clear part of at least one of them.

#include <cstddef>
#include <optional>
#include <vector>

namespace receiver {

struct Span {
  double center_hz;
  double low_hz;  // the clear part: [low, center - guard) and (center + guard, high]
  double high_hz;
};

struct BandPlanConfig {
  double low_hz = 400e6;
  double high_hz = 406e6;
  double sample_rate = 2048000;
  double usable_fraction = 0.78;
  double dc_guard_hz = 10000;
};

class BandPlan {
 public:
  explicit BandPlan(const BandPlanConfig& config);

  const std::vector<Span>& Spans() const { return spans_; }
  const BandPlanConfig& Config() const { return config_; }
  // Whether `hz` lies in the clear part of span `index`.
  bool Covers(std::size_t index, double hz) const;
  // The span that sees `hz` best: in its clear part, farthest from its edges and DC guard.
  std::optional<std::size_t> BestSpanFor(double hz) const;
  // The distance of `hz` from the nearest blind place of span `index` (negative: blind).
  double Margin(std::size_t index, double hz) const;

 private:
  BandPlanConfig config_;
  std::vector<Span> spans_;
};

}  // namespace receiver
