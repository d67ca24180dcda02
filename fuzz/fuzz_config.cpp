// NIMBRIX.INI as arbitrary bytes, through the format choice and through each reader directly.

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config_reader.h"
#include "fuzz_check.h"

namespace {

using nimbrix::ConfigAction;
using nimbrix::ConfigResult;
using nimbrix::ServerList;
using nimbrix::fuzz::Check;
using nimbrix::fuzz::CheckOneLine;

void CheckResult(const ConfigResult& r) {
  for (std::size_t i = 0; i < r.actions.size(); ++i) {
    const ConfigAction& a = r.actions[i];
    // Only the last action may end the program; pauses are the reader's own short ones.
    if (a.kind == ConfigAction::Kind::kExit) Check(i + 1 == r.actions.size(), "exit not last");
    if (a.kind == ConfigAction::Kind::kPause) Check(a.value >= 0 && a.value <= 60000, "pause");
  }
  if (r.exits()) return;
  CheckOneLine(r.config.LoginLine, "login line");
  Check(r.servers.nSERVERS >= 0 && r.servers.nSERVERS <= ServerList::kMaxServers, "server count");
  Check(r.servers.nCURSERVER >= 1 && r.servers.nCURSERVER <= ServerList::kMaxServers,
        "server in use");
  Check(r.servers.sSERVER[0].empty(), "slot 0 used");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nimbrix::ConfigBytes file =
      size == 0 ? nimbrix::ConfigBytes{} : std::string(reinterpret_cast<const char*>(data), size);
  CheckResult(nimbrix::ReadConfiguration(file));
  CheckResult(nimbrix::ReadConfigFormat2(file, {}, {}));
  CheckResult(nimbrix::ReadConfigFormat1(file, {}, {}));
  return 0;
}
