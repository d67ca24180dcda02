#pragma once
// What the scan has seen in the band: one entry per place where a peak stood out, merged
// when within a few kHz, and what became of it. New peaks are tried; a try that gives no
// frame puts the peak aside for a back-off that doubles each time (so a junk carrier never
// keeps the receiver from a sonde); a sonde that stops sending is released and may be found
// again. Time is counted in samples of the stream.

#include <optional>
#include <string>
#include <vector>

namespace receiver {

enum class PeakState {
  kNew,       // seen, not tried yet (or released, or its back-off is over)
  kTrying,    // a channel is finding out what it is
  kDecoding,  // frames come
  kAside,     // tried without a frame: left alone until `aside_until`
  kIgnored,   // on the --ignore list: never tried
};

struct PeakEntry {
  int id = 0;
  double hz = 0;  // absolute frequency as seen
  double snr_db = 0;
  long long last_seen = 0;
  PeakState state = PeakState::kNew;
  int failed_tries = 0;
  long long aside_until = 0;
  long long last_frame = -1;
};

struct PeakBookConfig {
  double sample_rate = 2048000;
  double merge_hz = 5000;
  double ignore_tolerance_hz = 5000;
  double first_backoff_s = 60;
  double max_backoff_s = 1800;
  double forget_after_s = 600;  // a new peak not seen again for this long is dropped
  std::vector<double> ignored_hz;
};

class PeakBook {
 public:
  explicit PeakBook(const PeakBookConfig& config);

  // A peak of a spectrum: merged into the entry within merge_hz, else a new entry. Its id.
  int Observe(double hz, double snr_db, long long now);

  // Entries worth a try now (new, or aside and their back-off over), strongest first.
  std::vector<int> Candidates(long long now) const;
  bool Eligible(int id, long long now) const;

  void StartTry(int id, long long now);
  void FrameSeen(int id, long long now);
  // No frame within the try: aside for the next back-off, which is returned (in samples).
  long long PutAside(int id, long long now);
  // A sonde gone silent: back to new, its failures forgotten.
  void Release(int id);
  // The channel followed the sonde: the entry moves with it.
  void Move(int id, double hz);
  // Drops new entries not seen for a long time, so the book stays small.
  void Forget(long long now);

  const PeakEntry* Find(int id) const;
  const std::vector<PeakEntry>& Entries() const { return entries_; }
  int PutAsideCount() const { return put_aside_count_; }
  bool IsIgnored(double hz) const;

 private:
  PeakEntry* Get(int id);
  long long Samples(double seconds) const;

  PeakBookConfig config_;
  std::vector<PeakEntry> entries_;
  int next_id_ = 1;
  int put_aside_count_ = 0;
};

}  // namespace receiver
