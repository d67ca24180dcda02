#pragma once

// Lines that keep coming without a frame being accepted: after 30 s of that the bridge says why,
// without --verbose, once until a frame is accepted again.

#include <cstdint>
#include <optional>
#include <string>

#include "tally.h"

namespace bridge {

inline constexpr std::int64_t kQuietNoticeMs = 30000;

class QuietWatch {
 public:
  void Accepted(std::int64_t nowMs);
  // A line skipped at `nowMs` (a steady clock): the notice, when no frame has been accepted for
  // 30 s or more (counted from the last frame accepted, or from the first line), once.
  std::optional<std::string> Skipped(SkipReason reason, std::int64_t nowMs);

 private:
  std::optional<std::int64_t> since_;  // the last frame accepted, or the first line after start
  Tally skipped_;                      // the lines skipped since
  bool told_ = false;
};

}  // namespace bridge
