#pragma once

// The handover from the cycle to the server's threads: the cycle publishes a finished JSON text
// once per cycle, a request takes the pointer to the latest one. Neither waits for the other
// longer than a pointer's copy, and a text once published is never changed.

#include <memory>
#include <mutex>
#include <string>

namespace nimbrix {

class StatusBoard {
 public:
  void Publish(std::string json) {
    auto text = std::make_shared<const std::string>(std::move(json));
    const std::lock_guard<std::mutex> lock(mutex_);
    current_.swap(text);
    // The old text is freed outside the lock, when `text` goes (or by its last reader).
  }

  // Null before the first Publish.
  std::shared_ptr<const std::string> Current() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return current_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const std::string> current_;
};

}  // namespace nimbrix
