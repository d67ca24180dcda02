#pragma once

// FLIGHTLOG=folder: every frame of every sonde into <serial>_<YYYYMMDD>.csv and a .gpx beside
// it that is a whole, valid document after every frame. Two small writes per new frame; a full
// disk or a read-only folder is told once, the rows are kept (a bounded number) and written by
// themselves, in order, once writing works again.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "outputs/output.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace nimbrix {

class FlightLog : public Output {
 public:
  static constexpr std::size_t kMaxKeptLines = 600;  // per file, while writing fails
  static constexpr std::size_t kMaxSondes = 64;      // a decoder making up serials
  static constexpr int kRetryMs = 5000;              // between tries while writing fails

  FlightLog(std::string folder, Files& files, Clock& clock);

  // One frame of one sonde, as the decoder gave it, read at `utcMs` on the station's clock.
  // A frame with the frame number (else time) last logged for its serial is not logged again.
  void Frame(const SondeSample& sample, std::int64_t utcMs);
  // Writes what is kept, when a try is due.
  void Retry();

  void Cycle(const CycleFacts& facts) override;
  DestinationStatus Status() const override { return status_; }
  void Stop(std::int64_t deadlineMs) override;

 private:
  struct LogFile {
    std::string path;
    std::optional<std::uintmax_t> size;  // its size after our last write; nullopt: look again
    std::deque<std::string> pending;     // lines (rows, points) not written yet
  };
  struct Track {
    std::string serial;  // file-safe
    LogFile csv, gpx;
    std::string lastKey;
    std::uint64_t used = 0;  // when last fed, to let the oldest go
  };

  Track& TrackOf(const std::string& serial, std::int64_t frameUtcMs);
  void FlushAll();
  using ResumeOffset = std::optional<std::size_t> (*)(std::string_view content);
  bool Flush(LogFile& file, std::string_view head, std::string_view tail, ResumeOffset resume);
  void Keep(LogFile& file, std::string line, bool counted);
  void SetState(DestinationStatus::State state, const char* text);

  std::string folder_;
  Files& files_;
  Clock& clock_;
  std::map<std::string, Track> tracks_;
  std::uint64_t feeds_ = 0;
  bool folderMade_ = false;
  bool failing_ = false;
  std::int64_t retryAtMs_ = 0;
  DestinationStatus status_;
};

}  // namespace nimbrix
