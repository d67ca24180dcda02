#include "app/web_status.h"

#include "config/output_keys.h"
#include "version/version.h"
#include "web/status_json.h"
#include "web/web_answers.h"

namespace nimbrix {

WebStatusView::WebStatusView(Clock& clock, StatusBoard& board, StatusCollector collector,
                             const DestinationStatus& primary)
    : clock_(clock), board_(board), collector_(std::move(collector)), primary_(primary) {
  collector_.Moment(decoderAnswers_, clock_.UtcMs());
  Publish();
}

void WebStatusView::Publish() {
  board_.Publish(StatusJson(collector_.snapshot()));
}

void WebStatusView::KeepRecord(const std::string& record) {
  if (!record.empty()) collector_.Record(record, clock_.UtcMs());
}

void WebStatusView::DecoderAttached() {
  decoderAnswers_ = true;
}

void WebStatusView::Link(const LinkEvent& event, const std::string& record) {
  KeepRecord(record);
  // Outside the cycle (before the first one, or while a failed send looks for a server) the
  // page follows the search.
  if (event.primary &&
      (event.kind == LinkEvent::Kind::kConnected || event.kind == LinkEvent::Kind::kNoServer)) {
    if (!cycleTold_) {
      collector_.Moment(decoderAnswers_, clock_.UtcMs());
      collector_.Destinations({primary_});
    }
    Publish();
  }
}

void WebStatusView::Dashboard(const SondeSample& sample, const std::string& /*user*/,
                              const LocalTime& /*now*/, std::int32_t /*cyclesSinceReport*/) {
  collector_.Sample(sample, decoderAnswers_, clock_.UtcMs());
}

void WebStatusView::FrameRead(const SondeSample& sample) {
  collector_.Sample(sample, decoderAnswers_, clock_.UtcMs());
}

void WebStatusView::SondesHeard(const std::vector<HeardSonde>& heard) {
  collector_.Heard(heard, clock_.UtcMs());
}

void WebStatusView::DecoderLost() {
  decoderAnswers_ = false;
}

void WebStatusView::DecoderFound() {
  decoderAnswers_ = true;
}

void WebStatusView::ReportSent(const std::string& line) {
  collector_.LineSent(line, clock_.UtcMs());
}

void WebStatusView::Destinations(const std::vector<DestinationStatus>& statuses,
                                 const ClockReading& /*now*/) {
  cycleTold_ = true;
  collector_.Destinations(statuses);
  Publish();
}

void WebStatusView::DestinationRecord(const std::string& record,
                                      const std::string& /*destination*/) {
  KeepRecord(record);
}

std::string WebStartLine(const std::string& address, int port, const std::string& error) {
  const std::string key = "WEB=" + address + "," + std::to_string(port);
  if (!error.empty()) {
    return "No status page (" + key + "): " + error + "; the station goes on without it";
  }
  const std::string portText = std::to_string(port);
  if (address == "0.0.0.0" || address == "::") {
    return "Status page: http://<this machine's address>:" + portText +
           "/ (every address of this machine)";
  }
  const bool v6 = address.find(':') != std::string::npos;
  return "Status page: http://" + (v6 ? "[" + address + "]" : address) + ":" + portText + "/";
}

std::unique_ptr<WebStatus> StartWebStatus(const StationConfig& config, WebServerStarter* starter,
                                          StationView& view, Clock& clock,
                                          const DestinationStatus& primary) {
  if (config.sWEB.empty()) return nullptr;
  const std::optional<HostAndPort> where = ParseHostAndPort(config.sWEB);
  if (!where) return nullptr;  // the configuration's reader said so already
  if (starter == nullptr) {
    view.StartupLine(WebStartLine(where->host, where->port, "this build has no status page"));
    return nullptr;
  }
  auto web = std::make_unique<WebStatus>();
  web->view = std::make_unique<WebStatusView>(
      clock, web->board, StatusCollector(config.sUSER, kVersionText, clock.UtcMs()), primary);
  StatusBoard& board = web->board;
  WebServerStart started = starter->Start(where->host, where->port, [&board](const WebRequest& r) {
    return AnswerWebRequest(r, board.Current());
  });
  view.StartupLine(WebStartLine(where->host, where->port, started.error));
  if (!started.server) return nullptr;
  web->server = std::move(started.server);
  return web;
}

}  // namespace nimbrix
