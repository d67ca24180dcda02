#include "app/station.h"

#include <memory>

#include "app/flushing_platform.h"
#include "app/link_view.h"
#include "app/log_view.h"
#include "app/main_cycle.h"
#include "app/program_end.h"
#include "app/startup.h"
#include "app/terminal_view.h"
#include "app/waiting_feed.h"
#include "app/web_status.h"
#include "config/config_reader.h"
#include "telemetry/telemetry.h"
#include "uplink/uplink.h"

namespace nimbrix {

namespace {

int RunStartupAndCycle(Platform& p, StationView& operatorView, const UpdateService& updateService,
                       const OutputMaker& makeOutputs, WebServerStarter* webServers,
                       std::unique_ptr<StationOutputs>& outputs) {
  ServerList servers;  // slots 0..10 empty, entry in use 1
  const ConfigResult read = ReadConfiguration(p.files.ReadAll(kConfigFileName));
  PerformConfigActions(read, operatorView, p.console, p.clock);
  const StationConfig config = read.config;
  servers = read.servers;

  // With a status page, everything the operator is told also reaches the page.
  const std::unique_ptr<WebStatus> web = StartWebStatus(config, webServers, operatorView, p.clock);
  StationView& view = web ? *web->view : operatorView;

  CheckForNewVersion(view, p.clock, p.http, config, servers, updateService);

  p.console.SetColor(kColorNormal);
  p.console.Clear();
  p.process.Run(kRegisterOleCommand);

  if (!p.automation.Attach(kDecoderProgId)) {
    view.DecoderNotFound();
    p.clock.SleepMs(3000);
    return 0;
  }
  view.DecoderAttached();

  outputs =
      std::make_unique<StationOutputs>(makeOutputs ? makeOutputs(config, p) : OutputList{}, p);
  if (web) web->view->FollowPrimary(outputs->primary());
  LinkView link(view, p.console, p.clock, outputs->errors(), servers);
  link.Track(outputs->primary());
  // From here on, the outputs beside the primary link (and the views of every sonde heard) are
  // fed while it waits.
  std::unique_ptr<WaitingFeed> feed;
  // The objects and the status page carry every sonde heard without being outputs.
  if (!outputs->Empty() || config.nOBJECT == 1 || !config.sWEB.empty()) {
    feed = std::make_unique<WaitingFeed>(p, config.nSONDEHUB == 1, CarriesEverySonde(config),
                                         *outputs, view);
    feed->StartAt(p.clock.MonotonicMs());
  }
  const WaitWorkSlot::Use feeding(p.waits, feed.get());
  view.Connecting();
  Uplink uplink{p.clock, p.tcp, servers, link, config.LoginLine, config.sUSER};
  if (ConnectServers(uplink) == ConnectOutcome::kQuit) throw ProgramEnd{0};
  view.ServerInUse(servers.nCURSERVER, servers.sSERVER.at(servers.nCURSERVER));
  p.clock.SleepMs(2000);

  MainCycle cycle(p, config, uplink, view, link, outputs.get(), feed.get());
  while (cycle.Step()) {
  }
  p.automation.Release();
  return 0;
}

}  // namespace

int RunStation(Platform& system, const UpdateService& updateService, const OutputMaker& makeOutputs,
               WebServerStarter* webServers) {
  FlushingPlatform flushing(system);
  Platform& platform = flushing.platform();
  // A terminal shows the screen; without one (a service, output to a file) the run is logged.
  std::unique_ptr<StationView> view;
  if (platform.console.IsTerminal()) {
    view = std::make_unique<TerminalView>(platform.console);
  } else {
    view = std::make_unique<LogView>(platform.console, platform.clock);
  }
  view->Started();
  int exitCode = 0;
  std::unique_ptr<StationOutputs> outputs;
  try {
    exitCode = RunStartupAndCycle(platform, *view, updateService, makeOutputs, webServers, outputs);
  } catch (const ProgramEnd& end) {
    platform.automation.Release();
    exitCode = end.exitCode;
  }
  if (outputs) outputs->Stop();
  view->Ended();
  platform.console.Flush();
  return exitCode;
}

}  // namespace nimbrix
