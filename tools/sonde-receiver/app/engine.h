#pragma once
// The receiver's loop: blocks of IQ from the source; while sweeping they go to the spectrum,
// while staying on a span to every open channel; the scan policy says where to look and
// which channels to open and close. Frames are printed as JSON lines, events logged one line
// each. Time is the count of samples read, so a capture replays the same way every time.

#include <complex>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "common/decoded_frame.h"
#include "common/sonde_kind.h"
#include "iq/iq_source.h"
#include "scan/band_plan.h"
#include "scan/peak_book.h"
#include "scan/ppm_estimator.h"
#include "scan/scan_policy.h"

namespace receiver {

// What a channel made of one block.
struct ChannelOutput {
  std::optional<SondeKind> kind_found;  // once, when its kind is told
  std::vector<DecodedFrame> frames;     // from our decoders, without "freq"
  std::vector<std::string> lines;       // whole JSON lines of a child decoder
  std::string missing_program;          // the kind's decoder program is nowhere
};

// One sonde's channel: demodulation, the kind's detection, then its decoder.
class SondeChannel {
 public:
  virtual ~SondeChannel() = default;
  virtual ChannelOutput Process(std::span<const std::complex<float>> wide) = 0;
  virtual double OffsetHz() const = 0;
  virtual void Retune(double offset_hz) = 0;
  // The sonde's place relative to the channel's centre, as the symbols show it.
  virtual double MeanHz() const = 0;
  virtual long long Rejected() const = 0;
};

// Makes the engine's parts, so it can run on fakes.
class ReceiverParts {
 public:
  virtual ~ReceiverParts() = default;
  // `corrected_hz`: where the sonde sends, for a child decoder's "freq".
  virtual std::unique_ptr<SondeChannel> OpenChannel(double offset_hz, double sample_rate,
                                                    double corrected_hz) = 0;
  virtual void AddSpectrum(std::span<const std::complex<float>> wide) = 0;
  // The peaks of what was added since the last call (offsets from the centre), then reset.
  virtual std::vector<SeenPeak> TakePeaks(double sample_rate) = 0;
};

struct EngineConfig {
  BandPlanConfig band;
  ScanConfig scan;
  PeakBookConfig book;
  double initial_ppm = 0;
  std::size_t block_samples = 65536;  // 32 ms at 2.048 MS/s
  double drift_retune_hz = 1500;      // a channel is moved when its sonde is this far off
  double drift_retune_every_s = 10;
  // While staying on a span, one block in this many goes to the spectrum: enough to see a
  // new peak there, and the channels get the processor.
  int watch_spectrum_every = 8;
};

class Engine {
 public:
  Engine(IqSource& source, ReceiverParts& parts, const EngineConfig& config, std::ostream& out,
         std::ostream& log);

  // One block read and handled; false once the source has ended.
  bool RunOnce(int timeout_ms);
  long long Now() const { return now_; }
  const PpmEstimator& Ppm() const { return ppm_; }
  // The counts, one line: frames per sonde, rejected, put aside, dropped.
  std::string CountsText(long long samples_dropped) const;

 private:
  struct Open {
    int peak_id;
    double hz;  // absolute, as seen
    std::unique_ptr<SondeChannel> channel;
    std::optional<SondeKind> kind;
    std::set<std::string> announced;  // serials whose first frame was logged
    long long last_retune = 0;
    long long retuned_at = -1;  // for following drift
  };

  void Handle(const std::vector<ScanCommand>& commands);
  void HandleOutput(Open& open, ChannelOutput output);
  void Log(const std::string& line);
  std::string Mhz(double seen_hz) const;

  IqSource& source_;
  ReceiverParts& parts_;
  EngineConfig config_;
  std::ostream& out_;
  std::ostream& log_;
  BandPlan plan_;
  PeakBook book_;
  ScanPolicy policy_;
  PpmEstimator ppm_;
  long long now_ = 0;
  long long blocks_ = 0;
  bool started_ = false;
  std::vector<std::complex<float>> block_;
  std::vector<Open> open_;
  std::set<SondeKind> missing_announced_;
  std::map<std::string, long long> frames_per_sonde_;
  long long rejected_closed_ = 0;  // of channels already closed
};

// "2 min", "30 s": a back-off as the log says it.
std::string DurationText(double seconds);
// The serial in a child decoder's JSON line, or "".
std::string IdOfLine(const std::string& line);

}  // namespace receiver
