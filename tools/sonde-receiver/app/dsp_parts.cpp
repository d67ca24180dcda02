#include "app/dsp_parts.h"

#if NIMBRIX_RECEIVER_FULL

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/child_decoder.h"
#include "common/frame_decoder.h"
#include "dfm/dfm_decoder.h"
#include "dsp/channel.h"
#include "dsp/kind_detector.h"
#include "dsp/spectrum.h"
#include "dsp/symbol_slicer.h"
#include "rs41/rs41_decoder.h"

namespace receiver {

namespace {

// Until the kind is known the channel is wide enough for the widest (an M10's 9600 baud);
// then it narrows to the kind's own width, with room for the peak's error, for less noise.
constexpr double kDetectionBandwidthHz = 24000;

double BandwidthOf(SondeKind kind) {
  const KindSignal signal = SignalOf(kind);
  return std::min(kDetectionBandwidthHz,
                  2 * (signal.deviation_hz + signal.symbol_rate / 2) * 1.2 + 2000);
}

class DspChannel : public SondeChannel {
 public:
  DspChannel(const DspPartsConfig& config, double offset_hz, double sample_rate,
             double corrected_hz)
      : config_(config),
        sample_rate_(sample_rate),
        channel_(std::make_unique<Channel>(
            ChannelConfig{sample_rate, offset_hz, config.channel_rate, kDetectionBandwidthHz})),
        detector_(config.channel_rate),
        corrected_hz_(corrected_hz) {}

  ChannelOutput Process(std::span<const std::complex<float>> wide) override {
    ChannelOutput output;
    demod_.clear();
    channel_->Process(wide, demod_);
    if (!kind_) {
      detector_.Process(demod_);
      const std::optional<KindMatch> match = detector_.Found();
      if (!match) return output;
      kind_ = match->kind;
      output.kind_found = match->kind;
      Begin(*match, output);
      channel_ = std::make_unique<Channel>(ChannelConfig{
          sample_rate_, channel_->OffsetHz(), config_.channel_rate, BandwidthOf(match->kind)});
      // The samples that told the kind are the decoder's too: its sync is in them.
    }
    if (slicer_ && decoder_) {
      symbols_.clear();
      slicer_->Process(demod_, symbols_);
      for (DecodedFrame& frame : decoder_->PushSymbols(symbols_)) {
        output.frames.push_back(std::move(frame));
      }
    } else if (child_) {
      audio_.clear();
      AudioFromDemod(demod_, full_scale_hz_, audio_);
      child_->Write(audio_);
      output.lines = child_->ReadLines();
    }
    return output;
  }

  double OffsetHz() const override { return channel_->OffsetHz(); }
  void Retune(double offset_hz) override {
    const double moved = offset_hz - channel_->OffsetHz();
    channel_->Retune(offset_hz);
    // The sonde now shows `moved` lower in the channel: so must the slicer's mean.
    if (slicer_ && channel_->OffsetHz() == offset_hz) slicer_->ShiftMean(-moved);
  }
  double MeanHz() const override { return slicer_ ? slicer_->MeanHz() : 0; }
  long long Rejected() const override { return decoder_ ? decoder_->Rejected() : 0; }

 private:
  void Begin(const KindMatch& match, ChannelOutput& output) {
    const KindSignal signal = SignalOf(match.kind);
    full_scale_hz_ = signal.deviation_hz * 2;
    if (match.kind == SondeKind::kRs41) {
      decoder_ = std::make_unique<Rs41Decoder>();
    } else if (match.kind == SondeKind::kDfm) {
      decoder_ = std::make_unique<DfmDecoder>();
    }
    if (decoder_) {
      slicer_ = std::make_unique<SymbolSlicer>(config_.channel_rate, signal.symbol_rate);
      return;
    }
    const std::optional<std::string_view> program = DecoderProgramFor(match.kind);
    const std::string path =
        program ? FindProgram(*program, config_.decoders_dir, config_.path) : "";
    if (path.empty()) {
      output.missing_program = program ? std::string(*program) : "a decoder";
      return;
    }
    std::vector<std::string> args{"--json"};
    if (match.kind != SondeKind::kImet4) {
      char hz[32];
      std::snprintf(hz, sizeof hz, "%.0f", corrected_hz_);
      args.insert(args.end(), {"--jsn_cfq", hz});
    }
    if (match.inverted) args.push_back("-i");
    std::optional<ChildDecoder> child = ChildDecoder::Start(path, args);
    if (child) {
      child_ = std::make_unique<ChildDecoder>(std::move(*child));
    } else {
      output.missing_program = std::string(*program);
    }
  }

  DspPartsConfig config_;
  double sample_rate_;
  std::unique_ptr<Channel> channel_;
  KindDetector detector_;
  double corrected_hz_;
  std::optional<SondeKind> kind_;
  std::unique_ptr<SymbolSlicer> slicer_;
  std::unique_ptr<FrameDecoder> decoder_;
  std::unique_ptr<ChildDecoder> child_;
  double full_scale_hz_ = 10000;
  std::vector<float> demod_;
  std::vector<std::uint8_t> symbols_;
  std::vector<std::int16_t> audio_;
};

int FftSize(const DspPartsConfig& config) {
  if (config.fft_size > 0) return config.fft_size;
  int size = 64;
  while (size < 1 << 16 && size * 1000.0 * 1.5 < config.sample_rate) size *= 2;
  return size;
}

class DspParts : public ReceiverParts {
 public:
  explicit DspParts(const DspPartsConfig& config) : config_(config), averager_(FftSize(config)) {}

  std::unique_ptr<SondeChannel> OpenChannel(double offset_hz, double sample_rate,
                                            double corrected_hz) override {
    return std::make_unique<DspChannel>(config_, offset_hz, sample_rate, corrected_hz);
  }
  void AddSpectrum(std::span<const std::complex<float>> wide) override { averager_.Add(wide); }
  std::vector<SeenPeak> TakePeaks(double sample_rate) override {
    std::vector<SeenPeak> seen;
    if (averager_.Count() > 0) {
      PeakOptions options;
      options.sample_rate = sample_rate;
      for (const Peak& peak : FindPeaks(averager_.PowerDb(), options)) {
        seen.push_back({peak.offset_hz, peak.snr_db});
      }
    }
    averager_.Reset();
    return seen;
  }

 private:
  DspPartsConfig config_;
  SpectrumAverager averager_;
};

}  // namespace

std::unique_ptr<ReceiverParts> MakeDspParts(const DspPartsConfig& config) {
  return std::make_unique<DspParts>(config);
}

}  // namespace receiver

#else

namespace receiver {
std::unique_ptr<ReceiverParts> MakeDspParts(const DspPartsConfig&) {
  return nullptr;
}
}  // namespace receiver

#endif
