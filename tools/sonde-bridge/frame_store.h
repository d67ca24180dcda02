#pragma once

// The newest accepted frame and the count of every line, shared between the reader thread that
// fills them and the service's threads that ask for answers. The answers are made when asked
// for (fifteen calls a second), not for every frame read (a replayed file is read as fast as it
// comes).

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "decoder-service/answer.h"
#include "frame.h"
#include "tally.h"

namespace bridge {

class FrameStore {
 public:
  // `qrgFallback`: item 7 for frames that name no frequency ("" when there is none).
  explicit FrameStore(std::string qrgFallback = {}) : qrgFallback_(std::move(qrgFallback)) {}

  void Accept(Frame frame);
  void Skip(SkipReason reason);

  // The answer to GETSONDEDATA(index): EMPTY before the first frame, nullopt for an index
  // outside 0..14.
  std::optional<decoder::Answer> AnswerFor(std::int16_t index) const;
  Tally Counts() const;

 private:
  mutable std::mutex mutex_;
  const std::string qrgFallback_;
  std::optional<Frame> frame_;
  Tally tally_;
};

}  // namespace bridge
