#include "uplink/login_answer.h"

#include <cctype>

namespace nimbrix {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The next blank-separated word of `text`, taken off its front.
std::string_view NextWord(std::string_view& text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  std::size_t end = 0;
  while (end < text.size() && !IsBlank(text[end])) ++end;
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

// Callsigns are compared as APRS-IS compares them: letters in either case are the same.
bool SameCallsign(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (std::toupper(x) != std::toupper(y)) return false;
  }
  return true;
}

}  // namespace

void LoginAnswerWatch::Start(std::string_view callsign, std::int64_t nowMs) {
  *this = LoginAnswerWatch();
  active_ = true;
  callsign_ = callsign;
  startMs_ = nowMs;
}

LoginVerdict LoginAnswerWatch::TakeLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.empty()) return {};  // a bare line end says nothing
  // "# logresp CALL verified, server NAME"
  std::string_view rest = line;
  if (!rest.empty() && rest.front() == '#') {
    rest.remove_prefix(1);
    if (SameCallsign(NextWord(rest), "logresp") && SameCallsign(NextWord(rest), callsign_)) {
      std::string_view status = NextWord(rest);
      if (!status.empty() && status.back() == ',') status.remove_suffix(1);
      const bool verified = status == "verified";
      return {verified ? LoginVerdict::Kind::kVerified : LoginVerdict::Kind::kUnverified,
              std::string(line)};
    }
  }
  heardOther_ = true;
  lastOther_ = line;
  return {};
}

LoginVerdict LoginAnswerWatch::Feed(std::string_view bytes, std::int64_t nowMs) {
  if (!active_) return {};
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    if (!skippingLong_) {
      if (partial_.size() + piece.size() > kMaxLineBytes) {
        // Not an answer to a login: it counts as another line, and its start stands for it.
        heardOther_ = true;
        lastOther_ = std::move(partial_);
        lastOther_.append(piece.substr(0, kMaxLineBytes - lastOther_.size()));
        partial_.clear();
        skippingLong_ = true;
      } else {
        partial_ += piece;
      }
    }
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
    if (skippingLong_) {
      skippingLong_ = false;
      continue;
    }
    const std::string line = std::move(partial_);
    partial_.clear();
    LoginVerdict verdict = TakeLine(line);
    if (verdict.kind != LoginVerdict::Kind::kPending) {
      active_ = false;
      return verdict;
    }
  }
  if (heardOther_ && nowMs - startMs_ >= kAnswerWaitMs) {
    active_ = false;
    return {LoginVerdict::Kind::kNoAnswer, lastOther_};
  }
  return {};
}

}  // namespace nimbrix
