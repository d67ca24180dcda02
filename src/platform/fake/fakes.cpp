#include "platform/fake/fakes.h"

#include <algorithm>

#include "format/utc_text.h"

namespace nimbrix::fake {

namespace {

std::int64_t ToMilliseconds(const LocalTime& t) {
  const std::int64_t midnight = UtcMidnightMs(t.year, t.month, t.day).value_or(0);
  return midnight + ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
}

LocalTime FromMilliseconds(std::int64_t ms) {
  const UtcParts p = UtcPartsOf(ms);
  return {p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond};
}

}  // namespace

std::string Printable(std::string_view text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 32 || c == 127) {
      out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

FakeClock::FakeClock(LocalTime start, Journal* journal) : start_(start), journal_(journal) {}

LocalTime FakeClock::Now() {
  return FromMilliseconds(ToMilliseconds(start_) + elapsed_);
}

std::int64_t FakeClock::UtcMs() {
  return ToMilliseconds(start_) + elapsed_;
}

void FakeClock::SleepMs(int milliseconds) {
  sleeps.push_back(milliseconds);
  elapsed_ += milliseconds;
  if (journal_) journal_->Add("sleep " + std::to_string(milliseconds));
  if (onSleep) onSleep(elapsed_);
}

FakeConsole::FakeConsole(int rows, int cols, Journal* journal)
    : rows_(rows),
      cols_(cols),
      cells_(rows, std::string(cols, ' ')),
      colors_(rows, std::vector<int>(cols, 7)),
      journal_(journal) {}

void FakeConsole::MoveTo(int row, int col) {
  drawn_ = drawn_ || terminal;  // a file gets no moves, colours or erases
  row_ = std::clamp(row, 1, rows_);
  col_ = std::clamp(col, 1, cols_);
}

void FakeConsole::SetColor(int color) {
  drawn_ = drawn_ || terminal;  // a file gets no moves, colours or erases
  color_ = color;
}

void FakeConsole::Clear() {
  drawn_ = drawn_ || terminal;  // a file gets no moves, colours or erases
  ++clearCalls;
  for (int r = 0; r < rows_; ++r) {
    cells_[r].assign(cols_, ' ');
    colors_[r].assign(cols_, color_);
  }
  row_ = col_ = 1;
  if (journal_) journal_->Add("clear");
}

void FakeConsole::Scroll() {
  cells_.erase(cells_.begin());
  cells_.push_back(std::string(cols_, ' '));
  colors_.erase(colors_.begin());
  colors_.push_back(std::vector<int>(cols_, color_));
}

void FakeConsole::Write(std::string_view text) {
  drawn_ = true;
  transcript += text;
  if (journal_) journal_->Add("console " + Printable(text));
  for (char c : text) {
    if (col_ > cols_) {  // wrap before writing past the right edge
      col_ = 1;
      if (row_ == rows_) {
        Scroll();
      } else {
        ++row_;
      }
    }
    cells_[row_ - 1][col_ - 1] = c;
    colors_[row_ - 1][col_ - 1] = color_;
    ++col_;
  }
}

void FakeConsole::LineBreak() {
  drawn_ = true;
  transcript += '\n';
  col_ = 1;
  if (row_ == rows_) {
    Scroll();
  } else {
    ++row_;
  }
}

void FakeConsole::EraseToEndOfRow() {
  drawn_ = drawn_ || terminal;  // a file gets no moves, colours or erases
  if (journal_) journal_->Add("console erase");
  // Past the last column the cursor waits to wrap, as on a VT terminal: the row is full.
  for (int c = col_; c <= cols_; ++c) {
    cells_[row_ - 1][c - 1] = ' ';
    colors_[row_ - 1][c - 1] = color_;
  }
}

void FakeConsole::Flush() {
  ++flushes;
  if (!drawn_) return;
  drawn_ = false;
  ++writes;
  if (journal_ && journalFlushes) journal_->Add("flush");
}

std::string FakeConsole::PollKey() {
  if (stopRequested) return kKeyEscape;
  if (keys.empty()) return "";
  std::string key = keys.front();
  keys.pop_front();
  return key;
}

std::string FakeConsole::WaitKey() {
  Flush();  // as a terminal's console does before it waits
  ++waitKeyCalls;
  if (journal_) journal_->Add("wait key");
  return PollKey();
}

std::string FakeConsole::Row(int row) const {
  return cells_.at(row - 1);
}

std::string FakeConsole::RowTrimmed(int row) const {
  std::string text = Row(row);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

int FakeConsole::ColorAt(int row, int col) const {
  return colors_.at(row - 1).at(col - 1);
}

bool FakeAutomation::Attach(std::string_view progId) {
  attachedProgIds.emplace_back(progId);
  attached_ = available;
  if (journal_) journal_->Add(std::string("attach ") + (attached_ ? "ok" : "failed"));
  return attached_;
}

CallResult FakeAutomation::Call(std::string_view member, std::int16_t argument) {
  calls.emplace_back(std::string(member), argument);
  if (!attached_ || !available) {
    attached_ = false;
    return {Variant::Empty(), CallOutcome::kUnresponsive};
  }
  CallOutcome outcome = CallOutcome::kFailed;
  if (auto it = outcomes.find(argument); it != outcomes.end()) {
    outcome = it->second;
  } else if (answers.count(argument)) {
    outcome = CallOutcome::kOk;
  }
  if (outcome == CallOutcome::kUnresponsive) {
    attached_ = false;
    ++timeouts;
    if (clock) clock->Advance(timeoutMs);
  }
  if (outcome != CallOutcome::kOk) return {Variant::Empty(), outcome};
  return {answers[argument], CallOutcome::kOk};
}

std::vector<CallResult> FakeAutomation::CallRound(std::string_view member,
                                                  const std::vector<std::int16_t>& arguments) {
  rounds.emplace_back(arguments.begin(), arguments.end());
  if (!inFlight) return Automation::CallRound(member, arguments);
  std::vector<CallResult> results(arguments.size(), {Variant::Empty(), CallOutcome::kUnresponsive});
  if (!attached_ || !available) {
    attached_ = false;
    return results;  // nobody to send to
  }
  bool unanswered = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const int item = arguments[i];
    calls.emplace_back(std::string(member), item);
    CallOutcome outcome = CallOutcome::kFailed;
    if (auto it = outcomes.find(item); it != outcomes.end()) {
      outcome = it->second;
    } else if (answers.count(item)) {
      outcome = CallOutcome::kOk;
    }
    if (late.count(item)) {
      ++lateAnswersDropped;
      outcome = CallOutcome::kUnresponsive;
    }
    if (outcome == CallOutcome::kUnresponsive) {
      unanswered = true;
      continue;
    }
    results[i] = {outcome == CallOutcome::kOk ? answers[item] : Variant::Empty(), outcome};
  }
  if (unanswered) {
    attached_ = false;
    ++timeouts;
    if (clock) clock->Advance(timeoutMs);
  }
  return results;
}

std::optional<std::vector<ListedEntry>> FakeAutomation::CallList(std::string_view member) {
  listCalls.emplace_back(member);
  if (!attached_ || !available) return std::nullopt;
  return list;
}

void FakeAutomation::Release() {
  ++releases;
  attached_ = false;
  if (journal_) journal_->Add("release");
}

std::optional<std::string> FakeHttpClient::Get(const std::string& url, const std::string& agent_,
                                               const std::string& extraHeader) {
  urls.push_back(url);
  agent = agent_;
  header = extraHeader;
  return reply;
}

void FakeProcessRunner::Run(const std::string& commandLine) {
  commands.push_back(commandLine);
  if (journal_) journal_->Add("run " + commandLine);
}

std::optional<std::string> FakeFiles::ReadAll(const std::string& path) {
  auto it = contents.find(path);
  if (it == contents.end()) return std::nullopt;
  return it->second;
}

void FakeFiles::Append(const std::string& path, std::string_view bytes) {
  if (journal_) journal_->Add("file " + path + " += " + Printable(bytes));
  if (appendFails) return;
  contents[path] += bytes;
}

bool FakeFiles::Writable(const std::string& path) const {
  for (const std::string& folder : readOnly) {
    if (path == folder || path.rfind(folder + "/", 0) == 0) return false;
  }
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || folders.count(path.substr(0, slash)) != 0;
}

std::size_t FakeFiles::Take(std::size_t wanted) {
  if (!freeBytes) return wanted;
  const std::size_t taken = std::min(wanted, *freeBytes);
  *freeBytes -= taken;
  return taken;
}

bool FakeFiles::AppendChecked(const std::string& path, std::string_view bytes) {
  if (journal_) journal_->Add("file " + path + " += " + Printable(bytes));
  if (writesFail || !Writable(path)) return false;
  const std::size_t fits = Take(bytes.size());
  contents[path] += bytes.substr(0, fits);
  return fits == bytes.size();
}

bool FakeFiles::ReplaceTail(const std::string& path, std::size_t tailBytes,
                            std::string_view bytes) {
  if (journal_) {
    journal_->Add("file " + path + " tail " + std::to_string(tailBytes) +
                  " := " + Printable(bytes));
  }
  auto it = contents.find(path);
  if (it == contents.end() || it->second.size() < tailBytes) return false;
  if (writesFail || !Writable(path)) return false;
  std::string& text = it->second;
  const std::size_t keep = text.size() - tailBytes;
  // The old tail's bytes are the file's own; only what grows it needs room.
  const std::size_t growth = bytes.size() > tailBytes ? bytes.size() - tailBytes : 0;
  const std::size_t fits = tailBytes + Take(growth);
  if (fits < bytes.size()) {
    text.replace(keep, tailBytes, bytes.substr(0, fits));
    return false;
  }
  text.replace(keep, tailBytes, bytes);
  return true;
}

bool FakeFiles::MakeFolder(const std::string& path) {
  if (journal_) journal_->Add("folder " + path);
  if (folders.count(path) != 0) return true;  // there already, read-only or not
  for (const std::string& folder : readOnly) {
    if (path == folder || path.rfind(folder + "/", 0) == 0) return false;
  }
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    folders.insert(path.substr(0, slash));
  }
  folders.insert(path);
  return true;
}

std::optional<std::uintmax_t> FakeFiles::Size(const std::string& path) {
  auto it = contents.find(path);
  if (it == contents.end()) return std::nullopt;
  return it->second.size();
}

}  // namespace nimbrix::fake
