#pragma once

#include <algorithm>
#include <cstdint>

#include "platform/clock.h"

namespace nimbrix {

// Work the station does while one of its blocking steps waits (a pause, a connect, a send
// waiting for room): the waits are cut into pieces where the work is due, and it runs between
// them, on the same thread, so nothing it touches needs a lock and the decoder's calls stay on
// the thread that attached it.
class WaitWork {
 public:
  virtual ~WaitWork() = default;
  // When it is next due, on the monotonic clock.
  virtual std::int64_t NextDueMs() const = 0;
  // Does it; afterwards NextDueMs() lies ahead.
  virtual void Run() = 0;
};

// Where the waiting steps find the work, if there is any. Set by the station for as long as the
// work's parts live; never run inside itself (the work may call what waits).
class WaitWorkSlot {
 public:
  // The work while it is not already running, or null.
  WaitWork* Available() const { return running_ ? nullptr : work_; }
  void Set(WaitWork* work) { work_ = work; }

  void RunIfDue(std::int64_t nowMs) {
    WaitWork* work = Available();
    if (!work || nowMs < work->NextDueMs()) return;
    running_ = true;
    work->Run();
    running_ = false;
  }

  // Sets the work for the scope's life.
  class Use {
   public:
    Use(WaitWorkSlot* slot, WaitWork* work) : slot_(work ? slot : nullptr) {
      if (slot_) slot_->Set(work);
    }
    ~Use() {
      if (slot_) slot_->Set(nullptr);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

   private:
    WaitWorkSlot* slot_;
  };

 private:
  WaitWork* work_ = nullptr;
  bool running_ = false;
};

// How long the next piece of a wait that has `leftMs` to go may last: up to the moment the
// work is due (none: all of it).
inline std::int64_t WaitPieceMs(const WaitWorkSlot* slot, std::int64_t nowMs, std::int64_t leftMs) {
  const WaitWork* work = slot ? slot->Available() : nullptr;
  if (!work) return leftMs;
  return std::clamp<std::int64_t>(work->NextDueMs() - nowMs, 0, leftMs);
}

}  // namespace nimbrix
