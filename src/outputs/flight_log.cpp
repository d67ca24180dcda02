#include "outputs/flight_log.h"

#include <utility>

#include "outputs/flight_log_format.h"
#include "telemetry/frame_time.h"

namespace nimbrix {

namespace {

constexpr std::int64_t kDayMs = 86400000;
constexpr const char* kCannotWrite = "cannot write: disk full or read-only?";
constexpr const char* kNoFolder = "cannot make the folder";

}  // namespace

FlightLog::FlightLog(std::string folder, Files& files, Clock& clock)
    : folder_(std::move(folder)), files_(files), clock_(clock) {
  status_.kind = "LOG";
  status_.name = folder_;
  folderMade_ = files_.MakeFolder(folder_);
  if (folderMade_) {
    SetState(DestinationStatus::State::kUp, "ready");
  } else {
    failing_ = true;  // tried again at once
    SetState(DestinationStatus::State::kFailing, kNoFolder);
  }
}

void FlightLog::SetState(DestinationStatus::State state, const char* text) {
  if (status_.state == state && status_.stateText == text) return;
  status_.state = state;
  status_.stateText = text;
  status_.sinceUtcMs = clock_.UtcMs();
}

FlightLog::Track& FlightLog::TrackOf(const std::string& serial, std::int64_t frameUtcMs) {
  if (auto it = tracks_.find(serial); it != tracks_.end()) return it->second;
  if (tracks_.size() >= kMaxSondes) {
    auto oldest = tracks_.begin();
    for (auto it = tracks_.begin(); it != tracks_.end(); ++it) {
      if (it->second.used < oldest->second.used) oldest = it;
    }
    status_.failed += oldest->second.csv.pending.size();
    tracks_.erase(oldest);
  }
  // A station started again mid-flight goes on in the file the flight began in: today's, or
  // yesterday's when the flight crossed midnight.
  std::string stem = FlightFileStem(folder_, serial, frameUtcMs);
  if (!files_.Size(stem + ".csv") && !files_.Size(stem + ".gpx")) {
    const std::string yesterday = FlightFileStem(folder_, serial, frameUtcMs - kDayMs);
    if (files_.Size(yesterday + ".csv") || files_.Size(yesterday + ".gpx")) stem = yesterday;
  }
  Track& track = tracks_[serial];
  track.serial = serial;
  track.csv.path = stem + ".csv";
  track.gpx.path = stem + ".gpx";
  if (const std::optional<std::string> content = files_.ReadAll(track.csv.path)) {
    track.lastKey = LastCsvFrameKey(*content);
  }
  return track;
}

void FlightLog::Keep(LogFile& file, std::string line, bool counted) {
  if (file.pending.size() >= kMaxKeptLines) {
    file.pending.pop_front();
    if (counted) ++status_.failed;
  }
  file.pending.push_back(std::move(line));
}

void FlightLog::Frame(const SondeSample& sample, std::int64_t utcMs) {
  const std::string serial = FileSafeSerial(sample.serial);
  if (serial.empty()) {
    Retry();
    return;
  }
  // A frame without a time of its own is dated by its reading.
  const std::int64_t frameUtcMs = FrameUtcMs(sample, utcMs).value_or(utcMs);
  Track& track = TrackOf(serial, frameUtcMs);
  track.used = ++feeds_;
  std::string key = FrameKeyOf(sample);
  if (key == track.lastKey) {
    Retry();
    return;
  }
  track.lastKey = std::move(key);
  Keep(track.csv, FlightCsvRow(sample, serial, frameUtcMs), true);
  if (std::string point = FlightGpxPoint(sample, frameUtcMs); !point.empty()) {
    Keep(track.gpx, std::move(point), false);
  }
  if (failing_ && clock_.MonotonicMs() < retryAtMs_) return;
  FlushAll();
}

void FlightLog::Retry() {
  if (failing_ && clock_.MonotonicMs() >= retryAtMs_) FlushAll();
}

void FlightLog::FlushAll() {
  if (!folderMade_) folderMade_ = files_.MakeFolder(folder_);
  bool ok = folderMade_;
  bool wrote = false;
  for (auto& [serial, track] : tracks_) {
    if (!ok) break;  // one disk for all: the others wait for the next try too
    const std::size_t rows = track.csv.pending.size();
    if (Flush(track.csv, kFlightCsvHeader, "", CsvResumeOffset)) {
      status_.sent += rows;
      wrote = wrote || rows != 0;
    } else {
      ok = false;
      continue;  // a full disk: the GPX is left whole as it is
    }
    const std::string head = FlightGpxHead(track.serial);
    if (!Flush(track.gpx, head, kFlightGpxTail, GpxResumeOffset)) ok = false;
  }
  if (ok) {
    failing_ = false;
    if (wrote) {
      status_.lastSuccessUtcMs = clock_.UtcMs();
      SetState(DestinationStatus::State::kUp, "writing");
    } else if (status_.state != DestinationStatus::State::kUp) {
      SetState(DestinationStatus::State::kUp, "ready");
    }
    return;
  }
  failing_ = true;
  retryAtMs_ = clock_.MonotonicMs() + kRetryMs;
  SetState(DestinationStatus::State::kFailing, folderMade_ ? kCannotWrite : kNoFolder);
}

bool FlightLog::Flush(LogFile& file, std::string_view head, std::string_view tail,
                      ResumeOffset resume) {
  if (file.pending.empty()) return true;
  const std::optional<std::uintmax_t> size = files_.Size(file.path);
  std::uintmax_t offset = 0;
  bool withHead = true;
  if (size && file.size && *size == *file.size && *size >= tail.size()) {
    offset = *size - tail.size();
    withHead = false;
  } else if (size && *size > 0) {
    // Not as we left it (an earlier run, a failed write, someone else): written on after its
    // last whole line, or anew when it is no log of ours.
    if (const std::optional<std::string> content = files_.ReadAll(file.path)) {
      if (const std::optional<std::size_t> at = resume(*content)) {
        offset = *at;
        withHead = false;
      }
    }
  } else if (!size) {
    files_.MakeFolder(folder_);  // the folder may have gone with the file
  }
  std::string bytes = withHead ? std::string(head) : std::string();
  for (const std::string& line : file.pending) bytes += line;
  bytes += tail;
  const std::uintmax_t current = size.value_or(0);
  const bool ok = size && offset < current ? files_.ReplaceTail(file.path, current - offset, bytes)
                                           : files_.AppendChecked(file.path, bytes);
  if (!ok) {
    file.size.reset();
    return false;
  }
  file.size = offset + bytes.size();
  file.pending.clear();
  return true;
}

void FlightLog::Cycle(const CycleFacts& facts) {
  bool fed = false;
  ForEachNewFrame(facts, [&](const SondeSample& sample) {
    Frame(sample, facts.utcMs);
    fed = true;
  });
  if (!fed) Retry();
}

void FlightLog::Stop(std::int64_t deadlineMs) {
  (void)deadlineMs;  // two writes per file: no waiting to cut short
  FlushAll();
}

}  // namespace nimbrix
