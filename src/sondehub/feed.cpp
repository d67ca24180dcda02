#include "sondehub/feed.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include "sondehub/record.h"

namespace nimbrix {

namespace {

constexpr std::size_t kMaxMessageBytes = 200;

// The first line of a server's text, short and clean enough to show.
std::string MessageOf(std::string_view body) {
  body = body.substr(0, body.find_first_of("\r\n"));
  return CleanText(body.substr(0, kMaxMessageBytes));
}

// What the server says of a trial record ("dev") that passed every check: not stored, but not
// refused for anything wrong with it.
constexpr std::string_view kTrialPassed = "All checks passed";

struct Verdict {
  std::size_t errors = 0;  // records refused for a fault of theirs
  std::size_t trialsPassed = 0;
  std::string firstError;
  std::string firstWarning;
  std::string message;
};

// SondeHub's 202: {"message": ..., "errors": [{"error_message": ...}, ...], "warnings": [...]}.
Verdict VerdictOf(const std::string& body) {
  Verdict verdict;
  rapidjson::Document doc;
  // Iterative: a deeply nested answer must not use up the stack.
  doc.Parse<rapidjson::kParseIterativeFlag>(body.data(), body.size());
  if (doc.HasParseError() || !doc.IsObject()) return verdict;
  // Looked at as const only: the const iterators compare without C++20's reversed candidates.
  const rapidjson::Value& answer = doc;
  const auto text = [](const rapidjson::Value& item, const char* key) -> std::string {
    if (item.IsString()) return MessageOf({item.GetString(), item.GetStringLength()});
    if (!item.IsObject()) return {};
    const auto found = item.FindMember(key);
    if (found == item.MemberEnd() || !found->value.IsString()) return {};
    return MessageOf({found->value.GetString(), found->value.GetStringLength()});
  };
  if (const auto m = answer.FindMember("message"); m != answer.MemberEnd() && m->value.IsString()) {
    verdict.message = MessageOf({m->value.GetString(), m->value.GetStringLength()});
  }
  if (const auto e = answer.FindMember("errors"); e != answer.MemberEnd() && e->value.IsArray()) {
    for (const rapidjson::Value& error : e->value.GetArray()) {
      std::string said = text(error, "error_message");
      if (said.starts_with(kTrialPassed)) {
        ++verdict.trialsPassed;
        continue;
      }
      if (verdict.errors++ == 0) verdict.firstError = std::move(said);
    }
  }
  if (const auto w = answer.FindMember("warnings"); w != answer.MemberEnd() && w->value.IsArray()) {
    if (w->value.Size() > 0) verdict.firstWarning = text(w->value[0], "warning_message");
  }
  return verdict;
}

std::string OutcomeText(const HttpAnswer& answer) {
  switch (answer.outcome) {
    case HttpAnswer::Outcome::kAnswered:
      return "HTTP " + std::to_string(answer.status);
    case HttpAnswer::Outcome::kTimedOut:
      return "time-out";
    case HttpAnswer::Outcome::kNoConnection:
      break;
  }
  return "no connection";
}

bool Retryable(const HttpAnswer& answer) {
  return answer.outcome != HttpAnswer::Outcome::kAnswered || answer.status >= 500;
}

}  // namespace

SondehubFeed::SondehubFeed(std::string listenerJson, FeedRules rules)
    : rules_(rules), listenerJson_(std::move(listenerJson)) {
  status_.state = DestinationStatus::State::kConnecting;
  status_.stateText = "starting";
}

std::size_t SondehubFeed::waiting() const {
  return queue_.size() + (retry_ ? retry_->records.size() : 0);
}

void SondehubFeed::Add(QueuedRecord record) {
  queue_.push_back(std::move(record));
  while (waiting() > rules_.maxQueued) {
    // The batch waiting for its next try holds the oldest records.
    if (retry_ && !retry_->records.empty()) {
      retry_->records.pop_front();
      if (retry_->records.empty()) retry_.reset();
    } else {
      queue_.pop_front();
    }
    ++dropped_;
    ++status_.failed;
  }
}

SondehubFeed::Batch SondehubFeed::TakeSendable(std::int64_t nowMs, bool everything) {
  // Sondes the server judges by the whole batch wait until it holds enough of their frames.
  std::map<std::string, std::pair<std::size_t, std::int64_t>> held;  // count, oldest
  if (!everything) {
    for (const QueuedRecord& r : queue_) {
      if (!r.needsFullBatch) continue;
      auto [it, added] = held.try_emplace(r.serial, 0, r.queuedMs);
      ++it->second.first;
      it->second.second = std::min(it->second.second, r.queuedMs);
    }
    for (auto it = held.begin(); it != held.end();) {
      const bool ready = it->second.first >= rules_.fullBatchFrames ||
                         nowMs - it->second.second >= rules_.fullBatchWaitMs;
      it = ready ? held.erase(it) : std::next(it);
    }
  }
  Batch batch;
  std::deque<QueuedRecord> kept;
  for (QueuedRecord& r : queue_) {
    if (r.needsFullBatch && held.count(r.serial) > 0) {
      kept.push_back(std::move(r));
    } else {
      batch.records.push_back(std::move(r));
    }
  }
  queue_ = std::move(kept);
  return batch;
}

std::optional<FeedRequest> SondehubFeed::StartTelemetry(Batch batch, std::int64_t nowMs,
                                                        bool retry) {
  if (batch.records.empty()) return std::nullopt;
  std::vector<std::string_view> records;
  records.reserve(batch.records.size());
  for (const QueuedRecord& r : batch.records) records.emplace_back(r.json);
  FeedRequest request{FeedRequest::Kind::kTelemetry, JsonArray(records), batch.records.size()};
  ++batch.tries;
  inFlight_ = std::move(batch);
  startedMs_ = nowMs;
  lastRequestMs_ = nowMs;
  if (!retry) lastBatchMs_ = nowMs;
  return request;
}

std::optional<FeedRequest> SondehubFeed::StartListener(std::int64_t nowMs) {
  listenerInFlight_ = true;
  ++listenerTries_;
  startedMs_ = nowMs;
  return FeedRequest{FeedRequest::Kind::kListener, listenerJson_, 0};
}

std::optional<FeedRequest> SondehubFeed::Next(std::int64_t nowMs) {
  if (!started_) {
    started_ = true;
    lastBatchMs_ = nowMs;
    lastRequestMs_ = nowMs - rules_.minSpacingMs;
    listenerDueMs_ = nowMs;
  }
  if (InFlight()) return std::nullopt;
  if (retry_ && nowMs >= retry_->retryAtMs) {
    Batch batch = std::move(*retry_);
    retry_.reset();
    return StartTelemetry(std::move(batch), nowMs, true);
  }
  if (nowMs >= listenerDueMs_) return StartListener(nowMs);
  if (retry_) return std::nullopt;
  if (nowMs - lastBatchMs_ < rules_.batchEveryMs || nowMs - lastRequestMs_ < rules_.minSpacingMs) {
    return std::nullopt;
  }
  return StartTelemetry(TakeSendable(nowMs, false), nowMs, false);
}

std::optional<FeedRequest> SondehubFeed::Last(std::int64_t nowMs) {
  if (InFlight()) return std::nullopt;
  Batch batch;
  if (retry_) batch = std::move(*retry_);
  retry_.reset();
  Batch rest = TakeSendable(nowMs, true);
  for (QueuedRecord& r : rest.records) batch.records.push_back(std::move(r));
  return StartTelemetry(std::move(batch), nowMs, false);
}

bool SondehubFeed::Overdue(std::int64_t nowMs) const {
  return InFlight() && nowMs - startedMs_ >= rules_.requestTimeoutMs + rules_.overdueGraceMs;
}

void SondehubFeed::SetState(DestinationStatus::State state, std::string text, std::int64_t utcMs) {
  if (status_.state != state || status_.stateText != text) status_.sinceUtcMs = utcMs;
  status_.state = state;
  status_.stateText = std::move(text);
}

void SondehubFeed::Lose(std::size_t records) {
  status_.failed += records;
}

void SondehubFeed::GiveUpWaiting() {
  std::size_t lost = queue_.size();
  if (retry_) lost += retry_->records.size();
  if (inFlight_) lost += inFlight_->records.size();
  queue_.clear();
  retry_.reset();
  inFlight_.reset();
  listenerInFlight_ = false;
  Lose(lost);
}

void SondehubFeed::Tell(std::string text, std::int64_t utcMs) {
  SetState(status_.state, std::move(text), utcMs);
}

void SondehubFeed::Answered(const HttpAnswer& answer, std::int64_t nowMs, std::int64_t utcMs) {
  const bool answered2xx = answer.outcome == HttpAnswer::Outcome::kAnswered &&
                           answer.status >= 200 && answer.status < 300;
  if (listenerInFlight_) {
    listenerInFlight_ = false;
    if (answered2xx) {
      listenerTries_ = 0;
      listenerDueMs_ = nowMs + rules_.listenerEveryMs;
      if (status_.state == DestinationStatus::State::kConnecting) {
        SetState(DestinationStatus::State::kUp, "OK", utcMs);
      }
      return;
    }
    if (Retryable(answer) && listenerTries_ < rules_.maxTries) {
      listenerDueMs_ = nowMs + (rules_.firstBackOffMs << (listenerTries_ - 1));
    } else {
      listenerTries_ = 0;
      listenerDueMs_ = nowMs + rules_.listenerEveryMs;
    }
    SetState(DestinationStatus::State::kFailing, OutcomeText(answer), utcMs);
    status_.lastMessage = MessageOf(answer.body);
    return;
  }
  if (!inFlight_) return;
  Batch batch = std::move(*inFlight_);
  inFlight_.reset();
  const std::size_t count = batch.records.size();

  if (answered2xx) {
    std::size_t refused = 0;
    std::string text = "OK";
    // All taken: nothing to tell ("^v^ telm logged" would only add a line to the log).
    std::string message;
    if (answer.status == 202) {
      const Verdict verdict = VerdictOf(answer.body);
      refused = std::min(verdict.errors, count);
      if (refused > 0) {
        text = "refused: " + verdict.firstError;
      } else if (verdict.trialsPassed > 0) {
        text = "trial: all checks passed";
      } else if (!verdict.firstWarning.empty()) {
        text = "warning: " + verdict.firstWarning;
      }
      message = verdict.message;
    }
    status_.sent += count - refused;
    status_.failed += refused;
    if (count > refused) status_.lastSuccessUtcMs = utcMs;
    SetState(DestinationStatus::State::kUp, std::move(text), utcMs);
    status_.lastMessage = std::move(message);
    return;
  }
  SetState(DestinationStatus::State::kFailing, OutcomeText(answer), utcMs);
  status_.lastMessage = MessageOf(answer.body);
  if (!Retryable(answer) || batch.tries >= rules_.maxTries) {
    Lose(count);
    return;
  }
  batch.retryAtMs = nowMs + (rules_.firstBackOffMs << (batch.tries - 1));
  retry_ = std::move(batch);
}

}  // namespace nimbrix
