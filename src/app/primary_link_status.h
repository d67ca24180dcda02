#pragma once

#include <cstdint>
#include <string>

#include "outputs/output.h"
#include "uplink/login_answer.h"
#include "uplink/uplink.h"

namespace nimbrix {

// The primary APRS-IS link as a destination among the others: what the status page and the
// log of destinations show of it, made from the link's own events as they happen.
class PrimaryLinkStatus {
 public:
  PrimaryLinkStatus() {
    status_.primary = true;
    status_.kind = "APRS-IS";
  }

  // The link's own event, as it happens.
  void Tell(const LinkEvent& event, std::int64_t utcMs);

  void Trying(const std::string& entry, std::int64_t utcMs);
  void Connected(const std::string& entry, std::int64_t utcMs);
  // A connect, a pass, a send failed, or the connection was found dead: `why` in words.
  void Failed(const std::string& why, std::int64_t utcMs);
  void Login(const LoginVerdict& verdict, std::int64_t utcMs);
  void LineSent(std::int64_t utcMs);
  void LineLost();

  const DestinationStatus& Status() const { return status_; }

 private:
  void Enter(DestinationStatus::State state, std::string text, std::int64_t utcMs);

  DestinationStatus status_;
};

}  // namespace nimbrix
