#include "app/station_outputs.h"

#include "uplink/error_records.h"

namespace nimbrix {

void StationOutputs::Cycle(const SondeSample& sample, bool decoderAnswered, std::int64_t utcMs,
                           std::int64_t monotonicMs, const std::vector<HandedLine>& handed,
                           StationView& view, std::span<const HeardSonde> heard) {
  primary_.Count(handed, utcMs);
  std::vector<std::string> lines;
  lines.reserve(handed.size());
  for (const HandedLine& h : handed) lines.push_back(h.line);
  const std::vector<SondeFrame> frames = news_.Mark(sample, decoderAnswered, heard);
  const CycleFacts facts{sample, decoderAnswered, utcMs, monotonicMs, lines, frames};
  for (const std::unique_ptr<Output>& output : outputs_) {
    output->Cycle(facts);
    for (const std::string& record : output->TakeRecords()) {
      view.DestinationRecord(records_.Write(record), output->Status().name);
    }
  }
  view.Destinations(Statuses(), ClockReading{p_.clock.Now(), p_.clock.UtcMs()});
}

void StationOutputs::Stop() {
  const std::int64_t deadline = p_.clock.MonotonicMs() + kOutputStopMs;
  for (const std::unique_ptr<Output>& output : outputs_) output->Stop(deadline);
}

std::vector<DestinationStatus> StationOutputs::Statuses() const {
  std::vector<DestinationStatus> statuses;
  statuses.reserve(outputs_.size() + 1);
  statuses.push_back(primary_.Status());
  for (const std::unique_ptr<Output>& output : outputs_) statuses.push_back(output->Status());
  return statuses;
}

}  // namespace nimbrix
