#include "sondehub/sondehub_output.h"

#include <utility>

#include "format/utc_text.h"
#include "sondehub/gzip.h"
#include "version/version.h"

namespace nimbrix {

namespace {

// Sondes in view at once are few; a long run sees many come and go.
constexpr std::size_t kMaxSondesRemembered = 64;

}  // namespace

SondehubOutput::SondehubOutput(const StationConfig& config, Clock& clock,
                               std::unique_ptr<HttpRequester> requester, FeedRules rules)
    : url_(config.sSONDEHUB_URL),
      station_(StationOf(config)),
      clock_(clock),
      requester_(std::move(requester)),
      feed_(ListenerRecordJson(station_), rules),
      requestTimeoutMs_(rules.requestTimeoutMs) {}

DestinationStatus SondehubOutput::Status() const {
  DestinationStatus status = feed_.status();
  status.kind = "SondeHub";
  status.name = url_;
  return status;
}

void SondehubOutput::Cycle(const CycleFacts& facts) {
  ForEachNewFrame(
      facts, [&](const SondeSample& sample) { Queue(sample, facts.utcMs, facts.monotonicMs); });
  Pump(facts.monotonicMs, facts.utcMs);
}

void SondehubOutput::Queue(const SondeSample& sample, std::int64_t utcMs,
                           std::int64_t monotonicMs) {
  if (sample.serial.empty()) return;
  FrameOutcome outcome = FrameOf(sample, utcMs);
  if (!outcome.refusal.empty()) {
    if (toldRefused_.size() >= kMaxSondesRemembered) toldRefused_.clear();
    if (toldRefused_.insert(sample.serial).second) {
      feed_.Tell("not sent: " + CleanText(sample.serial) + ": " + outcome.refusal, utcMs);
    }
    return;
  }
  if (!outcome.frame) return;
  const SondehubFrame& frame = *outcome.frame;
  feed_.Add({TelemetryRecordJson(frame, station_), frame.serial, NeedsFullBatch(frame.type),
             monotonicMs});
}

bool SondehubOutput::Send(const FeedRequest& request, std::int64_t utcMs) {
  HttpRequest http;
  http.method = "PUT";
  http.timeoutMs = requestTimeoutMs_;
  http.headers = {"Content-Type: application/json", "Date: " + HttpDateText(utcMs),
                  std::string("User-Agent: ") + kVersionText};
  if (request.kind == FeedRequest::Kind::kListener) {
    // The listeners' endpoint cannot read a compressed body.
    http.url = url_ + "/listeners";
    http.body = request.json;
  } else {
    http.url = url_ + "/sondes/telemetry";
    std::optional<std::string> packed = Gzip(request.json);
    if (packed) {
      http.headers.push_back("Content-Encoding: gzip");
      http.body = std::move(*packed);
    } else {
      http.body = request.json;
    }
  }
  return requester_->Start(std::move(http));
}

void SondehubOutput::Pump(std::int64_t nowMs, std::int64_t utcMs) {
  if (feed_.InFlight()) {
    if (std::optional<HttpAnswer> answer = requester_->Poll()) {
      feed_.Answered(*answer, nowMs, utcMs);
    } else if (feed_.Overdue(nowMs)) {
      requester_->Abandon();
      HttpAnswer late;
      late.outcome = HttpAnswer::Outcome::kTimedOut;
      feed_.Answered(late, nowMs, utcMs);
    }
  }
  if (std::optional<FeedRequest> request = feed_.Next(nowMs)) {
    if (!Send(*request, utcMs)) {
      HttpAnswer refused;
      refused.outcome = HttpAnswer::Outcome::kNoConnection;
      feed_.Answered(refused, nowMs, utcMs);
    }
  }
}

void SondehubOutput::Stop(std::int64_t deadlineMs) {
  const auto remaining = [&] {
    return static_cast<int>(std::max<std::int64_t>(0, deadlineMs - clock_.MonotonicMs()));
  };
  // Waits for the request under way until the deadline; false (and it is given up) when its
  // answer does not come by then.
  const auto answered = [&] {
    const std::optional<HttpAnswer> answer = requester_->WaitMs(remaining());
    if (!answer) {
      requester_->Abandon();
      return false;
    }
    feed_.Answered(*answer, clock_.MonotonicMs(), clock_.UtcMs());
    return true;
  };
  if (feed_.InFlight() && !answered()) {
    feed_.GiveUpWaiting();
    return;
  }
  if (std::optional<FeedRequest> last = feed_.Last(clock_.MonotonicMs());
      last && remaining() > 0 && Send(*last, clock_.UtcMs())) {
    answered();
  }
  // What the last answer did not take, or what could not go at all, is lost now.
  feed_.GiveUpWaiting();
}

}  // namespace nimbrix
