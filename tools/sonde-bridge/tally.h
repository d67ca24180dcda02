#pragma once

// Counts of the lines read: frames accepted and lines skipped by reason, and how the bridge puts
// them into words for the operator. Empty lines are not counted (the decoders print one after
// every frame).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frame.h"

namespace bridge {

struct Tally {
  std::uint64_t accepted = 0;
  std::array<std::uint64_t, kSkipReasonCount> skipped{};

  std::uint64_t Skipped() const;
  std::uint64_t Read() const { return accepted + Skipped(); }
  // What was counted after `earlier`, a copy of this tally taken before.
  Tally Since(const Tally& earlier) const;
};

// The skip reasons with their counts, "3 not JSON, 1 too long"; reasons without a line are left
// out.
std::string ReasonsText(const Tally& tally);

// One line: "62 lines read, 60 frames accepted, 2 lines skipped (2 not JSON)".
std::string SummaryText(const Tally& tally);

// What the bridge says when an input ends, one text per line: `what` ended and the counts, and
// when no frame was accepted, the likely cause.
std::vector<std::string> EndOfInputTexts(const Tally& tally,
                                         const std::string& what = "end of the input");

}  // namespace bridge
