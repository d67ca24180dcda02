#include "outputs/frame_news.h"

#include <cstdio>

namespace nimbrix {

namespace {

// What tells one frame of a sonde from the next.
std::string FrameIdentity(const SondeSample& sample) {
  char numbers[96];
  std::snprintf(numbers, sizeof numbers, "%d|%.7f|%.7f|%.2f|", sample.frame, sample.latitude,
                sample.longitude, sample.altitude);
  std::string identity = numbers;
  identity += sample.timeText;
  return identity;
}

}  // namespace

bool FrameNews::IsNew(const SondeSample& sample) {
  std::string identity = FrameIdentity(sample);
  const auto it = last_.find(sample.serial);
  if (it != last_.end()) {
    if (it->second == identity) return false;
    it->second = std::move(identity);
    return true;
  }
  if (last_.size() >= kSondesRemembered) last_.clear();
  last_.emplace(sample.serial, std::move(identity));
  return true;
}

std::vector<SondeFrame> FrameNews::Mark(const SondeSample& sample, bool answered,
                                        std::span<const HeardSonde> heard) {
  std::vector<SondeFrame> frames;
  if (!heard.empty()) {
    for (const HeardSonde& sonde : heard) frames.push_back({&sonde.sample, IsNew(sonde.sample)});
  } else if (answered) {
    frames.push_back({&sample, IsNew(sample)});
  }
  return frames;
}

}  // namespace nimbrix
