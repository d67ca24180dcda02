#include "web/status_snapshot.h"

#include <utility>

namespace nimbrix {

namespace {

bool SameFrame(const SondeSample& a, const SondeSample& b) {
  return a.serial == b.serial && a.frame == b.frame && a.timeText == b.timeText &&
         a.latitude == b.latitude && a.longitude == b.longitude && a.altitude == b.altitude;
}

bool HasPosition(const SondeSample& s) {
  return s.latitude != 0 || s.longitude != 0;
}

std::string WithoutLineEnds(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

template <typename T>
void PushBounded(std::deque<T>& list, T item, std::size_t limit) {
  list.push_back(std::move(item));
  while (list.size() > limit) list.pop_front();
}

}  // namespace

StatusCollector::StatusCollector(std::string callsign, std::string version,
                                 std::int64_t startUtcMs) {
  snapshot_.callsign = std::move(callsign);
  snapshot_.version = std::move(version);
  snapshot_.startUtcMs = startUtcMs;
  snapshot_.nowUtcMs = startUtcMs;
}

void StatusCollector::Sample(const SondeSample& sample, bool answered, std::int64_t utcMs) {
  snapshot_.nowUtcMs = utcMs;
  snapshot_.decoderAnswers = answered;
  // A decoder that does not answer gives an empty reading: the last frame stays, growing old.
  if (!answered || sample.serial.empty()) return;
  if (snapshot_.frame && SameFrame(*snapshot_.frame, sample)) return;
  if (snapshot_.frame && snapshot_.frame->serial != sample.serial) snapshot_.track.clear();
  snapshot_.frame = sample;
  snapshot_.frameUtcMs = utcMs;
  if (!HasPosition(sample)) return;
  const TrackPoint point{utcMs, sample.latitude, sample.longitude, sample.altitude};
  const auto& track = snapshot_.track;
  if (!track.empty() && track.back().latitude == point.latitude &&
      track.back().longitude == point.longitude && track.back().altitude == point.altitude) {
    return;
  }
  PushBounded(snapshot_.track, point, kTrackPoints);
}

void StatusCollector::LineSent(const std::string& line, std::int64_t utcMs) {
  PushBounded(snapshot_.linesSent, StampedText{utcMs, WithoutLineEnds(line)}, kLines);
}

void StatusCollector::Record(const std::string& record, std::int64_t utcMs) {
  PushBounded(snapshot_.records, StampedText{utcMs, WithoutLineEnds(record)}, kRecords);
}

void StatusCollector::Moment(bool decoderAnswers, std::int64_t utcMs) {
  snapshot_.decoderAnswers = decoderAnswers;
  snapshot_.nowUtcMs = utcMs;
}

void StatusCollector::Destinations(std::vector<DestinationStatus> statuses) {
  snapshot_.destinations = std::move(statuses);
}

}  // namespace nimbrix
