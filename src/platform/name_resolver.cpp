#include "platform/name_resolver.h"

#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace nimbrix {

namespace {

// What the look-up's thread and its owner share; the last of them to let go frees it.
struct SharedLookup {
  std::mutex mutex;
  LookupResult result;
};

class ThreadLookup : public PendingLookup {
 public:
  explicit ThreadLookup(std::shared_ptr<SharedLookup> shared) : shared_(std::move(shared)) {}
  LookupResult Poll() override {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->result;
  }

 private:
  std::shared_ptr<SharedLookup> shared_;
};

class ThreadNameResolver : public NameResolver {
 public:
  explicit ThreadNameResolver(BlockingLookUp lookUp) : lookUp_(std::move(lookUp)) {}

  std::unique_ptr<PendingLookup> Start(const std::string& host) override {
    auto shared = std::make_shared<SharedLookup>();
    try {
      std::thread([shared, host, lookUp = lookUp_] {
        std::optional<std::uint32_t> found;
        try {
          found = lookUp(host);
        } catch (...) {
          found.reset();
        }
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->result.state = found ? LookupResult::State::kFound : LookupResult::State::kFailed;
        shared->result.address = found.value_or(0);
      }).detach();
    } catch (const std::system_error&) {
      shared->result.state = LookupResult::State::kFailed;  // no thread to be had: try later
    }
    return std::make_unique<ThreadLookup>(std::move(shared));
  }

 private:
  BlockingLookUp lookUp_;
};

}  // namespace

std::unique_ptr<NameResolver> MakeThreadNameResolver(BlockingLookUp lookUp) {
  return std::make_unique<ThreadNameResolver>(std::move(lookUp));
}

}  // namespace nimbrix
