#include "app/waiting_feed.h"

#include "telemetry/telemetry.h"

namespace nimbrix {

bool CarriesEverySonde(const StationConfig& config) {
  return config.nSONDEHUB == 1 || !config.sUDP.empty() || !config.sFLIGHTLOG.empty() ||
         config.nOBJECT == 1 || !config.sWEB.empty();
}

void WaitingFeed::ReadList(Reading& reading) {
  reading.heard.clear();
  if (!withList_ || !reading.answered) return;
  if (auto heard = ReadSondeList(p_.automation)) {
    reading.heard = std::move(*heard);
    view_.SondesHeard(reading.heard);
  }
}

void WaitingFeed::CycleRead(const SondeSample& sample, bool answered, std::int64_t utcMs,
                            std::int64_t monotonicMs) {
  newest_ = {sample, answered, utcMs, monotonicMs, {}};
  ReadList(newest_);
  handed_ = false;
  lastReadMs_ = monotonicMs;
}

void WaitingFeed::HandToOutputs(const std::vector<HandedLine>& lines) {
  Hand(lines);
}

void WaitingFeed::Hand(const std::vector<HandedLine>& lines) {
  handed_ = true;
  outputs_.Cycle(newest_.sample, newest_.answered, newest_.utcMs, newest_.monotonicMs, lines, view_,
                 newest_.heard);
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
  ReadList(reading);
  newest_ = std::move(reading);
  if (newest_.answered) view_.FrameRead(newest_.sample);
  Hand({});
}

}  // namespace nimbrix
