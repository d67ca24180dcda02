#pragma once

// One sonde at a time. Several decoders may feed one bridge, and their frames interleave: the
// bridge follows the first sonde it accepts and moves to another only once the followed one has
// sent nothing accepted for a while, so the station never jumps between two balloons.

#include <cstdint>
#include <optional>
#include <string>

namespace bridge {

inline constexpr int kDefaultSwitchAfterSeconds = 30;

class SondeFollower {
 public:
  // `serial`: only that sonde, for good; empty: the first sonde accepted, then as above.
  SondeFollower(std::string serial, std::int64_t switchAfterMs)
      : followed_(std::move(serial)), pinned_(!followed_.empty()), switchAfterMs_(switchAfterMs) {}

  struct Decision {
    bool take = false;
    // When this frame makes the bridge follow another sonde: the one it followed until now
    // ("" for the first sonde).
    std::optional<std::string> movedFrom;
  };

  // Whether to take a frame of sonde `id` that arrives at `nowMs` (a steady clock); a frame
  // taken counts as the followed sonde's latest.
  Decision Consider(const std::string& id, std::int64_t nowMs);

  const std::string& Followed() const { return followed_; }

 private:
  std::string followed_;
  const bool pinned_;
  const std::int64_t switchAfterMs_;
  std::optional<std::int64_t> lastTakenMs_;
};

}  // namespace bridge
