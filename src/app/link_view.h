#pragma once

#include <string>

#include "app/error_log.h"
#include "app/primary_link_status.h"
#include "app/station_view.h"
#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// Where the primary link's events go: the record each failure makes in the error log, the
// link's status among the destinations (`status`), the view; and the operator's ESC while no
// server answers.
class LinkView : public LinkEvents {
 public:
  LinkView(StationView& view, Console& console, Clock& clock, ErrorLog& log,
           const ServerList& servers, PrimaryLinkStatus& status)
      : view_(view),
        console_(console),
        clock_(clock),
        log_(log),
        servers_(servers),
        status_(status) {}

  void Tell(const LinkEvent& event) override;
  bool QuitWanted() override;
  bool Stopping() override { return console_.StopRequested(); }

  // A verdict on the last login: one LOGIN Error record and the warning for a login the server
  // did not verify (or did not answer while it sent other lines); a verified login takes an
  // earlier warning away.
  void ShowLoginVerdict(const LoginVerdict& verdict);

 private:
  StationView& view_;
  Console& console_;
  Clock& clock_;
  ErrorLog& log_;
  const ServerList& servers_;
  PrimaryLinkStatus& status_;
};

}  // namespace nimbrix
