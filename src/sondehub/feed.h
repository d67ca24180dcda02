#pragma once

// The feed's rules, over values and the monotonic clock: the queue of records, when a batch
// goes, which records wait for more of their sonde, what each answer does, the back-off, the
// station's own record, and what the operator sees of it all. It starts nothing itself: it
// says what to send now, and is told what came back.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "outputs/output.h"
#include "platform/http_request.h"

namespace nimbrix {

struct FeedRules {
  std::int64_t batchEveryMs = 20000;
  std::int64_t minSpacingMs = 15000;     // between the starts of any two requests but retries
  std::size_t fullBatchFrames = 11;      // DFM, iMS-100: frames of one sonde in a batch
  std::int64_t fullBatchWaitMs = 60000;  // ... or sent as they are after this long
  std::size_t maxQueued = 3600;
  std::int64_t firstBackOffMs = 5000;  // doubling after each failed try
  int maxTries = 5;
  std::int64_t listenerEveryMs = 6 * 3600 * 1000;
  int requestTimeoutMs = 30000;
  // A request whose answer has not come this long after its time-out is given up.
  std::int64_t overdueGraceMs = 5000;
};

struct QueuedRecord {
  std::string json;
  std::string serial;
  bool needsFullBatch = false;
  std::int64_t queuedMs = 0;
};

struct FeedRequest {
  enum class Kind { kTelemetry, kListener };
  Kind kind = Kind::kTelemetry;
  std::string json;  // an array of records, or the listener object
  std::size_t records = 0;
};

class SondehubFeed {
 public:
  SondehubFeed(std::string listenerJson, FeedRules rules = {});

  // A record of a new frame; when the queue is full the oldest waiting record is dropped.
  void Add(QueuedRecord record);
  // The request to start now, if any; none while one is under way.
  std::optional<FeedRequest> Next(std::int64_t nowMs);
  // On the clean stop: everything still waiting, in one request, pacing and waiting set aside.
  std::optional<FeedRequest> Last(std::int64_t nowMs);
  // What came of the request under way.
  void Answered(const HttpAnswer& answer, std::int64_t nowMs, std::int64_t utcMs);
  // Whether the request under way has outlived its time-out without an answer.
  bool Overdue(std::int64_t nowMs) const;
  bool InFlight() const { return inFlight_.has_value() || listenerInFlight_; }
  // Records that will now never go (a stop that ran out of time): counted as failed.
  void GiveUpWaiting();
  // A word for the operator that is no answer of the server (a sonde not sent, and why).
  void Tell(std::string text, std::int64_t utcMs);

  // The status fields this feed decides: state, stateText, sinceUtcMs, sent, failed,
  // lastSuccessUtcMs, lastMessage.
  const DestinationStatus& status() const { return status_; }
  std::size_t waiting() const;
  std::uint64_t dropped() const { return dropped_; }

 private:
  struct Batch {
    std::deque<QueuedRecord> records;
    int tries = 0;
    std::int64_t retryAtMs = 0;
  };
  std::optional<FeedRequest> StartTelemetry(Batch batch, std::int64_t nowMs, bool retry);
  std::optional<FeedRequest> StartListener(std::int64_t nowMs);
  Batch TakeSendable(std::int64_t nowMs, bool everything);
  void SetState(DestinationStatus::State state, std::string text, std::int64_t utcMs);
  void Failed(const std::string& text, std::int64_t nowMs, std::int64_t utcMs);
  void Lose(std::size_t records);

  FeedRules rules_;
  std::string listenerJson_;
  std::deque<QueuedRecord> queue_;
  std::optional<Batch> retry_;     // a batch waiting to be tried again
  std::optional<Batch> inFlight_;  // the batch under way (empty for the listener record)
  bool listenerInFlight_ = false;
  std::int64_t startedMs_ = 0;
  bool started_ = false;  // the first Next() sets the clock's start
  std::int64_t lastBatchMs_ = 0;
  std::int64_t lastRequestMs_ = 0;
  std::int64_t listenerDueMs_ = 0;
  int listenerTries_ = 0;
  std::uint64_t dropped_ = 0;
  DestinationStatus status_;
};

}  // namespace nimbrix
