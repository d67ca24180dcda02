#include "platform/http_worker.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace nimbrix {
namespace {

// A performer that answers with the request's body as status once the test lets it, or stops
// when the request is given up.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  int released = 0;
  int started = 0;
  int sawAbandoned = 0;

  HttpPerformer Performer() {
    return [this](const HttpRequest& request, const std::atomic<bool>& abandoned) {
      std::unique_lock lock(mutex);
      ++started;
      changed.notify_all();
      while (released == 0 && !abandoned.load()) {
        changed.wait_for(lock, std::chrono::milliseconds(5));
      }
      if (abandoned.load()) {
        ++sawAbandoned;
        changed.notify_all();
      } else {
        --released;
      }
      HttpAnswer answer;
      answer.outcome = HttpAnswer::Outcome::kAnswered;
      answer.status = std::stoi(request.body);
      return answer;
    };
  }
  void Release() {
    std::lock_guard lock(mutex);
    ++released;
    changed.notify_all();
  }
  void WaitAbandoned(int count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return sawAbandoned >= count; });
  }
  void WaitStarted(int count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return started >= count; });
  }
};

HttpRequest Body(const char* body) {
  HttpRequest request;
  request.body = body;
  return request;
}

TEST(WorkerHttpRequester, OneRequestAtATimeAnsweredByPolling) {
  Gate gate;
  WorkerHttpRequester requester(gate.Performer());
  EXPECT_FALSE(requester.Poll());
  ASSERT_TRUE(requester.Start(Body("200")));
  EXPECT_FALSE(requester.Start(Body("201")));  // one at a time
  gate.WaitStarted(1);
  EXPECT_FALSE(requester.Poll());  // under way: nothing yet, and no waiting for it
  gate.Release();
  std::optional<HttpAnswer> answer;
  while (!answer) answer = requester.WaitMs(1000);
  EXPECT_EQ(answer->status, 200);
  EXPECT_FALSE(requester.Poll());  // taken once
  ASSERT_TRUE(requester.Start(Body("202")));
  gate.Release();
  answer.reset();
  while (!answer) answer = requester.WaitMs(1000);
  EXPECT_EQ(answer->status, 202);
}

TEST(WorkerHttpRequester, AnAbandonedRequestIsNeverReported) {
  Gate gate;
  WorkerHttpRequester requester(gate.Performer());
  ASSERT_TRUE(requester.Start(Body("500")));
  gate.WaitStarted(1);
  EXPECT_FALSE(requester.WaitMs(20));  // bounded: it returns without an answer
  requester.Abandon();
  ASSERT_TRUE(requester.Start(Body("200")));  // while the worker may still be on the first
  gate.WaitAbandoned(1);
  gate.Release();
  std::optional<HttpAnswer> answer;
  while (!answer) answer = requester.WaitMs(1000);
  EXPECT_EQ(answer->status, 200);
}

TEST(WorkerHttpRequester, GoingAwayWithARequestUnderWayEndsIt) {
  Gate gate;
  {
    WorkerHttpRequester requester(gate.Performer());
    ASSERT_TRUE(requester.Start(Body("200")));
    gate.WaitStarted(1);
  }
  gate.WaitAbandoned(1);
}

}  // namespace
}  // namespace nimbrix
