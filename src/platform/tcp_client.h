#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace nimbrix {

// Error numbers of a failed send.
inline constexpr int kSendTimedOut = 24;      // not writable within the send time-out
inline constexpr int kSendNotConnected = 52;  // no connection open
inline constexpr int kSendNetworkError = 57;  // reset, closed by the peer, other socket error
inline constexpr int kSendInProgress = 70;    // a blocking operation is already in progress

inline constexpr int kSendTimeoutMs = 60000;
// What the connection keeps of the server's text until it is taken; more is dropped.
inline constexpr std::size_t kKeptIncomingBytes = 16384;

// The one outgoing TCP connection to an APRS-IS server. Of what the server sends, only the
// answer to the login is looked at (uplink/login_answer.h); the rest is dropped.
class TcpClient {
 public:
  virtual ~TcpClient() = default;
  // Resolves host to its first IPv4 address and connects (blocking). Fails when already open,
  // or when port is 0 or negative.
  virtual bool Open(const std::string& host, int port) = 0;
  // Sends every byte, waiting up to the send time-out for writability before each portion.
  // Whatever the server sent is read first and kept for TakeReceived; an end of stream there
  // fails with 57. Returns 0 or one of the error numbers above; the connection is left as it was.
  virtual int Send(std::string_view bytes) = 0;
  // What the server has sent since the last call: what the reads before each send kept, and
  // whatever has arrived by now, read without waiting. An end of stream or a reset seen here
  // makes the next send fail with 57, as its own read would have.
  virtual std::string TakeReceived() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace nimbrix
