#include "quiet_watch.h"

namespace bridge {

void QuietWatch::Accepted(std::int64_t nowMs) {
  since_ = nowMs;
  skipped_ = {};
  told_ = false;
}

std::optional<std::string> QuietWatch::Skipped(SkipReason reason, std::int64_t nowMs) {
  if (!since_) since_ = nowMs;
  ++skipped_.skipped[static_cast<std::size_t>(reason)];
  if (told_ || nowMs - *since_ < kQuietNoticeMs) return std::nullopt;
  told_ = true;
  const std::uint64_t n = skipped_.Skipped();
  return "no frame accepted for " + std::to_string((nowMs - *since_) / 1000) + " s: " +
         (n == 1 ? "the 1 line since was" : "the " + std::to_string(n) + " lines since were") +
         " skipped (" + ReasonsText(skipped_) + ")";
}

}  // namespace bridge
