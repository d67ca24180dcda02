#pragma once

#include <string>
#include <string_view>

#include "config/station_config.h"
#include "platform/clock.h"
#include "uplink/login_answer.h"
#include "uplink/tcp_client.h"

namespace nimbrix {

// A connection found dead: which entry it went to, and why, in words for the operator.
struct DeadLink {
  int index = 0;
  std::string entry;
  std::string host;    // the entry's host part
  std::string reason;  // "no data for 60 s", "data unacknowledged for 30 s", ...
};

// One thing that happened to an APRS-IS link, named by the destination it happened to. The
// primary link tells them as they happen; whoever shows them switches on the kind.
struct LinkEvent {
  enum class Kind {
    kTrying,       // an attempt on `entry` begins (the connect may take a while)
    kOpenFailed,   // that attempt failed (`host` is the entry's host part)
    kConnected,    // connected to `entry`, and the login line went out
    kNoServer,     // every entry of a pass failed; the link waits before the next pass
    kSendFailed,   // `line` could not be sent: `error`, one of the send error numbers
    kLoginAnswer,  // the server's answer to the last login: `verdict`
    kDead,         // the connection in use was found dead, once per connection: `dead`
  };
  Kind kind = Kind::kTrying;
  bool primary = true;  // the station's own link; otherwise an extra destination
  int index = 0;        // the entry's number in the server list
  std::string entry{};  // "host,port": the destination's name
  std::string host{};
  int error = 0;
  std::string line{};
  LoginVerdict verdict{};
  DeadLink dead{};
};

// An event of `kind` on entry `index` ("host,port" `entry`, its host part `host`); the other
// fields are set by the caller. (Filled field by field: g++ 12 at -O3 takes a designated
// initializer of this aggregate for one that leaves strings uninitialised.)
LinkEvent EventOn(LinkEvent::Kind kind, int index = 0, const std::string& entry = {},
                  const std::string& host = {});

// Where the link tells what happens, in the order it happens: the owner shows it (row 24),
// keeps the records of failures, and says whether the operator wants to quit. The link itself
// never touches the screen or a file.
class LinkEvents {
 public:
  virtual ~LinkEvents() = default;
  virtual void Tell(const LinkEvent& event) = 0;
  // Asked after a pass in which no entry could be reached: true ends the program (the
  // operator pressed ESC).
  virtual bool QuitWanted() = 0;
  // Whether the program has been asked to stop (SIGTERM): the link then gives up at once,
  // whatever it is doing, and records nothing of what that cut short.
  virtual bool Stopping() = 0;
};

// The APRS-IS side of the station: the connection, the server list it moves through, and the
// login line it sends after every connect.
struct Uplink {
  Clock& clock;
  TcpClient& tcp;
  ServerList& servers;
  LinkEvents& events;
  std::string loginLine;
  std::string callsign;  // as in the login line, to know the server's answer to it
  LoginAnswerWatch loginWatch{};
  bool deadTold = false;  // LinkDead was told for the connection in use
};

enum class ConnectOutcome {
  kConnected,  // a connection is open and the login line went out
  kNoServers,  // the list is empty: there is nothing to try
  kQuit,       // the operator pressed ESC while no server could be reached
};

// Opens the first reachable entry (a pass starts at nCURSERVER and wraps round to entry 1) and
// sends the login line. While no entry can be reached it waits and tries again, until one can
// or the operator quits.
ConnectOutcome ConnectServers(Uplink& uplink);

enum class SendOutcome {
  kSent,
  kLost,  // the send and the one resend after reconnecting both failed: the line is lost
  kQuit,  // the operator quit while the link was looking for a server
};

// Sends one complete line; on failure tells it (and first, when the connection was found dead
// only now, that), reconnects and sends it once more.
SendOutcome SendLine(Uplink& uplink, std::string_view line);

// Sends one complete line on the connection in use, if one is open, and never looks for
// another server: a line beside the reports (an object of another sonde) must not hold the
// cycle up. A failed send is told as SendLine tells it; the next report's send reconnects.
// kLost when no connection is open or the send failed.
SendOutcome SendLineIfUp(Uplink& uplink, std::string_view line);

// Looks, without waiting, at what the server has sent since the last login, and says what it
// makes of the login (kPending until it can tell, and after its verdict until the next login).
// Called once per cycle.
LoginVerdict WatchLoginAnswer(Uplink& uplink);

// Looks, without waiting, whether the connection in use has died (a server that talks fell
// silent, sent data stayed unacknowledged, the server closed it) and tells it once. Called once
// per cycle.
void WatchLink(Uplink& uplink);

}  // namespace nimbrix
