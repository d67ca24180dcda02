#include "platform/http_worker.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

namespace nimbrix {

// Owned by the requester and by its worker together: a worker still inside a request the
// requester gave up on may outlive it.
struct WorkerHttpRequester::Shared {
  explicit Shared(HttpPerformer perform) : perform(std::move(perform)) {}
  const HttpPerformer perform;
  std::mutex mutex;
  std::condition_variable changed;
  std::optional<HttpRequest> pending;
  std::optional<HttpAnswer> answer;
  bool busy = false;  // started and its answer not yet taken
  std::uint64_t generation = 0;
  std::shared_ptr<std::atomic<bool>> abandoned = std::make_shared<std::atomic<bool>>(false);
  bool stopping = false;
  bool workerDone = false;
};

namespace {

constexpr auto kExitWait = std::chrono::milliseconds(1000);

void Work(const std::shared_ptr<WorkerHttpRequester::Shared>& shared) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->changed.wait(lock, [&] { return shared->stopping || shared->pending.has_value(); });
    if (shared->stopping) break;
    HttpRequest request = std::move(*shared->pending);
    shared->pending.reset();
    const std::uint64_t generation = shared->generation;
    const std::shared_ptr<std::atomic<bool>> abandoned = shared->abandoned;
    lock.unlock();
    HttpAnswer answer = shared->perform(request, *abandoned);
    lock.lock();
    if (generation == shared->generation && !abandoned->load()) {
      shared->answer = std::move(answer);
      shared->changed.notify_all();
    }
  }
  shared->workerDone = true;
  shared->changed.notify_all();
}

}  // namespace

WorkerHttpRequester::WorkerHttpRequester(HttpPerformer perform)
    : shared_(std::make_shared<Shared>(std::move(perform))) {
  std::thread(Work, shared_).detach();
}

WorkerHttpRequester::~WorkerHttpRequester() {
  std::unique_lock lock(shared_->mutex);
  shared_->stopping = true;
  shared_->abandoned->store(true);
  shared_->changed.notify_all();
  // A request that cannot be cut short is left to its own time-out: the program does not
  // wait for it on its way out.
  shared_->changed.wait_for(lock, kExitWait, [&] { return shared_->workerDone; });
}

bool WorkerHttpRequester::Start(HttpRequest request) {
  std::lock_guard lock(shared_->mutex);
  if (shared_->busy) return false;
  shared_->busy = true;
  ++shared_->generation;
  shared_->abandoned = std::make_shared<std::atomic<bool>>(false);
  shared_->answer.reset();
  shared_->pending = std::move(request);
  shared_->changed.notify_all();
  return true;
}

std::optional<HttpAnswer> WorkerHttpRequester::Poll() {
  std::lock_guard lock(shared_->mutex);
  if (!shared_->answer) return std::nullopt;
  shared_->busy = false;
  return std::exchange(shared_->answer, std::nullopt);
}

std::optional<HttpAnswer> WorkerHttpRequester::WaitMs(int milliseconds) {
  std::unique_lock lock(shared_->mutex);
  if (!shared_->busy) return std::nullopt;
  shared_->changed.wait_for(lock, std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds),
                            [&] { return shared_->answer.has_value(); });
  if (!shared_->answer) return std::nullopt;
  shared_->busy = false;
  return std::exchange(shared_->answer, std::nullopt);
}

void WorkerHttpRequester::Abandon() {
  std::lock_guard lock(shared_->mutex);
  if (!shared_->busy) return;
  shared_->abandoned->store(true);
  ++shared_->generation;
  shared_->pending.reset();
  shared_->answer.reset();
  shared_->busy = false;
}

}  // namespace nimbrix
