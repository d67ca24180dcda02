#pragma once

// A socket on the virtual clock, for the tests of the connection's policy: servers that answer
// a connect after a while or never, room to send that comes late or not at all, what a server
// sends, and the faults the system reports. Every wait moves the clock on by what it took.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"
#include "platform/tcp_socket.h"

namespace nimbrix::fake {

class FakeTcpSocket : public TcpSocket {
 public:
  static constexpr int kNever = -1;

  explicit FakeTcpSocket(FakeClock& clock, Journal* journal = nullptr)
      : clock_(clock), journal_(journal) {}

  SocketStatus StartConnect(const std::string& host, int port) override;
  SocketStatus FinishConnect() override;
  SocketStatus WaitWritable(int timeoutMs) override;
  SocketResult Send(std::string_view bytes) override;
  SocketResult Receive(char* buffer, std::size_t room) override;
  bool LimitUnacknowledged(int ms) override;
  void Close() override;
  bool IsOpen() const override { return state_ != State::kClosed; }

  // "host:port" that answer a connect, and after how many ms (0: at once, kNever: never, as
  // when every SYN is dropped). Every other target refuses.
  std::map<std::string, int> servers;
  // What a server sends once a connection to it is open, piece by piece.
  std::map<std::string, std::deque<std::string>> serverText;
  // What has arrived on the open connection and waits to be read: a read takes at most one
  // piece. Tests add pieces as time goes on.
  std::deque<std::string> arrived;
  // How a read ends once `arrived` is empty: kWouldBlock, or what the system reports
  // (kEndOfStream, kUnacknowledged, kFailed). Back to kWouldBlock on close.
  SocketStatus afterArrived = SocketStatus::kWouldBlock;
  // Room to send comes this many ms into a wait (kNever: not at all); the interrupts, each
  // after its ms, come first.
  int writableAfterMs = 0;
  std::deque<int> interruptAfterMs;
  // How the next waits end before any of that, oldest first, taking no time (kFailed, or
  // kUnacknowledged as Windows reports a connection it gave up).
  std::deque<SocketStatus> waitResults;
  // How the next sends end, oldest first (kDone, or none left: they take what fits).
  std::deque<SocketStatus> sendResults;
  std::size_t room = std::numeric_limits<std::size_t>::max();  // what one send takes at most
  bool canLimit = true;                                        // whether LimitUnacknowledged works

  std::string sent;               // every byte sent, over all connections
  std::vector<int> waits;         // every wait's time-out, in order
  int unacknowledgedLimitMs = 0;  // set by LimitUnacknowledged on the last connection
  int connects = 0;               // StartConnect calls

 private:
  enum class State { kClosed, kConnecting, kOpen };

  // Moves the clock on by `ms` (a wait that took that long).
  void Pass(int ms) { clock_.Advance(ms); }

  FakeClock& clock_;
  Journal* journal_;
  State state_ = State::kClosed;
  std::string target_;
  int connectLeftMs_ = 0;
};

}  // namespace nimbrix::fake
