#include "web/status_snapshot.h"

#include <algorithm>
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

// A new position extends the track; the same place again adds nothing.
void Extend(std::deque<TrackPoint>& track, const SondeSample& s, std::int64_t utcMs,
            std::size_t limit) {
  if (!HasPosition(s)) return;
  if (!track.empty() && track.back().latitude == s.latitude &&
      track.back().longitude == s.longitude && track.back().altitude == s.altitude) {
    return;
  }
  PushBounded(track, TrackPoint{utcMs, s.latitude, s.longitude, s.altitude}, limit);
}

}  // namespace

StatusCollector::StatusCollector(std::string callsign, std::string version,
                                 std::int64_t startUtcMs) {
  snapshot_.callsign = std::move(callsign);
  snapshot_.version = std::move(version);
  snapshot_.startUtcMs = startUtcMs;
  snapshot_.nowUtcMs = startUtcMs;
}

void StatusCollector::Now(std::int64_t utcMs) {
  snapshot_.nowUtcMs = utcMs;
  auto& heard = snapshot_.heard;
  heard.erase(
      std::remove_if(heard.begin(), heard.end(),
                     [utcMs](const ListedSonde& s) { return utcMs - s.heardUtcMs > kSilentMs; }),
      heard.end());
}

void StatusCollector::Sample(const SondeSample& sample, bool answered, std::int64_t utcMs) {
  Now(utcMs);
  snapshot_.decoderAnswers = answered;
  // A decoder that does not answer gives an empty reading: the last frame stays, growing old.
  if (!answered || sample.serial.empty()) return;
  if (snapshot_.frame && SameFrame(*snapshot_.frame, sample)) return;
  if (snapshot_.frame && snapshot_.frame->serial != sample.serial) snapshot_.track.clear();
  snapshot_.frame = sample;
  snapshot_.frameUtcMs = utcMs;
  Extend(snapshot_.track, sample, utcMs, kTrackPoints);
}

void StatusCollector::Heard(const std::vector<HeardSonde>& heard, std::int64_t utcMs) {
  snapshot_.listed = true;
  auto& known = snapshot_.heard;
  // However long the decoder's list, only its freshest few can stay: the work is bounded by
  // what the page holds. They keep the decoder's order among themselves.
  std::vector<const HeardSonde*> freshest;
  for (const HeardSonde& h : heard) {
    if (!h.sample.serial.empty()) freshest.push_back(&h);
  }
  if (freshest.size() > kHeardSondes) {
    const auto cut = freshest.begin() + static_cast<std::ptrdiff_t>(kHeardSondes);
    std::nth_element(freshest.begin(), cut, freshest.end(),
                     [](const HeardSonde* a, const HeardSonde* b) { return a->ageMs < b->ageMs; });
    freshest.erase(cut, freshest.end());
    std::sort(freshest.begin(), freshest.end());
  }
  for (const HeardSonde* listed : freshest) {
    const HeardSonde& h = *listed;
    const std::int64_t heardUtcMs = utcMs - static_cast<std::int64_t>(h.ageMs);
    auto it = std::find_if(known.begin(), known.end(), [&h](const ListedSonde& s) {
      return s.frame.serial == h.sample.serial;
    });
    if (it == known.end()) {
      known.push_back(ListedSonde{h.sample, heardUtcMs, {}});
      Extend(known.back().track, h.sample, heardUtcMs, kTrackPoints);
      continue;
    }
    // The same frame listed again only grows older.
    if (SameFrame(it->frame, h.sample)) continue;
    it->frame = h.sample;
    it->heardUtcMs = heardUtcMs;
    Extend(it->track, h.sample, heardUtcMs, kTrackPoints);
  }
  // A decoder that lists more than the page holds: the sondes heard longest ago give way.
  while (known.size() > kHeardSondes) {
    known.erase(std::min_element(
        known.begin(), known.end(),
        [](const ListedSonde& a, const ListedSonde& b) { return a.heardUtcMs < b.heardUtcMs; }));
  }
  Now(utcMs);
}

void StatusCollector::LineSent(const std::string& line, std::int64_t utcMs) {
  PushBounded(snapshot_.linesSent, StampedText{utcMs, WithoutLineEnds(line)}, kLines);
}

void StatusCollector::Record(const std::string& record, std::int64_t utcMs) {
  PushBounded(snapshot_.records, StampedText{utcMs, WithoutLineEnds(record)}, kRecords);
}

void StatusCollector::Moment(bool decoderAnswers, std::int64_t utcMs) {
  snapshot_.decoderAnswers = decoderAnswers;
  Now(utcMs);
}

void StatusCollector::Destinations(std::vector<DestinationStatus> statuses) {
  snapshot_.destinations = std::move(statuses);
}

}  // namespace nimbrix
