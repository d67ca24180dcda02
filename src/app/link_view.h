#pragma once

#include <string>
#include <string_view>

#include "app/screen.h"
#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// "Using # 2 => host,port" and its blanks: the entry in use, on row 24.
std::string ServerInUseLine(int index, const std::string& entry);

// "Lost # 1 => host,port (no data for 60 s)": the entry in use was found dead, on row 24.
std::string DeadLinkLine(const DeadLink& dead);

// What the station makes of the link's events: the connection row (24), the login warning
// (row 22), the records of the error log, and the operator's ESC while no server answers.
class LinkView : public LinkEvents {
 public:
  LinkView(Screen& screen, Console& console, Clock& clock, Files& files, const ServerList& servers)
      : screen_(screen), console_(console), clock_(clock), files_(files), servers_(servers) {}

  void Trying(const std::string& entry) override;
  void OpenFailed(const std::string& host) override;
  void Connected(int index, const std::string& entry) override;
  void NoServerReachable() override;
  bool QuitWanted() override;
  void SendFailed(int error, std::string_view line) override;
  void LinkDead(const DeadLink& dead) override;

  // A verdict on the last login: one LOGIN Error record and the warning for a login the server
  // did not verify (or did not answer while it sent other lines); a verified login takes an
  // earlier warning away.
  void ShowLoginVerdict(const LoginVerdict& verdict);

 private:
  void Record(const std::string& record);

  Screen& screen_;
  Console& console_;
  Clock& clock_;
  Files& files_;
  const ServerList& servers_;
};

}  // namespace nimbrix
