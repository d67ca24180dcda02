// NIMBRIX: relays the telemetry of a radiosonde, read from the running decoder program,
// to the APRS-IS network, and shows it on a text-mode dashboard. ESC ends it.

#include "app/station.h"
#include "app/system_outputs.h"
#include "platform/system.h"
#include "uplink/connection.h"

int main() {
  using namespace nimbrix;
  // The console comes first and goes last: it restores the terminal on every way out.
  std::unique_ptr<Console> console = MakeSystemConsole();
  std::unique_ptr<Clock> clock = MakeSystemClock();
  std::unique_ptr<Automation> automation = MakeSystemAutomation();
  // The station's work while a pause, a connect or a send waits: the outputs' frames.
  WaitWorkSlot waits;
  // A SIGTERM ends even a send that waits for room, so the station stops within seconds.
  SystemConnection tcp(
      *clock, {}, [&console] { return console->StopRequested(); }, &waits);
  std::unique_ptr<HttpClient> http = MakeSystemHttpClient();
  std::unique_ptr<ProcessRunner> process = MakeSystemProcessRunner();
  StdFiles files;
  Platform platform{*console, *clock, *automation, tcp, *http, *process, files, &waits};
  std::unique_ptr<WebServerStarter> webServers = MakeSystemWebServerStarter();
  return RunStation(platform, DefaultUpdateService(), MakeSystemOutputs, webServers.get());
}
