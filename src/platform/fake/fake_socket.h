#pragma once

// A socket on the virtual clock, for the tests of the connection's policy: servers that answer
// a connect after a while or never, room to send that comes late or not at all, what a server
// sends, and the faults the system reports. Every wait moves the clock on by what it took.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/fake/fakes.h"
#include "platform/name_resolver.h"
#include "platform/tcp_socket.h"
#include "platform/udp_socket.h"

namespace nimbrix::fake {

class FakeTcpSocket : public TcpSocket {
 public:
  static constexpr int kNever = -1;

  explicit FakeTcpSocket(FakeClock& clock, Journal* journal = nullptr)
      : clock_(clock), journal_(journal) {}

  SocketStatus StartConnect(const std::string& host, int port) override;
  // The address is taken as its dotted text ("192.0.2.1:14580" in `servers`).
  SocketStatus StartConnectTo(std::uint32_t address, int port) override;
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
  // What the system buffers of this connection in all, as from a server that never reads:
  // once it is taken up, sends end with kWouldBlock.
  std::size_t capacity = std::numeric_limits<std::size_t>::max();
  bool canLimit = true;  // whether LimitUnacknowledged works

  std::string sent;               // every byte sent, over all connections
  std::vector<int> waits;         // every wait's time-out, in order
  int unacknowledgedLimitMs = 0;  // set by LimitUnacknowledged on the last connection
  int connects = 0;               // StartConnect calls

 private:
  enum class State { kClosed, kConnecting, kOpen };

  // Moves the clock on by `ms` (a wait that took that long).
  void Pass(int ms) {
    clock_.Advance(ms);
    seenMs_ = clock_.MonotonicMs();
  }
  // A connect goes on while the clock moves elsewhere too (the caller looks without waiting).
  void CatchUp();

  FakeClock& clock_;
  Journal* journal_;
  State state_ = State::kClosed;
  std::string target_;
  int connectLeftMs_ = 0;
  std::int64_t seenMs_ = 0;
};

// Dotted text of an IPv4 address in network byte order.
std::string DottedAddress(std::uint32_t address);
// The same address from its dotted text (tests name servers by it); 0 when it is none.
std::uint32_t AddressOf(const std::string& dotted);

// Name look-ups on the virtual clock: a host is found (or not) once its time has passed.
class FakeNameResolver : public NameResolver {
 public:
  static constexpr int kNever = -1;
  struct Answer {
    int afterMs = 0;      // kNever: the look-up hangs
    std::string address;  // dotted; empty: not found
  };
  explicit FakeNameResolver(FakeClock& clock) : clock_(clock) {}
  std::unique_ptr<PendingLookup> Start(const std::string& host) override;
  // Hosts not listed are found at once as themselves (a dotted address).
  std::map<std::string, Answer> answers;
  std::vector<std::string> started;

 private:
  FakeClock& clock_;
};

// A datagram socket that keeps what it sent.
class FakeUdpSocket : public UdpSocket {
 public:
  bool Open() override {
    ++opens;
    open_ = canOpen;
    return open_;
  }
  SocketStatus SendTo(std::uint32_t address, int port, std::string_view datagram) override;
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }

  bool canOpen = true;
  std::deque<SocketStatus> sendResults;  // how the next sends end (none left: kDone)
  struct Datagram {
    std::string to;  // "a.b.c.d:port"
    std::string bytes;
  };
  std::vector<Datagram> sent;
  int opens = 0;

 private:
  bool open_ = false;
};

}  // namespace nimbrix::fake
