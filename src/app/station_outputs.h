#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/error_log.h"
#include "app/primary_link.h"
#include "app/report_sending.h"
#include "app/station_platform.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "outputs/frame_news.h"
#include "outputs/output.h"
#include "telemetry/sonde_sample.h"

namespace nimbrix {

using OutputList = std::vector<std::unique_ptr<Output>>;
// Makes the outputs the configuration asks for: the system's own (main.cpp), or fakes in tests.
using OutputMaker = std::function<OutputList(const StationConfig&, Platform&)>;

// A clean stop gives the outputs this long, all together, to deliver what must not be lost.
inline constexpr int kOutputStopMs = 5000;

// The outputs beside the primary link, fed one way by the cycle: once per cycle each output
// gets the cycle's facts, its records go to nimbrix.err through `records`, the primary link
// counts the lines it was handed, and the view is told every destination's state.
class StationOutputs {
 public:
  StationOutputs(OutputList outputs, Platform& platform, ErrorLog& records, PrimaryLink& primary)
      : outputs_(std::move(outputs)), p_(platform), records_(records), primary_(primary) {}

  bool Empty() const { return outputs_.empty(); }

  // One cycle: `utcMs` and `monotonicMs` are when the sample was read; `handed` the lines the
  // primary link was given.
  // `heard`: every sonde the decoder has heard, when it was asked for its list.
  void Cycle(const SondeSample& sample, bool decoderAnswered, std::int64_t utcMs,
             std::int64_t monotonicMs, const std::vector<HandedLine>& handed, StationView& view,
             std::span<const HeardSonde> heard = {});

  // The clean stop: every output may deliver what it holds, within one shared time limit.
  void Stop();

  // Every destination's state, the primary link's first.
  std::vector<DestinationStatus> Statuses() const;

 private:
  OutputList outputs_;
  Platform& p_;
  ErrorLog& records_;
  PrimaryLink& primary_;
  FrameNews news_;  // which frames are new, for every output alike
};

}  // namespace nimbrix
