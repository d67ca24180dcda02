#include "app/station.h"

#include <memory>

#include "app/flushing_platform.h"
#include "app/log_view.h"
#include "app/main_cycle.h"
#include "app/primary_link.h"
#include "app/program_end.h"
#include "app/startup.h"
#include "app/station_outputs.h"
#include "app/terminal_view.h"
#include "app/view_list.h"
#include "app/waiting_feed.h"
#include "app/web_status.h"
#include "config/config_reader.h"
#include "telemetry/telemetry.h"
#include "uplink/uplink.h"

namespace nimbrix {

namespace {

// From the first connect on: the outputs fed while the primary link waits, then the cycle until
// ESC, which lets the decoder go. Throws ProgramEnd when the operator ends the program while no
// server answers.
void ConnectAndCycle(Platform& p, const StationConfig& config, StationView& view,
                     PrimaryLink& primary, StationOutputs& outputs) {
  // From here on, the outputs beside the primary link (and the views of every sonde heard) are
  // fed while it waits.
  std::unique_ptr<WaitingFeed> feed;
  // The objects and the status page carry every sonde heard without being outputs.
  if (!outputs.Empty() || config.nOBJECT == 1 || !config.sWEB.empty()) {
    feed = std::make_unique<WaitingFeed>(p, config.nSONDEHUB == 1, CarriesEverySonde(config),
                                         outputs, view);
    feed->StartAt(p.clock.MonotonicMs());
  }
  const WaitWorkSlot::Use feeding(p.waits, feed.get());
  view.Connecting();
  Uplink& uplink = primary.uplink();
  if (ConnectServers(uplink) == ConnectOutcome::kQuit) throw ProgramEnd{0};
  const ServerList& servers = uplink.servers;
  view.ServerInUse(servers.nCURSERVER, servers.sSERVER.at(servers.nCURSERVER));
  p.clock.SleepMs(2000);

  MainCycle cycle(p, config, primary, view, &outputs, feed.get());
  while (cycle.Step()) {
  }
  p.automation.Release();
}

int RunStartupAndCycle(Platform& p, StationView& operatorView, const UpdateService& updateService,
                       const OutputMaker& makeOutputs, WebServerStarter* webServers) {
  const ConfigResult read = ReadConfiguration(p.files.ReadAll(kConfigFileName));
  PerformConfigActions(read, operatorView, p.console, p.clock);
  const StationConfig config = read.config;
  ServerList servers = read.servers;

  // nimbrix.err's one writer: the primary link's records and every other destination's.
  ErrorLog records(p.files);
  // With a status page, everything the operator is told also reaches the page.
  ViewList views(operatorView);
  PrimaryLink primary(p, servers, config.LoginLine, config.sUSER, views, records);
  const std::unique_ptr<WebStatus> web =
      StartWebStatus(config, webServers, operatorView, p.clock, primary.Status());
  if (web) views.Add(*web->view);

  CheckForNewVersion(views, p.clock, p.http, config, servers, updateService);

  p.console.SetColor(kColorNormal);
  p.console.Clear();
  p.process.Run(kRegisterOleCommand);

  if (!p.automation.Attach(kDecoderProgId)) {
    views.DecoderNotFound();
    p.clock.SleepMs(3000);
    return 0;
  }
  views.DecoderAttached();

  StationOutputs outputs(makeOutputs ? makeOutputs(config, p) : OutputList{}, p, records, primary);
  int exitCode = 0;
  try {
    ConnectAndCycle(p, config, views, primary, outputs);
  } catch (const ProgramEnd& end) {
    if (web) web->server.reset();
    p.automation.Release();
    exitCode = end.exitCode;
  }
  // The page stops before the outputs' last deliveries.
  if (web) web->server.reset();
  outputs.Stop();
  return exitCode;
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
  try {
    exitCode = RunStartupAndCycle(platform, *view, updateService, makeOutputs, webServers);
  } catch (const ProgramEnd& end) {  // a refused configuration
    platform.automation.Release();
    exitCode = end.exitCode;
  }
  view->Ended();
  platform.console.Flush();
  return exitCode;
}

}  // namespace nimbrix
