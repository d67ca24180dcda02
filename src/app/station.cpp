#include "app/station.h"

#include "app/link_view.h"
#include "app/main_cycle.h"
#include "app/program_end.h"
#include "app/screen.h"
#include "app/startup.h"
#include "config/config_reader.h"
#include "telemetry/telemetry.h"
#include "uplink/uplink.h"

namespace nimbrix {

namespace {

int RunStartupAndCycle(Platform& p, const UpdateService& updateService) {
  ServerList servers;  // slots 0..10 empty, entry in use 1
  const ConfigResult read = ReadConfiguration(p.files.ReadAll(kConfigFileName));
  PerformConfigActions(read, p.console, p.clock);
  const StationConfig config = read.config;
  servers = read.servers;

  CheckForNewVersion(p.console, p.clock, p.http, config, servers, updateService);

  p.console.SetColor(kColorNormal);
  p.console.Clear();
  p.process.Run(kRegisterOleCommand);

  if (!p.automation.Attach(kDecoderProgId)) {
    p.console.LineBreak();
    p.console.SetColor(kColorLightRed);
    p.console.Write("SondeMonitor not found! Exiting...");
    p.console.LineBreak();
    p.clock.SleepMs(3000);
    return 0;
  }

  Screen screen(p.console);
  LinkView link(screen, p.console, p.clock, p.files, servers);
  screen.ShowConnection("Conecting:", true);
  Uplink uplink{p.clock, p.tcp, servers, link, config.LoginLine, config.sUSER};
  if (ConnectServers(uplink) == ConnectOutcome::kQuit) throw ProgramEnd{0};
  screen.ShowConnection(
      ServerInUseLine(servers.nCURSERVER, servers.sSERVER.at(servers.nCURSERVER)));
  p.clock.SleepMs(2000);

  MainCycle cycle(p, config, uplink, screen, link);
  while (cycle.Step()) {
  }
  p.automation.Release();
  return 0;
}

}  // namespace

int RunStation(Platform& platform, const UpdateService& updateService) {
  try {
    return RunStartupAndCycle(platform, updateService);
  } catch (const ProgramEnd& end) {
    platform.automation.Release();
    return end.exitCode;
  }
}

}  // namespace nimbrix
