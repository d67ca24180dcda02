#include "app/startup.h"

#include "app/program_end.h"
#include "format/exact_texts.h"

namespace nimbrix {

void PerformConfigActions(const ConfigResult& result, StationView& view, Console& console,
                          Clock& clock) {
  for (const ConfigAction& action : result.actions) {
    switch (action.kind) {
      case ConfigAction::Kind::kWriteLine:
        view.StartupLine(action.text);
        break;
      case ConfigAction::Kind::kWaitKey:
        console.WaitKey();
        break;
      case ConfigAction::Kind::kPause:
        clock.SleepMs(action.value);
        break;
      case ConfigAction::Kind::kExit:
        throw ProgramEnd{action.value};
    }
  }
}

void CheckForNewVersion(StationView& view, Clock& clock, HttpClient& http,
                        const StationConfig& config, const ServerList& servers,
                        const UpdateService& service) {
  view.StartupLine(exact::kCheckingForNewVersion);
  clock.SleepMs(500);
  const VersionVerdict verdict = AskForNewVersion(http, clock.Now(), config, servers, service);
  view.UpdateVerdict(verdict, service.downloadPage);
  clock.SleepMs(verdict.kind == VersionVerdict::Kind::kNewer ? 3000 : 1000);
}

}  // namespace nimbrix
