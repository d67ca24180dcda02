#pragma once

#include <cstdint>
#include <vector>

#include "app/report_sending.h"
#include "app/station_outputs.h"
#include "app/station_platform.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "platform/wait_work.h"
#include "telemetry/sonde_sample.h"
#include "telemetry/telemetry.h"

namespace nimbrix {

// Whether the configuration has an output that carries every sonde heard, not only the one
// followed: SondeHub, the chase-car summary, the flight log, the objects, the status page.
bool CarriesEverySonde(const StationConfig& config);

// A decoder makes a frame a second on its own clock: reads never more than a second apart
// miss none. While the primary link waits, the decoder is read twice a second; in the
// cycle's own pause, after which the cycle reads, only when the cycle's read would come close
// to a second after the last one (with room for the cycle's own work).
inline constexpr int kFrameReadEveryMs = 500;
inline constexpr int kFrameReadLatestMs = 980;

// Keeps the outputs beside the primary link fed while the primary link waits: its report
// spacing, a connect pass, a send held by a stuck server. Between two cycles, when a read is
// due (above), it reads the decoder (the same round,
// with the same attachment rules, as the cycle's) and hands the frame to the outputs. The
// cycle's own reading stays the cycle's: the primary's reports and the dashboard are made
// from it alone. The outputs get every reading, the cycle's as soon as the next one is made,
// in the order they were made, so that no frame is skipped or goes to them out of order.
class WaitingFeed : public WaitWork {
 public:
  struct Reading {
    SondeSample sample;
    bool answered = false;
    std::int64_t utcMs = 0;
    std::int64_t monotonicMs = 0;
    std::vector<HeardSonde> heard;  // every sonde heard, with `withList`
  };

  // `withList`: the outputs carry every sonde, and the decoder's list is read with each frame.
  WaitingFeed(Platform& platform, bool withExtension, bool withList, StationOutputs& outputs,
              StationView& view)
      : p_(platform),
        withExtension_(withExtension),
        withList_(withList),
        outputs_(outputs),
        view_(view) {}

  // The decoder was attached at `monotonicMs`: the first read is due from then on.
  void StartAt(std::int64_t monotonicMs) { lastReadMs_ = monotonicMs; }
  // The cycle has read the decoder itself.
  void CycleRead(const SondeSample& sample, bool answered, std::int64_t utcMs,
                 std::int64_t monotonicMs);
  // The cycle hands the outputs the newest frame read, with the lines it gave the primary link.
  void HandToOutputs(const std::vector<HandedLine>& lines);
  const Reading& Newest() const { return newest_; }

  // The cycle's own pause begins (true) or has ended.
  void CyclePause(bool inPause) { inCyclePause_ = inPause; }

  std::int64_t NextDueMs() const override {
    return lastReadMs_ + (inCyclePause_ ? kFrameReadLatestMs : kFrameReadEveryMs);
  }
  void Run() override;

 private:
  Platform& p_;
  void ReadList(Reading& reading);

  bool withExtension_;
  bool withList_;
  StationOutputs& outputs_;
  StationView& view_;
  void Hand(const std::vector<HandedLine>& lines);

  Reading newest_;
  bool handed_ = true;  // whether the outputs have had the newest reading
  std::int64_t lastReadMs_ = 0;
  bool inCyclePause_ = false;
};

}  // namespace nimbrix
