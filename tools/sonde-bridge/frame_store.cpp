#include "frame_store.h"

#include <utility>

#include "frame_answers.h"

namespace bridge {

std::string SummaryText(const Tally& tally) {
  std::uint64_t skipped = 0;
  std::string reasons;
  for (int r = 0; r < kSkipReasonCount; ++r) {
    const std::uint64_t n = tally.skipped[static_cast<std::size_t>(r)];
    if (n == 0) continue;
    skipped += n;
    reasons += reasons.empty() ? " (" : ", ";
    reasons += std::to_string(n) + " " + SkipReasonText(static_cast<SkipReason>(r));
  }
  if (!reasons.empty()) reasons += ")";
  return std::to_string(tally.accepted) + (tally.accepted == 1 ? " frame" : " frames") +
         " accepted, " + std::to_string(skipped) + (skipped == 1 ? " line" : " lines") +
         " skipped" + reasons;
}

void FrameStore::Accept(Frame frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  frame_ = std::move(frame);
  ++tally_.accepted;
}

void FrameStore::Skip(SkipReason reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++tally_.skipped[static_cast<std::size_t>(reason)];
}

std::optional<decoder::Answer> FrameStore::AnswerFor(std::int16_t index) const {
  if (index < 0 || index >= decoder::kItemCount) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frame_) return decoder::Answer{};  // EMPTY
  return AnswersOf(*frame_, qrgFallback_)[static_cast<std::size_t>(index)];
}

Tally FrameStore::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tally_;
}

}  // namespace bridge
