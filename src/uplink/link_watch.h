#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/tcp_socket.h"
#include "uplink/incoming_text.h"
#include "uplink/tcp_client.h"

namespace nimbrix {

// Whether an APRS-IS connection is alive, told from what is read of it anyway: a server that
// has talked and then says nothing for `silenceMs`, data the system gave up on as
// unacknowledged, an end of stream or a failed read make it dead, and it stays dead until the
// connection is closed. The primary link and every extra destination keep one each.
class LinkWatch {
 public:
  LinkWatch(TcpSocket& socket, Clock& clock, int silenceMs)
      : socket_(socket), clock_(clock), silenceMs_(silenceMs) {}

  // Reads what the server has sent, without waiting, and keeps it for Take; 0, or the error
  // number that the connection's fault gives, which every later send returns too.
  int Read();
  // Read, then the silence: the fault found, kNone while alive.
  LinkFault Check();
  // The error number of a send that the socket ended with `status`; a connection that the
  // system gave up is dead from then on.
  int FailedSend(SocketStatus status);
  // Takes the connection for dead; returns the error number its sends fail with from now on.
  int Fail(LinkFault fault, int error);
  std::string Take() { return incoming_.Take(); }
  LinkFault fault() const { return fault_; }
  // A new connection: nothing heard, nothing kept, no fault.
  void Reset();

 private:
  TcpSocket& socket_;
  Clock& clock_;
  int silenceMs_;
  IncomingText incoming_;
  LinkFault fault_ = LinkFault::kNone;
  int faultError_ = 0;
  bool heard_ = false;  // the server has sent something on this connection
  std::int64_t lastHeardMs_ = 0;
};

// The error number of a send that the socket ended with `status`.
int SendErrorOf(SocketStatus status);

// What the operator reads of the way a connection died: "no data for 60 s", ...
const char* LinkFaultText(LinkFault fault);

}  // namespace nimbrix
