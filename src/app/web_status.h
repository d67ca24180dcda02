#pragma once

// The status page (WEB=): a view of the station beside the operator's own, in the station's
// list of views. It keeps what the page shows and publishes it as JSON once per cycle, when the
// cycle tells the destinations' states. The server answers from that JSON on its own threads.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/station_view.h"
#include "config/station_config.h"
#include "outputs/output.h"
#include "platform/clock.h"
#include "platform/web_server.h"
#include "web/status_board.h"
#include "web/status_snapshot.h"

namespace nimbrix {

// What the page shows of the station's events; the rest is the operator's view's alone.
class WebStatusView : public StationView {
 public:
  // Publishes the station as it starts, so the page answers from the first request. `primary`
  // is the primary link's state, which the page shows while the station looks for a server,
  // until the cycle tells every destination's state.
  WebStatusView(Clock& clock, StatusBoard& board, StatusCollector collector,
                const DestinationStatus& primary);

  void DecoderAttached() override;
  void Link(const LinkEvent& event, const std::string& record) override;
  void Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                 std::int32_t cyclesSinceReport) override;
  void DecoderLost() override;
  void DecoderFound() override;
  void FrameRead(const SondeSample& sample) override;
  void SondesHeard(const std::vector<HeardSonde>& heard) override;
  void ReportSent(const std::string& line) override;
  void Destinations(const std::vector<DestinationStatus>& statuses,
                    const ClockReading& now) override;
  void DestinationRecord(const std::string& record, const std::string& destination) override;

 private:
  void KeepRecord(const std::string& record);
  // The snapshot as JSON, for the page.
  void Publish();

  Clock& clock_;
  StatusBoard& board_;
  StatusCollector collector_;
  const DestinationStatus& primary_;
  bool decoderAnswers_ = false;
  bool cycleTold_ = false;  // Destinations() came at least once
};

// The page's whole machinery, for as long as the station runs; the server stops first.
struct WebStatus {
  StatusBoard board;
  std::unique_ptr<WebStatusView> view;
  std::unique_ptr<WebServer> server;
  ~WebStatus() { server.reset(); }
};

// What the log says at start: where the page is served, or why it is not.
std::string WebStartLine(const std::string& address, int port, const std::string& error);

// Starts the page when WEB= asks for one, and says so through `view`; null when WEB= is off,
// there is no server on this system, or it could not start (the station goes on without it).
// `primary`: the primary link's state, for as long as the page runs.
std::unique_ptr<WebStatus> StartWebStatus(const StationConfig& config, WebServerStarter* starter,
                                          StationView& view, Clock& clock,
                                          const DestinationStatus& primary);

}  // namespace nimbrix
