#include "scan/scan_policy.h"

#include <algorithm>
#include <cmath>

namespace receiver {

ScanPolicy::ScanPolicy(const BandPlan& plan, PeakBook& book, const ScanConfig& config)
    : plan_(plan), book_(book), config_(config) {}

long long ScanPolicy::Samples(double seconds) const {
  return static_cast<long long>(std::llround(seconds * plan_.Config().sample_rate));
}

double ScanPolicy::CenterHz() const {
  return plan_.Spans()[span_].center_hz;
}

void ScanPolicy::Start(long long now) {
  SweepAgain(now);
}

void ScanPolicy::TuneTo(std::size_t span, long long now) {
  span_ = span;
  spectrum_from_ = now;
  commands_.push_back({ScanCommand::Type::kTune, plan_.Spans()[span].center_hz, 0, {}, 0});
}

bool ScanPolicy::SpectrumDue(long long now) const {
  const double period = sweeping_ ? config_.sweep_dwell_s : config_.watch_s;
  return now - spectrum_from_ >= Samples(period);
}

void ScanPolicy::OnSpectrum(const std::vector<SeenPeak>& peaks, long long now) {
  spectrum_from_ = now;
  for (const SeenPeak& peak : peaks) {
    // Only the clear part of the span is believed: the edges and the DC spike lie.
    if (plan_.Covers(span_, peak.hz)) book_.Observe(peak.hz, peak.snr_db, now);
  }
  if (!sweeping_) {
    OpenCandidates(now, now);
    return;
  }
  if (span_ + 1 < plan_.Spans().size()) {
    TuneTo(span_ + 1, now);
    return;
  }
  EndSweep(now);
}

void ScanPolicy::EndSweep(long long now) {
  book_.Forget(now);
  std::vector<double> seen;  // this sweep's candidates, strongest first
  for (int id : book_.Candidates(now)) {
    const PeakEntry* entry = book_.Find(id);
    if (entry && entry->last_seen >= sweep_from_) seen.push_back(entry->hz);
  }
  for (double strongest : seen) {
    // Of the spans that see the strongest clearly, the one that sees most of the others too;
    // among equals, the one where it is farthest from the blind places.
    std::optional<std::size_t> best;
    int best_count = 0;
    double best_margin = 0;
    for (std::size_t span = 0; span < plan_.Spans().size(); ++span) {
      const double margin = plan_.Margin(span, strongest);
      if (margin <= 0) continue;
      const int count = static_cast<int>(std::count_if(
          seen.begin(), seen.end(), [&](double hz) { return plan_.Covers(span, hz); }));
      if (!best || count > best_count || (count == best_count && margin > best_margin)) {
        best = span;
        best_count = count;
        best_margin = margin;
      }
    }
    if (!best) continue;
    const long long seen_since = sweep_from_;
    sweeping_ = false;
    TuneTo(*best, now);
    OpenCandidates(now, seen_since);
    return;
  }
  SweepAgain(now);  // nothing worth a try
}

void ScanPolicy::OpenCandidates(long long now, long long seen_since) {
  for (int id : book_.Candidates(now)) {
    const PeakEntry* entry = book_.Find(id);
    if (!entry || entry->last_seen < seen_since || !plan_.Covers(span_, entry->hz)) continue;
    const bool already = std::any_of(open_.begin(), open_.end(),
                                     [&](const Open& open) { return open.peak_id == id; });
    if (already) continue;
    book_.StartTry(id, now);
    open_.push_back({id, entry->hz, now + Samples(config_.try_s)});
    commands_.push_back({ScanCommand::Type::kOpen, entry->hz, id, {}, 0});
  }
}

void ScanPolicy::OnKindFound(int peak_id, long long now) {
  for (Open& open : open_) {
    if (open.peak_id == peak_id && !open.decoding) {
      open.deadline = std::max(open.deadline, now + Samples(config_.kind_grace_s));
    }
  }
}

void ScanPolicy::OnFrame(int peak_id, long long now) {
  for (Open& open : open_) {
    if (open.peak_id != peak_id) continue;
    open.decoding = true;
    open.last_frame = now;
    book_.FrameSeen(peak_id, now);
  }
}

void ScanPolicy::OnMoved(int peak_id, double hz) {
  for (Open& open : open_) {
    if (open.peak_id == peak_id) open.hz = hz;
  }
  book_.Move(peak_id, hz);
}

void ScanPolicy::OnNoDecoder(int peak_id, long long now) {
  for (std::size_t i = 0; i < open_.size(); ++i) {
    if (open_[i].peak_id == peak_id) {
      Close(i, CloseReason::kNoDecoder, now);
      break;
    }
  }
  if (!sweeping_ && open_.empty()) SweepAgain(now);
}

void ScanPolicy::Close(std::size_t index, CloseReason reason, long long now) {
  const Open open = open_[index];
  open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(index));
  ScanCommand command{ScanCommand::Type::kClose, open.hz, open.peak_id, reason, 0};
  if (reason == CloseReason::kSilent) {
    book_.Release(open.peak_id);
  } else {
    command.aside_samples = book_.PutAside(open.peak_id, now);
  }
  commands_.push_back(command);
}

void ScanPolicy::Tick(long long now) {
  if (sweeping_) return;
  for (std::size_t i = open_.size(); i-- > 0;) {
    const Open& open = open_[i];
    if (open.decoding && now - open.last_frame >= Samples(config_.silence_s)) {
      Close(i, CloseReason::kSilent, now);
    } else if (!open.decoding && now >= open.deadline) {
      Close(i, CloseReason::kNoSonde, now);
    }
  }
  if (open_.empty()) SweepAgain(now);
}

void ScanPolicy::SweepAgain(long long now) {
  sweeping_ = true;
  sweep_from_ = now;
  TuneTo(0, now);
}

std::vector<ScanCommand> ScanPolicy::TakeCommands() {
  std::vector<ScanCommand> out;
  out.swap(commands_);
  return out;
}

std::vector<int> ScanPolicy::OpenChannels() const {
  std::vector<int> ids;
  for (const Open& open : open_) ids.push_back(open.peak_id);
  return ids;
}

}  // namespace receiver
