#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/tcp_socket.h"
#include "platform/wait_work.h"
#include "uplink/link_watch.h"
#include "uplink/tcp_client.h"

namespace nimbrix {

// How long the connection waits for what, and when it takes itself for dead.
struct LinkLimits {
  // A connect that has not ended by then has failed: a host that never answers costs this
  // much, not the system's minutes of retries. Long enough for a lost SYN to be sent again two
  // or three times (after 1, 3 and 7 s on Linux).
  int connectMs = 10000;
  // For each portion of a send, the wait for room.
  int sendMs = kSendTimeoutMs;
  // APRS-IS servers send a comment line every 20 to 30 s to every client: a server that has
  // talked and then says nothing for this long is gone, or so is the way to it.
  int silenceMs = 60000;
  // Sent data unacknowledged this long ends the connection (the system does it), which also
  // covers a server that never talks.
  int unacknowledgedMs = 30000;
};

// The APRS-IS connection: the send rule, the reading of what the server sends, and the watch
// for a dead link, over one platform socket and the clock. Every wait is bounded.
class Connection : public TcpClient {
 public:
  // `stopping` says whether the program has been asked to stop: a wait that a signal
  // interrupts then ends at once (the send or connect fails) instead of going on.
  using StopCheck = std::function<bool()>;
  // `waits`: the station's work while a connect or a send waits (the wait is cut where it is
  // due, and keeps its deadline).
  Connection(TcpSocket& socket, Clock& clock, LinkLimits limits = {}, StopCheck stopping = {},
             WaitWorkSlot* waits = nullptr)
      : socket_(socket),
        clock_(clock),
        limits_(limits),
        stopping_(std::move(stopping)),
        waits_(waits),
        watch_(socket, clock, limits.silenceMs) {}
  ~Connection() override { Close(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Open(const std::string& host, int port) override;
  int Send(std::string_view bytes) override;
  std::string TakeReceived() override;
  LinkFault CheckAlive() override;
  void Close() override;
  bool IsOpen() const override { return socket_.IsOpen(); }

 private:
  // Waits for room (or a connect's end) until `deadlineMs`; signals do not extend it.
  SocketStatus WaitWritableUntil(std::int64_t deadlineMs);
  TcpSocket& socket_;
  Clock& clock_;
  LinkLimits limits_;
  StopCheck stopping_;
  WaitWorkSlot* waits_;
  LinkWatch watch_;  // what the server sends, and whether the link is alive
};

struct OwnedSocket {
  std::unique_ptr<TcpSocket> socket;
};

// The connection over this system's own socket, as the station runs it.
class SystemConnection : private OwnedSocket, public Connection {
 public:
  explicit SystemConnection(Clock& clock, LinkLimits limits = {}, StopCheck stopping = {},
                            WaitWorkSlot* waits = nullptr);
};

}  // namespace nimbrix
