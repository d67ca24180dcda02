#pragma once

// The newest accepted frame, the newest frame of every sonde heard, and the count of every
// line, shared between the reader thread that fills them and the service's threads that ask for
// answers. The answers are made when asked
// for (fifteen calls a second), not for every frame read (a replayed file is read as fast as it
// comes).

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "decoder-service/answer.h"
#include "frame.h"
#include "tally.h"

namespace bridge {

class FrameStore {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // `qrgFallback`: item 7 for frames that name no frequency ("" when there is none).
  explicit FrameStore(std::string qrgFallback = {}, Clock clock = std::chrono::steady_clock::now)
      : qrgFallback_(std::move(qrgFallback)), clock_(std::move(clock)) {}

  // The sondes the list keeps at most; beyond that the one heard longest ago goes.
  static constexpr std::size_t kListBound = 32;

  // A frame of the sonde followed: it is served, and listed.
  void Accept(Frame frame);
  // A good frame of another sonde: only listed. Count it with Skip(kOtherSonde) as well.
  void Hear(Frame frame);
  void Skip(SkipReason reason);

  // The answer to GETSONDELIST: every sonde heard in the last kSondeListForgetMs, the followed
  // one among them, newest frame first; each with the items of its newest frame as AnswerFor
  // gives them for that frame. An id with a placeholder is never listed.
  std::vector<decoder::ListedSonde> List() const;

  // The answer to GETSONDEDATA(index): EMPTY before the first frame, nullopt for an index
  // outside 0..17. The station asks for the items one by one, in increasing order, once a
  // second: all the answers of one such round come from one frame, also when a newer one
  // arrives in between, so that no report mixes two frames. A round ends when an index is asked
  // that is not above the last one, or three seconds after its last question.
  std::optional<decoder::Answer> AnswerFor(std::int16_t index);
  Tally Counts() const;

 private:
  static constexpr std::chrono::milliseconds kRoundGap{3000};

  using TimePoint = std::chrono::steady_clock::time_point;
  struct Heard {
    Frame frame;
    TimePoint at;
  };
  // Keeps the frame as its sonde's newest; under the lock.
  void Keep(const Frame& frame, TimePoint now);

  mutable std::mutex mutex_;
  const std::string qrgFallback_;
  const Clock clock_;
  std::optional<Frame> frame_;
  std::vector<Heard> heard_;  // one per sonde, newest first
  Tally tally_;
  // The round being answered: its frame's answers, the last index asked, and when.
  std::optional<std::array<decoder::Answer, decoder::kItemCount>> round_;
  int lastIndex_ = -1;
  std::chrono::steady_clock::time_point lastAsked_{};
};

}  // namespace bridge
