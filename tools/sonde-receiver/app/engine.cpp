#include "app/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace receiver {

namespace {

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

}  // namespace

std::string DurationText(double seconds) {
  if (seconds >= 60) return std::to_string(std::lround(seconds / 60)) + " min";
  return std::to_string(std::lround(seconds)) + " s";
}

std::string IdOfLine(const std::string& line) {
  const std::string key = "\"id\":";
  std::size_t at = line.find(key);
  if (at == std::string::npos) return "";
  at = line.find('"', at + key.size());
  if (at == std::string::npos) return "";
  const std::size_t end = line.find('"', at + 1);
  if (end == std::string::npos || end - at > 64) return "";
  return line.substr(at + 1, end - at - 1);
}

Engine::Engine(IqSource& source, ReceiverParts& parts, const EngineConfig& config,
               std::ostream& out, std::ostream& log)
    : source_(source),
      parts_(parts),
      config_(config),
      out_(out),
      log_(log),
      plan_(config.band),
      book_(config.book),
      policy_(plan_, book_, config.scan),
      ppm_(config.initial_ppm) {}

void Engine::Log(const std::string& line) {
  log_ << line << '\n' << std::flush;
}

std::string Engine::Mhz(double seen_hz) const {
  return Fixed(ppm_.CorrectedHz(seen_hz) / 1e6, 3) + " MHz";
}

bool Engine::RunOnce(int timeout_ms) {
  if (!started_) {
    started_ = true;
    const BandPlanConfig& band = plan_.Config();
    Log("scanning " + Fixed(band.low_hz / 1e6, 3) + "\u2013" + Fixed(band.high_hz / 1e6, 3) +
        " MHz");
    policy_.Start(now_);
    Handle(policy_.TakeCommands());
  }
  block_.clear();
  const ReadStatus status = source_.Read(block_, config_.block_samples, timeout_ms);
  for (std::string event = source_.TakeEvent(); !event.empty(); event = source_.TakeEvent()) {
    Log(event);
  }
  if (status == ReadStatus::kEnd && block_.empty()) return false;
  if (block_.empty()) return true;
  now_ += static_cast<long long>(block_.size());
  const std::span<const std::complex<float>> wide(block_);

  ++blocks_;
  if (policy_.Sweeping() || blocks_ % std::max(config_.watch_spectrum_every, 1) == 0) {
    parts_.AddSpectrum(wide);
  }
  for (Open& open : open_) HandleOutput(open, open.channel->Process(wide));
  if (policy_.SpectrumDue(now_)) {
    std::vector<SeenPeak> peaks = parts_.TakePeaks(source_.SampleRate());
    for (SeenPeak& peak : peaks) peak.hz += source_.CenterHz();
    policy_.OnSpectrum(peaks, now_);
  }
  policy_.Tick(now_);
  Handle(policy_.TakeCommands());
  return true;
}

void Engine::HandleOutput(Open& open, ChannelOutput output) {
  const double seen_hz = source_.CenterHz() + open.channel->OffsetHz() + open.channel->MeanHz();
  if (output.kind_found && !open.kind) {
    open.kind = output.kind_found;
    Log(Mhz(open.hz) + ": " + std::string(KindName(*open.kind)));
    policy_.OnKindFound(open.peak_id, now_);
  }
  if (!output.missing_program.empty()) {
    const SondeKind kind = open.kind.value_or(SondeKind::kM10);
    if (missing_announced_.insert(kind).second) {
      Log(std::string(KindName(kind)) + " at " + Mhz(open.hz) + ": " + output.missing_program +
          " not found, put aside");
    }
    policy_.OnNoDecoder(open.peak_id, now_);
    return;
  }
  auto first_frame = [&](const std::string& kind, const std::string& id) {
    ++frames_per_sonde_[id];
    if (open.announced.insert(id).second) {
      Log(Mhz(seen_hz) + " " + kind + " " + id + ": first frame");
    }
    policy_.OnFrame(open.peak_id, now_);
  };
  for (const DecodedFrame& frame : output.frames) {
    // Just after a retune the slicer's running mean still holds the old place: no lesson.
    const bool settled = open.retuned_at < 0 ||
                         now_ - open.retuned_at >= static_cast<long long>(2 * source_.SampleRate());
    if (frame.tx_frequency_khz && settled) {
      ppm_.AddRs41(*frame.tx_frequency_khz, seen_hz, frame.id);
      if (const std::optional<double> change = ppm_.TakeChange()) {
        Log("dongle error: " + std::string(*change >= 0 ? "+" : "") + Fixed(*change, 1) +
            " ppm (from " + frame.id + ")");
      }
    }
    out_ << FrameJsonLine(frame, ppm_.CorrectedKhz(seen_hz)) << '\n' << std::flush;
    first_frame(frame.kind, frame.id);
  }
  for (const std::string& line : output.lines) {
    out_ << line << '\n' << std::flush;
    first_frame(open.kind ? std::string(KindName(*open.kind)) : "?", IdOfLine(line));
  }
  // A drifting sonde (a DFM warms up) is followed, not too often: the slicer's mean needs
  // time to settle after each move.
  const double mean = open.channel->MeanHz();
  const long long every =
      static_cast<long long>(config_.drift_retune_every_s * source_.SampleRate());
  if (!open.announced.empty() && std::abs(mean) > config_.drift_retune_hz &&
      now_ - open.last_retune >= every) {
    open.channel->Retune(open.channel->OffsetHz() + mean);
    open.last_retune = now_;
    open.retuned_at = now_;
    open.hz = source_.CenterHz() + open.channel->OffsetHz();
    policy_.OnMoved(open.peak_id, open.hz);
  }
}

void Engine::Handle(const std::vector<ScanCommand>& commands) {
  for (const ScanCommand& command : commands) {
    switch (command.type) {
      case ScanCommand::Type::kTune:
        // A capture cannot tune: it stays where it is, and frequencies are taken from it.
        source_.Tune(command.hz);
        parts_.TakePeaks(source_.SampleRate());  // what was averaged belongs to the old centre
        break;
      case ScanCommand::Type::kOpen: {
        Open open;
        open.peak_id = command.peak_id;
        open.hz = command.hz;
        open.last_retune = now_;
        open.channel = parts_.OpenChannel(command.hz - source_.CenterHz(), source_.SampleRate(),
                                          ppm_.CorrectedHz(command.hz));
        if (open.channel) open_.push_back(std::move(open));
        break;
      }
      case ScanCommand::Type::kClose: {
        auto it = std::find_if(open_.begin(), open_.end(),
                               [&](const Open& o) { return o.peak_id == command.peak_id; });
        if (it == open_.end()) break;
        const double hz = it->hz;
        rejected_closed_ += it->channel->Rejected();
        open_.erase(it);
        const double seconds = command.aside_samples / source_.SampleRate();
        if (command.reason == CloseReason::kNoSonde) {
          Log(Mhz(hz) + ": no sonde, put aside for " + DurationText(seconds));
        } else if (command.reason == CloseReason::kSilent) {
          Log(Mhz(hz) + ": silent for " + DurationText(config_.scan.silence_s) + ", scanning");
        }
        break;
      }
    }
  }
}

std::string Engine::CountsText(long long samples_dropped) const {
  std::ostringstream text;
  text << "counts:";
  if (frames_per_sonde_.empty()) text << " no frames";
  bool first = true;
  for (const auto& [id, count] : frames_per_sonde_) {
    text << (first ? " " : ", ") << (id.empty() ? "?" : id) << " " << count << " frames";
    first = false;
  }
  long long rejected = rejected_closed_;
  for (const Open& open : open_) rejected += open.channel->Rejected();
  text << "; rejected " << rejected << "; put aside " << book_.PutAsideCount() << "; dropped "
       << samples_dropped << " samples";
  return text.str();
}

}  // namespace receiver
