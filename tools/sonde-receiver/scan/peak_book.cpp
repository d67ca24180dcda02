#include "scan/peak_book.h"

#include <algorithm>
#include <cmath>

namespace receiver {

PeakBook::PeakBook(const PeakBookConfig& config) : config_(config) {}

long long PeakBook::Samples(double seconds) const {
  return static_cast<long long>(std::llround(seconds * config_.sample_rate));
}

bool PeakBook::IsIgnored(double hz) const {
  for (double ignored : config_.ignored_hz) {
    if (std::abs(ignored - hz) <= config_.ignore_tolerance_hz) return true;
  }
  return false;
}

int PeakBook::Observe(double hz, double snr_db, long long now) {
  PeakEntry* nearest = nullptr;
  for (PeakEntry& entry : entries_) {
    const double distance = std::abs(entry.hz - hz);
    if (distance <= config_.merge_hz && (!nearest || distance < std::abs(nearest->hz - hz))) {
      nearest = &entry;
    }
  }
  if (nearest) {
    // A channel's own frequency (it follows the sonde) is better than a spectrum bin's.
    if (nearest->state == PeakState::kNew || nearest->state == PeakState::kAside) {
      nearest->hz = hz;
    }
    nearest->snr_db = snr_db;
    nearest->last_seen = now;
    return nearest->id;
  }
  PeakEntry entry;
  entry.id = next_id_++;
  entry.hz = hz;
  entry.snr_db = snr_db;
  entry.last_seen = now;
  entry.state = IsIgnored(hz) ? PeakState::kIgnored : PeakState::kNew;
  entries_.push_back(entry);
  return entry.id;
}

bool PeakBook::Eligible(int id, long long now) const {
  const PeakEntry* entry = Find(id);
  if (!entry) return false;
  if (entry->state == PeakState::kNew) return true;
  return entry->state == PeakState::kAside && now >= entry->aside_until;
}

std::vector<int> PeakBook::Candidates(long long now) const {
  std::vector<const PeakEntry*> found;
  for (const PeakEntry& entry : entries_) {
    if (Eligible(entry.id, now)) found.push_back(&entry);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const PeakEntry* a, const PeakEntry* b) { return a->snr_db > b->snr_db; });
  std::vector<int> ids;
  for (const PeakEntry* entry : found) ids.push_back(entry->id);
  return ids;
}

PeakEntry* PeakBook::Get(int id) {
  for (PeakEntry& entry : entries_) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

const PeakEntry* PeakBook::Find(int id) const {
  for (const PeakEntry& entry : entries_) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

void PeakBook::StartTry(int id, long long now) {
  PeakEntry* entry = Get(id);
  if (!entry || entry->state == PeakState::kIgnored) return;
  entry->state = PeakState::kTrying;
  entry->last_seen = std::max(entry->last_seen, now);
}

void PeakBook::FrameSeen(int id, long long now) {
  PeakEntry* entry = Get(id);
  if (!entry || entry->state == PeakState::kIgnored) return;
  entry->state = PeakState::kDecoding;
  entry->failed_tries = 0;
  entry->last_frame = now;
  entry->last_seen = std::max(entry->last_seen, now);
}

long long PeakBook::PutAside(int id, long long now) {
  PeakEntry* entry = Get(id);
  if (!entry || entry->state == PeakState::kIgnored) return 0;
  double backoff = config_.first_backoff_s;
  for (int i = 0; i < entry->failed_tries && backoff < config_.max_backoff_s; ++i) backoff *= 2;
  backoff = std::min(backoff, config_.max_backoff_s);
  ++entry->failed_tries;
  entry->state = PeakState::kAside;
  entry->aside_until = now + Samples(backoff);
  ++put_aside_count_;
  return Samples(backoff);
}

void PeakBook::Release(int id) {
  PeakEntry* entry = Get(id);
  if (!entry || entry->state == PeakState::kIgnored) return;
  entry->state = PeakState::kNew;
  entry->failed_tries = 0;
}

void PeakBook::Move(int id, double hz) {
  PeakEntry* entry = Get(id);
  if (entry) entry->hz = hz;
}

void PeakBook::Forget(long long now) {
  const long long limit = Samples(config_.forget_after_s);
  std::erase_if(entries_, [&](const PeakEntry& entry) {
    const bool idle = entry.state == PeakState::kNew ||
                      (entry.state == PeakState::kAside && now >= entry.aside_until);
    return idle && now - entry.last_seen > limit;
  });
}

}  // namespace receiver
