// The whole program on fakes: a hostile NIMBRIX.INI, update reply and decoder, flaky servers
// that send anything, a few cycles, then ESC. Every line on the wire is one line, nothing but plain
// text reaches the screen, and the run ends within a bounded number of pauses.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "app/fake/fake_platform.h"
#include "app/station.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "telemetry/decoder_items.h"

namespace {

using namespace nimbrix;
using nimbrix::fuzz::Check;
using nimbrix::fuzz::CheckOneLine;

// Virtual time after which ESC is typed at every pause, and the number of pauses after which
// the run counts as hung.
constexpr std::int64_t kEscapeAfterMs = 40 * 1000;
constexpr int kHungAfterSleeps = 20000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  fake::FakePlatform fakes;
  fakes.files.contents[kConfigFileName] = in.ConsumeRandomLengthString(4000);
  if (in.ConsumeBool()) fakes.http.reply = in.ConsumeRandomLengthString(500);
  fakes.automation.available = in.ConsumeIntegralInRange(0, 15) != 0;
  for (const char* host : {"a:14580", "b:14580", "127.0.0.1:14580", "localhost:14580"}) {
    if (in.ConsumeBool()) fakes.tcp.reachable.push_back(host);
  }
  for (int i = in.ConsumeIntegralInRange(0, 4); i > 0; --i) {
    fakes.tcp.sendErrors.push_back(in.PickValueInArray({0, 24, 52, 57, 62, 70}));
  }
  for (int item = 0; item < nimbrix::kContractItemCount; ++item) {
    fakes.automation.answers[item] = nimbrix::fuzz::MakeVariant(in, true);
  }

  int sleeps = 0;
  fakes.clock.onSleep = [&](std::int64_t elapsedMs) {
    Check(++sleeps < kHungAfterSleeps, "no end in sight");
    // Each pause may bring a new answer for one item, a key, or a decoder that comes and goes.
    if (in.remaining_bytes() > 0) {
      const int item = in.ConsumeIntegralInRange(0, 20);
      if (item <= 14) {
        fakes.automation.answers[item] = nimbrix::fuzz::MakeVariant(in, true);
      } else if (item == 15) {
        fakes.console.keys.push_back(in.ConsumeRandomLengthString(4));
      } else if (item == 16) {
        fakes.automation.available = !fakes.automation.available;
      } else if (item == 17) {
        fakes.tcp.sendErrors.push_back(in.PickValueInArray({24, 52, 57, 62, 70}));
      } else if (item == 18) {
        // The connection in use is found dead, or alive again after a reconnect.
        fakes.tcp.fault =
            in.PickValueInArray({LinkFault::kNone, LinkFault::kSilent, LinkFault::kUnacknowledged,
                                 LinkFault::kClosed, LinkFault::kNetworkError});
      } else {
        // What the server says, the answer to the login among it now and then.
        std::string text = in.ConsumeRandomLengthString(6000);
        if (in.ConsumeBool()) text = "# logresp " + text + "\r\n";
        fakes.tcp.incoming.push_back(std::move(text));
      }
    }
    if (elapsedMs > kEscapeAfterMs) fakes.console.keys.push_back(kKeyEscape);
  };

  nimbrix::Platform platform = fakes.platform();
  const int exitCode = RunStation(platform, UpdateService{"https", "update.invalid", "page"});
  Check(exitCode == 0, "exit code");
  for (const std::string& line : fakes.tcp.lines) CheckOneLine(line, "sent line");
  for (unsigned char c : fakes.console.transcript) {
    Check(c >= 32 ? c != 127 : c == '\n', "control byte on the screen");
  }
  // Every LOGIN record is one line, whatever the server sent.
  const std::string& log = fakes.files.contents["nimbrix.err"];
  for (std::size_t at = log.find("LOGIN Error @"); at != std::string::npos;
       at = log.find("LOGIN Error @", at + 1)) {
    const std::size_t end = log.find("\r\n", at);
    Check(end != std::string::npos, "LOGIN record without its line end");
    for (std::size_t i = at; i < end; ++i) {
      const auto c = static_cast<unsigned char>(log[i]);
      Check(c >= 32 && c != 127, "control byte in a LOGIN record");
    }
  }
  return 0;
}
