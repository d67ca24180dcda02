#pragma once

#include <string>
#include <string_view>

#include "config/station_config.h"
#include "platform/clock.h"
#include "platform/tcp_client.h"
#include "uplink/login_answer.h"

namespace nimbrix {

// What the link tells its owner as it happens, in the order it happens: the owner shows it
// (row 24), keeps the records of failures, and says whether the operator wants to quit. The
// link itself never touches the screen or a file.
class LinkEvents {
 public:
  virtual ~LinkEvents() = default;
  // An attempt on entry `index` begins (the connect may take a while).
  virtual void Trying(int index, const std::string& entry) = 0;
  // That attempt failed; `host` is the entry's host part.
  virtual void OpenFailed(const std::string& host) = 0;
  // Connected to entry `index` and the login line went out.
  virtual void Connected(int index, const std::string& entry) = 0;
  // Every entry of a pass failed; the link waits before the next pass.
  virtual void NoServerReachable() = 0;
  // Asked after that wait: true ends the program (the operator pressed ESC).
  virtual bool QuitWanted() = 0;
  // A line could not be sent; `error` is one of the send error numbers.
  virtual void SendFailed(int error, std::string_view line) = 0;
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

// Sends one complete line; on failure tells it, reconnects and sends it once more.
SendOutcome SendLine(Uplink& uplink, std::string_view line);

// Looks, without waiting, at what the server has sent since the last login, and says what it
// makes of the login (kPending until it can tell, and after its verdict until the next login).
// Called once per cycle.
LoginVerdict WatchLoginAnswer(Uplink& uplink);

}  // namespace nimbrix
