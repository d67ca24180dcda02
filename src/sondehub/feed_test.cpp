#include "sondehub/feed.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fake/fake_http_requester.h"

namespace nimbrix {
namespace {

using fake::Answer;
using fake::NoAnswer;
using State = DestinationStatus::State;
using Kind = FeedRequest::Kind;

constexpr std::int64_t kUtc = 1796842852123;

QueuedRecord Record(const std::string& serial, std::int64_t atMs, bool fullBatch = false) {
  return {"{\"serial\":\"" + serial + "\"}", serial, fullBatch, atMs};
}

// Runs the feed once a second, as the cycle does, answering each request at once with the next
// of `answers` (200 when they run out); returns the start times of the telemetry requests.
struct FeedRun {
  SondehubFeed feed{"{}"};
  std::int64_t now = 0;
  std::vector<std::int64_t> batchStarts;
  std::vector<std::size_t> batchSizes;
  std::vector<std::int64_t> listenerStarts;
  std::vector<HttpAnswer> answers;
  std::size_t nextAnswer = 0;
  // Adds a record of `serial` each second when set.
  std::string serial;
  bool fullBatch = false;

  void Seconds(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      if (!serial.empty()) feed.Add(Record(serial, now, fullBatch));
      if (std::optional<FeedRequest> request = feed.Next(now)) {
        if (request->kind == Kind::kListener) {
          listenerStarts.push_back(now);
          feed.Answered(Answer(200), now, kUtc + now);
        } else {
          batchStarts.push_back(now);
          batchSizes.push_back(request->records);
          const HttpAnswer answer =
              nextAnswer < answers.size() ? answers[nextAnswer++] : Answer(200);
          feed.Answered(answer, now, kUtc + now);
        }
      }
      now += 1000;
    }
  }
};

TEST(SondehubFeed, BatchesEveryTwentySecondsListenerFirst) {
  FeedRun run;
  run.serial = "S1";
  run.Seconds(61);
  EXPECT_EQ(run.listenerStarts, (std::vector<std::int64_t>{0}));
  EXPECT_EQ(run.batchStarts, (std::vector<std::int64_t>{20000, 40000, 60000}));
  EXPECT_EQ(run.batchSizes, (std::vector<std::size_t>{21, 20, 20}));
  EXPECT_EQ(run.feed.status().sent, 61u);
  EXPECT_EQ(run.feed.status().state, State::kUp);
  EXPECT_EQ(run.feed.status().stateText, "OK");
  EXPECT_EQ(run.feed.status().lastSuccessUtcMs, kUtc + 60000);
}

TEST(SondehubFeed, ListenerRecordEverySixHours) {
  FeedRun run;
  run.Seconds(6 * 3600 + 2);
  EXPECT_EQ(run.listenerStarts, (std::vector<std::int64_t>{0, 6 * 3600 * 1000}));
  EXPECT_TRUE(run.batchStarts.empty());  // nothing queued, nothing sent
}

TEST(SondehubFeed, FullBatchRuleHoldsFewFramesOfOneSonde) {
  SondehubFeed feed("{}");
  ASSERT_TRUE(feed.Next(0));  // the listener record
  feed.Answered(Answer(200), 0, kUtc);
  // 5 frames of a DFM and 2 of an RS41 by the first batch's time.
  for (int i = 0; i < 5; ++i) feed.Add(Record("D1", 1000 * i, true));
  feed.Add(Record("R1", 1000));
  feed.Add(Record("R1", 2000));
  std::optional<FeedRequest> first = feed.Next(20000);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->records, 2u);
  EXPECT_EQ(first->json, "[{\"serial\":\"R1\"},{\"serial\":\"R1\"}]");
  feed.Answered(Answer(200), 20000, kUtc);
  EXPECT_EQ(feed.waiting(), 5u);
  // 11 frames of it: they go.
  for (int i = 5; i < 11; ++i) feed.Add(Record("D1", 20000 + 1000 * i, true));
  std::optional<FeedRequest> second = feed.Next(40000);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->records, 11u);
  feed.Answered(Answer(200), 40000, kUtc);
  // Three frames of another: held until the oldest has waited 60 s.
  for (int i = 0; i < 3; ++i) feed.Add(Record("D2", 41000 + 1000 * i, true));
  EXPECT_FALSE(feed.Next(60000));
  EXPECT_FALSE(feed.Next(100000));
  std::optional<FeedRequest> third = feed.Next(101000);
  ASSERT_TRUE(third);
  EXPECT_EQ(third->records, 3u);
}

TEST(SondehubFeed, EachAnswer) {
  const std::string refusal =
      R"({"message": "some or all payloads could not be processed", "errors": [)"
      R"({"error_message": "Sonde S1 position breached altitude cap by 12m.", "payload": {}},)"
      R"({"error_message": "second", "payload": {}}]})";
  struct Case {
    const char* name;
    HttpAnswer answer;
    State state;
    const char* stateText;
    const char* lastMessage;
    std::uint64_t sent, failed;
    bool retried;
  } cases[] = {
      {"200", Answer(200, "^v^ telm logged"), State::kUp, "OK", "", 5, 0, false},
      {"202 refused two", Answer(202, refusal), State::kUp,
       "refused: Sonde S1 position breached altitude cap by 12m.",
       "some or all payloads could not be processed", 3, 2, false},
      {"202 trial records all passed",
       Answer(202, R"({"message":"m","errors":[{"error_message":"All checks passed however )"
                   R"(payload contained dev flag so will not be uploaded to the database"}]})"),
       State::kUp, "trial: all checks passed", "m", 5, 0, false},
      {"202 trial records, one refused",
       Answer(202, R"({"errors":[{"error_message":"All checks passed however payload contained )"
                   R"(dev flag"},{"error_message":"Invalid serial number"}]})"),
       State::kUp, "refused: Invalid serial number", "", 4, 1, false},
      {"202 warnings only", Answer(202, R"({"message":"m","errors":[],"warnings":["w1"]})"),
       State::kUp, "warning: w1", "m", 5, 0, false},
      {"202 not JSON", Answer(202, "<html>"), State::kUp, "OK", "", 5, 0, false},
      {"400", Answer(400, "Not valid json\r\nmore"), State::kFailing, "HTTP 400", "Not valid json",
       0, 5, false},
      {"413", Answer(413, ""), State::kFailing, "HTTP 413", "", 0, 5, false},
      {"503", Answer(503, "Service Unavailable"), State::kFailing, "HTTP 503",
       "Service Unavailable", 0, 0, true},
      {"time-out", NoAnswer(HttpAnswer::Outcome::kTimedOut), State::kFailing, "time-out", "", 0, 0,
       true},
      {"no connection", NoAnswer(HttpAnswer::Outcome::kNoConnection), State::kFailing,
       "no connection", "", 0, 0, true},
  };
  for (const Case& c : cases) {
    SondehubFeed feed("{}");
    feed.Next(0);
    feed.Answered(Answer(200), 0, kUtc);
    for (int i = 0; i < 5; ++i) feed.Add(Record("S1", 1000 * i));
    ASSERT_TRUE(feed.Next(20000)) << c.name;
    feed.Answered(c.answer, 20000, kUtc + 20000);
    const DestinationStatus& s = feed.status();
    EXPECT_EQ(s.state, c.state) << c.name;
    EXPECT_EQ(s.stateText, c.stateText) << c.name;
    EXPECT_EQ(s.lastMessage, c.lastMessage) << c.name;
    EXPECT_EQ(s.sent, c.sent) << c.name;
    EXPECT_EQ(s.failed, c.failed) << c.name;
    // "OK" since the listener record's answer; anything else since this answer.
    EXPECT_EQ(s.sinceUtcMs, s.stateText == "OK" ? kUtc : kUtc + 20000) << c.name;
    // A retried batch goes again after 5 s; one that is done leaves nothing behind.
    std::optional<FeedRequest> again = feed.Next(25000);
    EXPECT_EQ(again.has_value(), c.retried) << c.name;
    if (again) {
      EXPECT_EQ(again->records, 5u) << c.name;
    }
    EXPECT_EQ(feed.waiting(), 0u) << c.name;
  }
}

TEST(SondehubFeed, BackOffDoublesAndGivesUpAfterFiveTries) {
  FeedRun run;
  run.answers.assign(5, Answer(503));
  run.feed.Add(Record("S1", 0));
  run.Seconds(120);
  // The first try, then 5, 10, 20 and 40 s after each failure.
  EXPECT_EQ(run.batchStarts, (std::vector<std::int64_t>{20000, 25000, 35000, 55000, 95000}));
  EXPECT_EQ(run.feed.status().failed, 1u);
  EXPECT_EQ(run.feed.status().sent, 0u);
  EXPECT_EQ(run.feed.status().stateText, "HTTP 503");
}

TEST(SondehubFeed, BusySpellLosesNothingWithinItsTries) {
  FeedRun run;
  run.serial = "S1";
  // Fifty seconds of 503 from the first batch on: four failures, then it is taken.
  run.answers.assign(4, Answer(503));
  run.Seconds(120);
  EXPECT_EQ(run.batchStarts.front(), 20000);
  EXPECT_EQ(run.feed.status().failed, 0u);
  EXPECT_EQ(run.feed.status().sent + run.feed.waiting(), 120u);
  EXPECT_EQ(run.feed.status().stateText, "OK");
  // After the retries the next new batch keeps 15 s from the last request.
  for (std::size_t i = 1; i < run.batchStarts.size(); ++i) {
    if (i >= 5) {
      EXPECT_GE(run.batchStarts[i] - run.batchStarts[i - 1], 15000);
    }
  }
}

TEST(SondehubFeed, QueueKeepsTheNewestAndCountsTheDropped) {
  FeedRules rules;
  rules.maxQueued = 10;
  SondehubFeed feed("{}", rules);
  feed.Next(0);
  feed.Answered(Answer(200), 0, kUtc);
  for (int i = 0; i < 25; ++i) feed.Add({"{\"n\":" + std::to_string(i) + "}", "S1", false, 0});
  EXPECT_EQ(feed.waiting(), 10u);
  EXPECT_EQ(feed.dropped(), 15u);
  EXPECT_EQ(feed.status().failed, 15u);
  std::optional<FeedRequest> batch = feed.Next(20000);
  ASSERT_TRUE(batch);
  EXPECT_EQ(batch->json.substr(0, 8), "[{\"n\":15");
}

TEST(SondehubFeed, QueueBoundCountsTheBatchWaitingForItsRetry) {
  FeedRules rules;
  rules.maxQueued = 4;
  SondehubFeed feed("{}", rules);
  feed.Next(0);
  feed.Answered(Answer(200), 0, kUtc);
  for (int i = 0; i < 3; ++i) feed.Add({"{\"n\":" + std::to_string(i) + "}", "S1", false, 0});
  ASSERT_TRUE(feed.Next(20000));
  feed.Answered(Answer(503), 20000, kUtc);
  for (int i = 3; i < 6; ++i) feed.Add({"{\"n\":" + std::to_string(i) + "}", "S1", false, 0});
  EXPECT_EQ(feed.waiting(), 4u);
  std::optional<FeedRequest> retry = feed.Next(25000);
  ASSERT_TRUE(retry);
  EXPECT_EQ(retry->json, "[{\"n\":2}]");  // the oldest two went first
}

TEST(SondehubFeed, LastRequestTakesEverythingAtOnce) {
  SondehubFeed feed("{}");
  feed.Next(0);
  feed.Answered(Answer(200), 0, kUtc);
  feed.Add(Record("D1", 1000, true));
  feed.Add(Record("S1", 1000));
  ASSERT_TRUE(feed.Next(20000));  // S1 alone: D1 waits for more of its frames
  feed.Answered(Answer(503), 20000, kUtc);
  feed.Add(Record("S1", 21000));
  std::optional<FeedRequest> last = feed.Last(22000);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->records, 3u);
  feed.Answered(Answer(200), 22500, kUtc);
  EXPECT_EQ(feed.status().sent, 3u);
  EXPECT_EQ(feed.waiting(), 0u);
}

TEST(SondehubFeed, OverdueOnlyPastTheTimeOutAndItsGrace) {
  SondehubFeed feed("{}");
  feed.Next(0);
  EXPECT_FALSE(feed.Overdue(34999));
  EXPECT_TRUE(feed.Overdue(35000));
  feed.Answered(NoAnswer(HttpAnswer::Outcome::kTimedOut), 35000, kUtc);
  EXPECT_FALSE(feed.Overdue(100000));
}

TEST(SondehubFeed, ListenerFailureIsShownAndTriedAgain) {
  SondehubFeed feed("{\"l\":1}");
  std::optional<FeedRequest> first = feed.Next(0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, Kind::kListener);
  EXPECT_EQ(first->json, "{\"l\":1}");
  feed.Answered(Answer(500, "Internal Server Error"), 0, kUtc);
  EXPECT_EQ(feed.status().stateText, "HTTP 500");
  EXPECT_FALSE(feed.Next(4999));
  std::optional<FeedRequest> again = feed.Next(5000);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->kind, Kind::kListener);
}

}  // namespace
}  // namespace nimbrix
