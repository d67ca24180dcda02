#pragma once

// In-memory stand-ins for the platform, for tests: a virtual clock (sleeping advances it),
// an 80x25 screen model, a scripted decoder, web and file system (the server connection's fake is
// the uplink's, uplink/fake/fake_tcp_client.h; all of them wired together,
// app/fake/fake_platform.h). Each fake can write what happens to a shared Journal, so tests can
// check the order of events across them ("sleep 1000", "tcp open h:1", "file nimbrix.err += ...").

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/http_client.h"
#include "platform/process_runner.h"

namespace nimbrix::fake {

// Bytes as a journal shows them: CR as \r, LF as \n, other control bytes as \xNN.
std::string Printable(std::string_view text);

struct Journal {
  std::vector<std::string> events;
  void Add(std::string event) { events.push_back(std::move(event)); }
};

class FakeClock : public Clock {
 public:
  explicit FakeClock(LocalTime start = {2026, 12, 8, 20, 41, 5, 0}, Journal* journal = nullptr);
  LocalTime Now() override;
  std::int64_t MonotonicMs() override { return elapsed_; }
  // The start taken as UTC, plus the time that has passed.
  std::int64_t UtcMs() override;
  void SleepMs(int milliseconds) override;
  std::int64_t elapsedMs() const { return elapsed_; }
  void Advance(std::int64_t milliseconds) { elapsed_ += milliseconds; }
  // Called after each sleep (for example to type a key at a given moment).
  std::function<void(std::int64_t elapsedMs)> onSleep;
  std::vector<int> sleeps;

 private:
  LocalTime start_;
  std::int64_t elapsed_ = 0;
  Journal* journal_;
};

// A screen of cells with a cursor; writing wraps at the right edge and scrolls at the bottom.
class FakeConsole : public Console {
 public:
  explicit FakeConsole(int rows = 25, int cols = 80, Journal* journal = nullptr);
  void MoveTo(int row, int col) override;
  void SetColor(int color) override;
  void Clear() override;
  void Write(std::string_view text) override;
  void LineBreak() override;
  void EraseToEndOfRow() override;
  void Flush() override;
  std::string PollKey() override;
  std::string WaitKey() override;
  bool TakeResized() override { return std::exchange(resized, false); }
  bool IsTerminal() const override { return terminal; }
  bool StopRequested() const override { return stopRequested; }

  // Row text (1-based), trailing blanks kept; RowTrimmed drops them.
  std::string Row(int row) const;
  std::string RowTrimmed(int row) const;
  int ColorAt(int row, int col) const;
  int cursorRow() const { return row_; }
  int cursorCol() const { return col_; }
  int color() const { return color_; }
  // Everything written, in order, with "\n" for each line break.
  std::string transcript;
  std::deque<std::string> keys;  // pending keys, oldest first
  int waitKeyCalls = 0;
  int clearCalls = 0;
  // Flush() calls, and those of them that had something drawn to hand on: what a terminal
  // would get as one write each. With journalFlushes the journal gets "flush" for the latter.
  int flushes = 0;
  int writes = 0;
  bool journalFlushes = false;
  bool Drawn() const { return drawn_; }  // drawn since the last flush
  bool resized = false;                  // the next TakeResized() says so
  bool terminal = true;                  // false: output to a file (the station writes its log)
  bool stopRequested = false;            // as after SIGTERM: every key read is ESC

 private:
  void Scroll();
  int rows_, cols_;
  int row_ = 1, col_ = 1;
  int color_ = 7;
  bool drawn_ = false;
  std::vector<std::string> cells_;
  std::vector<std::vector<int>> colors_;
  Journal* journal_;
};

// The decoder: answers per item, scripted. Calls are recorded as (member, argument).
// A round (CallRound) goes one call after the other, as COM does, unless `inFlight`: then all
// its calls are out at once, as over the bus, and the items it leaves unanswered (an outcome
// of kUnresponsive, or `late`) cost the round one time-out, however many they are.
class FakeAutomation : public Automation {
 public:
  explicit FakeAutomation(Journal* journal = nullptr) : journal_(journal) {}
  bool Attach(std::string_view progId) override;
  bool IsAttached() const override { return attached_; }
  CallResult Call(std::string_view member, std::int16_t argument) override;
  std::vector<CallResult> CallRound(std::string_view member,
                                    const std::vector<std::int16_t>& arguments) override;
  void Release() override;
  // The list member's answer: `list` while attached (nullopt: a decoder without the member).
  std::optional<std::vector<ListedEntry>> CallList(std::string_view member) override;

  bool available = true;  // whether a decoder is running
  std::optional<std::vector<ListedEntry>> list;
  std::vector<std::string> listCalls;
  std::map<int, Variant> answers;
  std::map<int, CallOutcome> outcomes;  // default kOk for items in `answers`, else kFailed
  bool inFlight = false;
  // Items answered only after the round's time-out: the round reads them as unanswered and
  // the answers are dropped (counted in lateAnswersDropped).
  std::set<int> late;
  // When set, each time-out (a round or a call left unanswered) advances it by timeoutMs.
  FakeClock* clock = nullptr;
  int timeoutMs = 250;
  int timeouts = 0;
  int lateAnswersDropped = 0;
  std::vector<std::vector<int>> rounds;  // each round's arguments, as asked
  std::vector<std::pair<std::string, int>> calls;
  std::vector<std::string> attachedProgIds;
  int releases = 0;

 private:
  bool attached_ = false;
  Journal* journal_;
};

class FakeHttpClient : public HttpClient {
 public:
  std::optional<std::string> Get(const std::string& url, const std::string& agent,
                                 const std::string& extraHeader) override;
  std::optional<std::string> reply;
  std::vector<std::string> urls;
  std::string agent, header;
};

class FakeProcessRunner : public ProcessRunner {
 public:
  explicit FakeProcessRunner(Journal* journal = nullptr) : journal_(journal) {}
  void Run(const std::string& commandLine) override;
  std::vector<std::string> commands;

 private:
  Journal* journal_;
};

class FakeFiles : public Files {
 public:
  explicit FakeFiles(Journal* journal = nullptr) : journal_(journal) {}
  std::optional<std::string> ReadAll(const std::string& path) override;
  void Append(const std::string& path, std::string_view bytes) override;
  bool AppendChecked(const std::string& path, std::string_view bytes) override;
  bool ReplaceTail(const std::string& path, std::size_t tailBytes, std::string_view bytes) override;
  bool MakeFolder(const std::string& path) override;
  std::optional<std::uintmax_t> Size(const std::string& path) override;
  std::map<std::string, std::string> contents;
  bool appendFails = false;
  // The checked writes: while `writesFail` none of them writes a byte; with `freeBytes` the disk
  // takes that many more bytes, a write that needs more writes what fits and fails (nullopt: no
  // limit). Set them back to make writes work again.
  bool writesFail = false;
  std::optional<std::size_t> freeBytes;
  // Folders made (and those above them); a file of a checked write needs its folder there,
  // except a bare name (the working directory).
  std::set<std::string> folders;
  // Folders where nothing can be made or written, with everything below them.
  std::set<std::string> readOnly;

 private:
  bool Writable(const std::string& path) const;
  // How many of `wanted` more bytes the disk takes now, and takes them.
  std::size_t Take(std::size_t wanted);

 public:
 private:
  Journal* journal_;
};

}  // namespace nimbrix::fake
