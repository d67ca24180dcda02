#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/error_log.h"
#include "app/link_view.h"
#include "app/primary_link_status.h"
#include "app/report_sending.h"
#include "app/station_platform.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "outputs/output.h"
#include "uplink/uplink.h"

namespace nimbrix {

// The primary APRS-IS link and all that is its own: the connection's state and the server list
// it moves through (Uplink), where its events go (LinkView: the records, the view) and its
// state among the destinations. Made once, before the page and the outputs that show it.
class PrimaryLink {
 public:
  // `records` is the station's writer of nimbrix.err; `view` is told every event of the link.
  PrimaryLink(const Platform& platform, ServerList& servers, std::string loginLine,
              std::string callsign, StationView& view, ErrorLog& records)
      : events_(view, platform.console, platform.clock, records, servers, status_),
        uplink_{platform.clock, platform.tcp,         servers,
                events_,        std::move(loginLine), std::move(callsign)} {}
  PrimaryLink(const PrimaryLink&) = delete;
  PrimaryLink& operator=(const PrimaryLink&) = delete;

  Uplink& uplink() { return uplink_; }

  // The server's answer to the login, once per cycle: recorded and shown as LinkView says.
  void WatchLogin() { events_.ShowLoginVerdict(WatchLoginAnswer(uplink_)); }

  // The lines the link was handed in a cycle, counted when the outputs beside it are fed
  // (`utcMs`: when the sample they came from was read).
  void Count(const std::vector<HandedLine>& handed, std::int64_t utcMs);

  const DestinationStatus& Status() const { return status_.Status(); }

 private:
  PrimaryLinkStatus status_;
  LinkView events_;
  Uplink uplink_;
};

}  // namespace nimbrix
