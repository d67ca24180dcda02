#pragma once

// The station asks a frame's items as one round, item 0 first, all calls in flight at once. A
// decoder whose frame changes while such a round is answered would mix two frames in one
// round (the position of one, the frame number of the next). Item 0 therefore takes every
// item's answer at once, and the round's other items are answered from that picture while it
// is fresh; an item asked alone, long after, takes a new one.

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "decoder-service/answer.h"

namespace decoder {

class RoundSnapshot {
 public:
  // How long a picture serves the items after item 0: a round is answered in milliseconds.
  static constexpr std::int64_t kFreshMs = 250;

  explicit RoundSnapshot(AnswerSource source) : source_(std::move(source)) {}

  std::optional<Answer> At(std::int16_t index, std::int64_t nowMs);

 private:
  AnswerSource source_;
  std::mutex mutex_;  // COM serves calls on several threads
  std::vector<std::optional<Answer>> picture_;
  std::int64_t takenMs_ = 0;
};

// The source as the service answers from it: through a RoundSnapshot on the steady clock.
AnswerSource AnsweredByRounds(AnswerSource source);

}  // namespace decoder
