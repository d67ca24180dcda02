#include "platform/fake/fake_http_requester.h"

#include <algorithm>
#include <utility>

namespace nimbrix::fake {

HttpAnswer Answer(int status, std::string body) {
  HttpAnswer answer;
  answer.outcome = HttpAnswer::Outcome::kAnswered;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

HttpAnswer NoAnswer(HttpAnswer::Outcome outcome) {
  HttpAnswer answer;
  answer.outcome = outcome;
  answer.error = outcome == HttpAnswer::Outcome::kTimedOut ? "timed out" : "connection refused";
  return answer;
}

bool FakeHttpRequester::Start(HttpRequest request) {
  if (busy_) return false;
  busy_ = true;
  startedMs_ = clock_.MonotonicMs();
  requests.push_back(std::move(request));
  startedAtMs.push_back(startedMs_);
  if (script.empty()) {
    current_ = otherwise;
  } else {
    current_ = std::move(script.front());
    script.pop_front();
  }
  return true;
}

std::optional<HttpAnswer> FakeHttpRequester::Poll() {
  if (!busy_ || !current_.answer || clock_.MonotonicMs() < startedMs_ + current_.delayMs) {
    return std::nullopt;
  }
  busy_ = false;
  return std::move(current_.answer);
}

std::optional<HttpAnswer> FakeHttpRequester::WaitMs(int milliseconds) {
  if (!busy_) return std::nullopt;
  std::int64_t wait = std::max(0, milliseconds);
  if (current_.answer) {
    wait = std::min(
        wait, std::max<std::int64_t>(0, startedMs_ + current_.delayMs - clock_.MonotonicMs()));
  }
  clock_.Advance(wait);
  return Poll();
}

void FakeHttpRequester::Abandon() {
  if (!busy_) return;
  busy_ = false;
  ++abandons;
}

}  // namespace nimbrix::fake
