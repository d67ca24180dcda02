#include "decoder-service/round_snapshot.h"

#include <chrono>
#include <memory>

namespace decoder {

std::optional<Answer> RoundSnapshot::At(std::int16_t index, std::int64_t nowMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (index < 0 || index >= kItemCount) return source_(index);
  if (index == 0 || picture_.empty() || nowMs - takenMs_ > kFreshMs || nowMs < takenMs_) {
    picture_.clear();
    for (std::int16_t i = 0; i < kItemCount; ++i) picture_.push_back(source_(i));
    takenMs_ = nowMs;
  }
  return picture_[static_cast<std::size_t>(index)];
}

AnswerSource AnsweredByRounds(AnswerSource source) {
  auto snapshot = std::make_shared<RoundSnapshot>(std::move(source));
  return [snapshot](std::int16_t index) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return snapshot->At(index, std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
  };
}

}  // namespace decoder
