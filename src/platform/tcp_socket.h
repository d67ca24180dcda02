#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrix {

// How one socket call ended, in the same words on every system. What it means for the link
// (error numbers, what is kept, when to give up) is decided above, in uplink/connection.h.
enum class SocketStatus {
  kDone,            // did what it could (a read or send may have moved fewer bytes than asked)
  kWouldBlock,      // nothing can be done now without waiting; a connect goes on meanwhile
  kInterrupted,     // a signal came in: ask again
  kTimedOut,        // a wait ran out of time
  kEndOfStream,     // the server closed its side (reads only)
  kUnacknowledged,  // the system gave the connection up: sent data stayed unacknowledged
  kInProgress,      // the system reports a blocking operation already in progress
  kFailed,          // anything else: refused, reset, unreachable, not resolved
};

struct SocketResult {
  SocketStatus status = SocketStatus::kFailed;
  std::size_t bytes = 0;
};

// One non-blocking TCP socket to a server: the system's own calls and no policy. Nothing here
// waits longer than it is asked to.
class TcpSocket {
 public:
  TcpSocket() = default;
  TcpSocket(const TcpSocket&) = delete;  // one owner closes it
  TcpSocket& operator=(const TcpSocket&) = delete;
  virtual ~TcpSocket() = default;
  // Resolves `host` to its first IPv4 address and starts a connect to `port` (1..65535) while
  // closed: kDone when it connected at once, kWouldBlock while it goes on (WaitWritable, then
  // FinishConnect), anything else when it failed.
  virtual SocketStatus StartConnect(const std::string& host, int port) = 0;
  // The same for an address already resolved (IPv4, network byte order): nothing here waits
  // for a name look-up.
  virtual SocketStatus StartConnectTo(std::uint32_t address, int port) = 0;
  // Once WaitWritable said kDone for a connect: kDone when it succeeded.
  virtual SocketStatus FinishConnect() = 0;
  // Waits at most timeoutMs until data can be sent, or a connect has ended: kDone, kTimedOut,
  // kInterrupted or kFailed.
  virtual SocketStatus WaitWritable(int timeoutMs) = 0;
  // Sends as much of `bytes` as fits now.
  virtual SocketResult Send(std::string_view bytes) = 0;
  // Reads up to `room` bytes of what has arrived into `buffer`, without waiting.
  virtual SocketResult Receive(char* buffer, std::size_t room) = 0;
  // Has the system give the connection up once sent data stays unacknowledged for `ms`
  // (reads and sends then end with kUnacknowledged); false where it cannot.
  virtual bool LimitUnacknowledged(int ms) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace nimbrix
