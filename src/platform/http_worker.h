#pragma once

// The part of an HttpRequester that every system shares: one worker thread that carries out
// one request at a time, so that the caller only ever starts, polls and gives up.

#include <atomic>
#include <functional>
#include <memory>

#include "platform/http_request.h"

namespace nimbrix {

// Carries out one request and returns its answer. `abandoned` turns true when the caller has
// given the request up; a performer that can, stops early then.
using HttpPerformer =
    std::function<HttpAnswer(const HttpRequest&, const std::atomic<bool>& abandoned)>;

class WorkerHttpRequester final : public HttpRequester {
 public:
  explicit WorkerHttpRequester(HttpPerformer perform);
  ~WorkerHttpRequester() override;
  WorkerHttpRequester(const WorkerHttpRequester&) = delete;
  WorkerHttpRequester& operator=(const WorkerHttpRequester&) = delete;

  bool Start(HttpRequest request) override;
  std::optional<HttpAnswer> Poll() override;
  std::optional<HttpAnswer> WaitMs(int milliseconds) override;
  void Abandon() override;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace nimbrix
