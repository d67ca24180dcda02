#include "app/waiting_feed.h"

#include "telemetry/telemetry.h"

namespace nimbrix {

void WaitingFeed::CycleRead(const SondeSample& sample, bool answered, std::int64_t utcMs,
                            std::int64_t monotonicMs) {
  newest_ = {sample, answered, utcMs, monotonicMs};
  handed_ = false;
  lastReadMs_ = monotonicMs;
}

void WaitingFeed::HandToOutputs(const std::vector<HandedLine>& lines) {
  Hand(lines);
}

void WaitingFeed::Hand(const std::vector<HandedLine>& lines) {
  handed_ = true;
  outputs_.Cycle(newest_.sample, newest_.answered, newest_.utcMs, newest_.monotonicMs, lines,
                 view_);
}

void WaitingFeed::Run() {
  // The cycle's own reading first: the frame it holds may be gone from the decoder by now.
  if (!handed_) Hand({});
  // Spaced from the start of the read, so a slow decoder does not stretch the second.
  lastReadMs_ = p_.clock.MonotonicMs();
  Reading reading;
  reading.answered = ReadSondeSample(p_.automation, reading.sample, withExtension_);
  reading.utcMs = p_.clock.UtcMs();
  reading.monotonicMs = p_.clock.MonotonicMs();
  newest_ = reading;
  if (reading.answered) view_.FrameRead(newest_.sample);
  Hand({});
}

}  // namespace nimbrix
