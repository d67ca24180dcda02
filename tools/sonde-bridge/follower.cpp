#include "follower.h"

#include <utility>

namespace bridge {

SondeFollower::Decision SondeFollower::Consider(const std::string& id, std::int64_t nowMs) {
  Decision d;
  if (id == followed_) {
    d.take = true;
  } else if (!pinned_ && (!lastTakenMs_ || nowMs - *lastTakenMs_ >= switchAfterMs_)) {
    d.take = true;
    d.movedFrom = std::exchange(followed_, id);
  }
  if (d.take) lastTakenMs_ = nowMs;
  return d;
}

}  // namespace bridge
