#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbrix {

// Error numbers of a failed send.
inline constexpr int kSendTimedOut = 24;      // not writable within the send time-out
inline constexpr int kSendNotConnected = 52;  // no connection open
inline constexpr int kSendNetworkError = 57;  // reset, closed by the peer, other socket error
inline constexpr int kSendLinkDead = 62;      // found dead: silent server, unacknowledged data
inline constexpr int kSendInProgress = 70;    // a blocking operation is already in progress

inline constexpr int kSendTimeoutMs = 60000;
// What the connection keeps of the server's text until it is taken; more is dropped.
inline constexpr std::size_t kKeptIncomingBytes = 16384;

// Why an open connection is taken for dead.
enum class LinkFault {
  kNone,            // alive as far as can be told
  kSilent,          // a server that talks has sent nothing for a minute
  kUnacknowledged,  // sent data stayed unacknowledged, and the system gave the connection up
  kClosed,          // the server closed it (sends then fail with 57)
  kNetworkError,    // a read failed (sends then fail with 57 or 70)
};

// The one outgoing TCP connection to an APRS-IS server (uplink/connection.h is the real one).
// Of what the server sends, only the answer to the login is looked at (uplink/login_answer.h);
// the rest is dropped, but that something arrives at all tells that the server is alive.
class TcpClient {
 public:
  virtual ~TcpClient() = default;
  // Resolves host to its first IPv4 address and connects, waiting a bounded time. Fails when
  // already open, or when port is 0 or negative.
  virtual bool Open(const std::string& host, int port) = 0;
  // Sends every byte, waiting up to the send time-out for writability before each portion.
  // Whatever the server sent is read first and kept for TakeReceived; a connection found dead
  // there or before fails at once, nothing of `bytes` written. Returns 0 or one of the error
  // numbers above; the connection is left open.
  virtual int Send(std::string_view bytes) = 0;
  // What the server has sent since the last call: what the reads before each send kept, and
  // whatever has arrived by now, read without waiting.
  virtual std::string TakeReceived() = 0;
  // Reads what has arrived, without waiting (kept for TakeReceived), and tells whether the
  // connection is dead, and why; once dead it stays so until closed. kNone while closed.
  virtual LinkFault CheckAlive() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace nimbrix
