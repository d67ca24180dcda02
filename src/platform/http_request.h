#pragma once

// One HTTP request at a time, beside the cycle: started, then polled for its answer without
// waiting. The request runs on a worker of its own; the caller never blocks on the network,
// except in WaitMs, which the clean stop uses with a bound.

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace nimbrix {

struct HttpRequest {
  std::string method = "PUT";
  std::string url;
  // Whole header lines without line breaks ("Content-Type: application/json").
  std::vector<std::string> headers;
  std::string body;
  int timeoutMs = 30000;  // the whole exchange, connecting included
};

struct HttpAnswer {
  enum class Outcome {
    kAnswered,      // the server answered with `status`
    kTimedOut,      // no whole answer within the request's time-out
    kNoConnection,  // no connection: name, refused, reset, TLS
  };
  Outcome outcome = Outcome::kNoConnection;
  int status = 0;
  std::string body;   // at most kMaxAnswerBytes of it
  std::string error;  // what went wrong, in the library's words, when not answered
};

// Answers are short (a refusal quotes the refused records); a longer one is cut here.
inline constexpr std::size_t kMaxAnswerBytes = std::size_t{1} << 20;

class HttpRequester {
 public:
  virtual ~HttpRequester() = default;
  // Starts `request`; false while another is under way (or the request cannot be made).
  virtual bool Start(HttpRequest request) = 0;
  // The answer of the request under way, once there is one; nothing while it runs.
  virtual std::optional<HttpAnswer> Poll() = 0;
  // Waits at most `milliseconds` for the answer of the request under way.
  virtual std::optional<HttpAnswer> WaitMs(int milliseconds) = 0;
  // Gives up the request under way: its answer is never reported, and a new one may start.
  virtual void Abandon() = 0;
};

// The system's requester (libcurl on Linux, WinHTTP on Windows), with its own worker.
std::unique_ptr<HttpRequester> MakeSystemHttpRequester();

}  // namespace nimbrix
