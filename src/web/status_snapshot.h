#pragma once

// What the status page shows: a value the cycle builds once per cycle and publishes as JSON.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "outputs/output.h"
#include "telemetry/sonde_sample.h"
#include "telemetry/telemetry.h"

namespace nimbrix {

struct TrackPoint {
  std::int64_t utcMs = 0;
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
};

// A text with the UTC time it happened at: a line sent, an error record.
struct StampedText {
  std::int64_t utcMs = 0;
  std::string text;
};

// A sonde of the decoder's list: its newest frame, when the decoder heard it (the list's time
// less the frame's age) and its own track.
struct ListedSonde {
  SondeSample frame;
  std::int64_t heardUtcMs = 0;
  std::deque<TrackPoint> track;  // oldest first
};

struct StationSnapshot {
  std::string callsign;
  std::string version;  // "NIMBRIX 0.22"
  std::int64_t startUtcMs = 0;
  std::int64_t nowUtcMs = 0;
  bool decoderAnswers = false;
  // The sonde's latest frame and when the station first read it; none before the first.
  std::optional<SondeSample> frame;
  std::int64_t frameUtcMs = 0;
  std::deque<TrackPoint> track;  // oldest first
  // Every sonde of the decoder's lists heard in the last ten minutes, in the order the station
  // first heard them (a card on the page stays where it is); the followed one among them.
  // `listed` stays false with a decoder that has no list: then only `frame` is known.
  bool listed = false;
  std::vector<ListedSonde> heard;
  std::vector<DestinationStatus> destinations;
  std::deque<StampedText> linesSent;  // oldest first, line ends removed
  std::deque<StampedText> records;    // oldest first, line ends removed
};

// Keeps the snapshot from cycle to cycle: the latest frame, the track of the sonde followed,
// every sonde of the decoder's lists with its own track, the recent lines and records. Pure:
// every time is handed in.
class StatusCollector {
 public:
  static constexpr std::size_t kTrackPoints = 300;
  static constexpr std::size_t kLines = 20;
  static constexpr std::size_t kRecords = 20;
  static constexpr std::size_t kHeardSondes = 32;
  // A sonde of the list not heard for this long is dropped, as the decoder forgets it.
  static constexpr std::int64_t kSilentMs = kSondeListForgetMs;

  StatusCollector(std::string callsign, std::string version, std::int64_t startUtcMs);

  // This cycle's reading of the decoder. A frame counts as new when its serial, frame number,
  // time or position changed; a new position of the same sonde extends the track, another
  // sonde starts a track of its own.
  void Sample(const SondeSample& sample, bool answered, std::int64_t utcMs);
  // The decoder's list of every sonde heard, read at `utcMs`: each sonde's newest frame and its
  // own track, which a new position extends; the oldest heard gives way past kHeardSondes.
  void Heard(const std::vector<HeardSonde>& heard, std::int64_t utcMs);
  void LineSent(const std::string& line, std::int64_t utcMs);
  void Record(const std::string& record, std::int64_t utcMs);
  void Destinations(std::vector<DestinationStatus> statuses);
  // The moment of a snapshot taken outside the cycle (while the station looks for a server).
  void Moment(bool decoderAnswers, std::int64_t utcMs);

  const StationSnapshot& snapshot() const { return snapshot_; }

 private:
  void Now(std::int64_t utcMs);

  StationSnapshot snapshot_;
};

}  // namespace nimbrix
