#pragma once
// Where the receiver looks, as a state machine over the stream's sample clock. It sweeps the
// spans of the band, averaging a spectrum on each; then it goes to the span holding the
// strongest candidate and stays: every candidate of that span gets a channel at once, for a
// try of a few seconds each; channels that give frames keep going. While anything of the span
// is tried or decoded it stays; once the last channel has closed it sweeps again.
//
// The engine tells it what happened (spectra, kinds found, frames) and takes its commands.

#include <optional>
#include <vector>

#include "scan/band_plan.h"
#include "scan/peak_book.h"

namespace receiver {

struct SeenPeak {
  double hz;  // absolute
  double snr_db;
};

struct ScanConfig {
  double sweep_dwell_s = 0.3;  // spectrum averaged per span while sweeping
  double watch_s = 1.0;        // spectrum period while staying on a span (new peaks there)
  double try_s = 5;            // to find a kind and give a first frame
  double kind_grace_s = 30;    // once the kind is known: a DFM pieces its serial together first
  double silence_s = 60;       // a decoding channel without frames for this long is released
};

enum class CloseReason {
  kNoSonde,    // the try gave nothing: put aside
  kSilent,     // frames stopped: released
  kNoDecoder,  // a kind we cannot decode here: put aside
};

struct ScanCommand {
  enum class Type { kTune, kOpen, kClose } type;
  double hz = 0;    // kTune: the new centre; kOpen/kClose: the channel's frequency
  int peak_id = 0;  // kOpen/kClose
  CloseReason reason = CloseReason::kNoSonde;
  long long aside_samples = 0;  // kClose with kNoSonde/kNoDecoder: for how long
};

class ScanPolicy {
 public:
  ScanPolicy(const BandPlan& plan, PeakBook& book, const ScanConfig& config);

  // The first commands: tune to the first span of the sweep.
  void Start(long long now);
  bool Sweeping() const { return sweeping_; }
  std::size_t SpanIndex() const { return span_; }
  double CenterHz() const;

  // Whether the spectrum averaged since the last tune (or the last spectrum) is due now.
  bool SpectrumDue(long long now) const;
  // The peaks of that spectrum, absolute frequencies.
  void OnSpectrum(const std::vector<SeenPeak>& peaks, long long now);
  void OnKindFound(int peak_id, long long now);
  void OnFrame(int peak_id, long long now);
  void OnNoDecoder(int peak_id, long long now);
  // The channel's frequency moved with the sonde.
  void OnMoved(int peak_id, double hz);
  // Tries and silences that ran out.
  void Tick(long long now);

  std::vector<ScanCommand> TakeCommands();
  std::vector<int> OpenChannels() const;

 private:
  struct Open {
    int peak_id;
    double hz;
    long long deadline;  // of the try, while no frame has come
    bool decoding = false;
    long long last_frame = 0;
  };

  long long Samples(double seconds) const;
  void TuneTo(std::size_t span, long long now);
  void EndSweep(long long now);
  void OpenCandidates(long long now, long long seen_since);
  void Close(std::size_t index, CloseReason reason, long long now);
  void SweepAgain(long long now);

  BandPlan plan_;
  PeakBook& book_;
  ScanConfig config_;
  bool sweeping_ = true;
  std::size_t span_ = 0;
  long long spectrum_from_ = 0;
  long long sweep_from_ = 0;  // only what this sweep saw counts at its end
  std::vector<Open> open_;
  std::vector<ScanCommand> commands_;
};

}  // namespace receiver
