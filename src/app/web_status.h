#pragma once

// The status page (WEB=): a view of the station beside the operator's own. It hands every event
// on unchanged, keeps what the page shows, and publishes it as JSON once per cycle, when the
// cycle tells the destinations' states. The server answers from that JSON on its own threads.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/primary_link_status.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/web_server.h"
#include "web/status_board.h"
#include "web/status_snapshot.h"

namespace nimbrix {

// Every event of StationView is handed on: a new one must be forwarded here too (the
// forwarding test in web_status_test.cpp calls each of them).
class WebStatusView : public StationView {
 public:
  WebStatusView(StationView& inner, Clock& clock, StatusBoard& board, StatusCollector collector);

  void Started() override { inner_.Started(); }
  void StartupLine(const std::string& text) override { inner_.StartupLine(text); }
  void UpdateVerdict(const VersionVerdict& verdict, const std::string& downloadPage) override {
    inner_.UpdateVerdict(verdict, downloadPage);
  }
  void DecoderNotFound() override { inner_.DecoderNotFound(); }
  void DecoderAttached() override;
  void Connecting() override { inner_.Connecting(); }
  void ServerInUse(int index, const std::string& entry) override {
    inner_.ServerInUse(index, entry);
  }
  void Link(const LinkEvent& event, const std::string& record) override;
  void Resized() override { inner_.Resized(); }
  void Dashboard(const SondeSample& sample, const std::string& user, const LocalTime& now,
                 std::int32_t cyclesSinceReport) override;
  void DecoderLost() override;
  void DecoderFound() override;
  void FrameRead(const SondeSample& sample) override;
  void SondesHeard(const std::vector<HeardSonde>& heard) override;
  void PositionReportDue(const LocalTime& at) override { inner_.PositionReportDue(at); }
  void ReportSent(const std::string& line) override;
  void ObjectMode(const std::string& lastObjectName) override { inner_.ObjectMode(lastObjectName); }
  void NoObjectName(const std::string& serial) override { inner_.NoObjectName(serial); }
  void Destinations(const std::vector<DestinationStatus>& statuses,
                    const ClockReading& now) override;
  void DestinationRecord(const std::string& record, const std::string& destination) override;
  void Ended() override { inner_.Ended(); }

  // The snapshot as JSON, for the page: once per cycle, and while the station looks for a server
  // (before the first cycle, or after a failed send), whenever the search goes on.
  void Publish();
  // Until the cycle tells every destination's state, the page shows the primary link's.
  void FollowPrimary(const PrimaryLinkStatus& primary) { primary_ = &primary; }

 private:
  void KeepRecord(const std::string& record);

  StationView& inner_;
  Clock& clock_;
  StatusBoard& board_;
  StatusCollector collector_;
  bool decoderAnswers_ = false;
  const PrimaryLinkStatus* primary_ = nullptr;
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
std::unique_ptr<WebStatus> StartWebStatus(const StationConfig& config, WebServerStarter* starter,
                                          StationView& view, Clock& clock);

}  // namespace nimbrix
