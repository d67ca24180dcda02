#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrix {

// An APRS-IS server answers the login with "# logresp CALL verified, server NAME" (or
// "unverified"). A server that did not verify the login drops every report without a word, so
// the station watches for that answer after each login. Everything else the server sends is
// dropped; at most kMaxLineBytes of it are kept at any time.
struct LoginVerdict {
  enum class Kind {
    kPending,     // nothing decided yet (or the watch is over)
    kVerified,    // the server verified our callsign
    kUnverified,  // the answer for our callsign says anything but "verified"
    kNoAnswer,    // no answer within kAnswerWaitMs, though the server sent other lines
  };
  Kind kind = Kind::kPending;
  std::string serverLine;  // the answer, or the last other line; without its line end
};

class LoginAnswerWatch {
 public:
  static constexpr std::size_t kMaxLineBytes = 4096;
  static constexpr std::int64_t kAnswerWaitMs = 30000;

  // A new login of `callsign` went out at `nowMs` (a monotonic reading).
  void Start(std::string_view callsign, std::int64_t nowMs);
  // Whether a verdict is still to come for the last login.
  bool Active() const { return active_; }
  // The bytes the server sent since the last call. Gives a verdict once per login.
  LoginVerdict Feed(std::string_view bytes, std::int64_t nowMs);

 private:
  // A complete line (line end removed); a verdict when it is our login's answer.
  LoginVerdict TakeLine(std::string_view line);

  bool active_ = false;
  std::string callsign_;
  std::int64_t startMs_ = 0;
  std::string partial_;        // the line being received
  bool skippingLong_ = false;  // inside a line too long to keep: drop it up to its end
  bool heardOther_ = false;    // the server has sent something besides our answer
  std::string lastOther_;      // the last complete other line, for the record
};

}  // namespace nimbrix
