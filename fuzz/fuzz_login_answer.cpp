// The reader of the server's answer to the login, on whatever a server may send, cut into
// pieces at any place and spread over any time: it decides at most once per login, keeps the
// line it reports bounded, and calls an answer verified only when it is one.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "uplink/login_answer.h"

using nimbrix::LoginAnswerWatch;
using nimbrix::LoginVerdict;
using nimbrix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string callsign = in.ConsumeRandomLengthString(12);
  LoginAnswerWatch watch;
  std::int64_t now = in.ConsumeIntegralInRange<std::int64_t>(-1000000, 1000000);
  watch.Start(callsign, now);
  int verdicts = 0;
  while (in.remaining_bytes() > 0) {
    if (in.ConsumeIntegralInRange(0, 15) == 0) {
      watch.Start(callsign, now);  // a reconnect
      verdicts = 0;
    }
    now += in.ConsumeIntegralInRange<std::int64_t>(0, 20000);
    std::string piece = in.ConsumeRandomLengthString(9000);
    if (in.ConsumeBool()) piece = "# logresp " + callsign + " " + piece;
    const LoginVerdict v = watch.Feed(piece, now);
    if (v.kind == LoginVerdict::Kind::kPending) continue;
    Check(++verdicts == 1, "two verdicts for one login");
    Check(!watch.Active(), "still watching after a verdict");
    Check(v.serverLine.size() <= LoginAnswerWatch::kMaxLineBytes, "unbounded server line");
    Check(v.serverLine.find('\n') == std::string::npos, "a line end inside the server line");
    if (v.kind == LoginVerdict::Kind::kVerified) {
      Check(v.serverLine.find("verified") != std::string::npos &&
                v.serverLine.find("logresp") != std::string::npos,
            "verified without saying so");
    }
  }
  return 0;
}
