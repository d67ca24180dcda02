#pragma once

// A scripted HttpRequester on the virtual clock: each request takes the next scripted answer,
// which comes `delayMs` after the start (or never), and every request is kept for the test.

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "platform/fake/fakes.h"
#include "platform/http_request.h"

namespace nimbrix::fake {

struct ScriptedAnswer {
  std::optional<HttpAnswer> answer;  // nullopt: the answer never comes
  std::int64_t delayMs = 0;
};

HttpAnswer Answer(int status, std::string body = {});
HttpAnswer NoAnswer(HttpAnswer::Outcome outcome);

class FakeHttpRequester : public HttpRequester {
 public:
  explicit FakeHttpRequester(FakeClock& clock) : clock_(clock) {}
  bool Start(HttpRequest request) override;
  std::optional<HttpAnswer> Poll() override;
  // Advances the virtual clock by at most `milliseconds`, to the answer if it comes by then.
  std::optional<HttpAnswer> WaitMs(int milliseconds) override;
  void Abandon() override;

  bool busy() const { return busy_; }
  std::deque<ScriptedAnswer> script;
  // Taken when the script is used up.
  ScriptedAnswer otherwise{Answer(200, "^v^ telm logged"), 0};
  std::vector<HttpRequest> requests;
  std::vector<std::int64_t> startedAtMs;  // the monotonic time of each start
  int abandons = 0;

 private:
  FakeClock& clock_;
  bool busy_ = false;
  std::int64_t startedMs_ = 0;
  ScriptedAnswer current_;
};

}  // namespace nimbrix::fake
