#pragma once

// The answers of the newest accepted frame and the count of every line, shared between the
// reader thread that fills them and the service's threads that read them.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "decoder-service/answer.h"
#include "frame.h"

namespace bridge {

struct Tally {
  std::uint64_t accepted = 0;
  std::array<std::uint64_t, kSkipReasonCount> skipped{};
};

// One line: "N frames accepted, M lines skipped (3 not JSON, 1 too long)"; reasons without a
// line are left out.
std::string SummaryText(const Tally& tally);

class FrameStore {
 public:
  void Accept(std::array<decoder::Answer, decoder::kItemCount> answers);
  void Skip(SkipReason reason);

  // The answer to GETSONDEDATA(index): EMPTY before the first frame, nullopt for an index
  // outside 0..14.
  std::optional<decoder::Answer> AnswerFor(std::int16_t index) const;
  Tally Counts() const;

 private:
  mutable std::mutex mutex_;
  std::optional<std::array<decoder::Answer, decoder::kItemCount>> answers_;
  Tally tally_;
};

}  // namespace bridge
