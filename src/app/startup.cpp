#include "app/startup.h"

#include "app/program_end.h"
#include "format/safe_text.h"

namespace nimbrix {

void PerformConfigActions(const ConfigResult& result, Console& console, Clock& clock) {
  for (const ConfigAction& action : result.actions) {
    switch (action.kind) {
      case ConfigAction::Kind::kWriteLine:
        console.Write(MaskControlBytes(action.text));
        console.LineBreak();
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

void CheckForNewVersion(Console& console, Clock& clock, HttpClient& http,
                        const StationConfig& config, const ServerList& servers,
                        const UpdateService& service) {
  console.Write("Cheking for a new version...");
  console.LineBreak();
  clock.SleepMs(500);

  const VersionVerdict verdict = AskForNewVersion(http, clock.Now(), config, servers, service);
  switch (verdict.kind) {
    case VersionVerdict::Kind::kUnknown:
      console.Write("Could not check for a new version.");
      console.LineBreak();
      clock.SleepMs(1000);
      return;
    case VersionVerdict::Kind::kCurrent:
      console.Write("You have the most recent version!");
      console.LineBreak();
      clock.SleepMs(1000);
      return;
    case VersionVerdict::Kind::kNewer:
      console.SetColor(kColorYellow);
      // The reply is the service's text: its bytes must not reach the terminal as control codes.
      console.Write("The version " + MaskControlBytes(verdict.offered) + " is available at " +
                    service.downloadPage);
      console.LineBreak();
      console.LineBreak();
      clock.SleepMs(3000);
      return;
  }
}

}  // namespace nimbrix
