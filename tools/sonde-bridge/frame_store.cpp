#include "frame_store.h"

#include <utility>

#include "frame_answers.h"

namespace bridge {

void FrameStore::Accept(Frame frame) {
  std::lock_guard<std::mutex> lock(mutex_);
  frame_ = std::move(frame);
  ++tally_.accepted;
}

void FrameStore::Skip(SkipReason reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++tally_.skipped[static_cast<std::size_t>(reason)];
}

std::optional<decoder::Answer> FrameStore::AnswerFor(std::int16_t index) {
  if (index < 0 || index >= decoder::kItemCount) return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  if (!frame_) return decoder::Answer{};  // EMPTY
  const auto now = clock_();
  if (!round_ || index <= lastIndex_ || now - lastAsked_ > kRoundGap) {
    round_ = AnswersOf(*frame_, qrgFallback_);  // a new round: the newest frame
  }
  lastIndex_ = index;
  lastAsked_ = now;
  return (*round_)[static_cast<std::size_t>(index)];
}

Tally FrameStore::Counts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tally_;
}

}  // namespace bridge
