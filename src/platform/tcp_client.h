#pragma once

#include <string>
#include <string_view>

namespace nimbrix {

// Error numbers of a failed send.
inline constexpr int kSendTimedOut = 24;      // not writable within the send time-out
inline constexpr int kSendNotConnected = 52;  // no connection open
inline constexpr int kSendNetworkError = 57;  // reset, closed by the peer, other socket error
inline constexpr int kSendInProgress = 70;    // a blocking operation is already in progress

inline constexpr int kSendTimeoutMs = 60000;

// The one outgoing TCP connection to an APRS-IS server. Nothing is ever interpreted from it.
class TcpClient {
 public:
  virtual ~TcpClient() = default;
  // Resolves host to its first IPv4 address and connects (blocking). Fails when already open,
  // or when port is 0 or negative.
  virtual bool Open(const std::string& host, int port) = 0;
  // Sends every byte, waiting up to the send time-out for writability before each portion.
  // Whatever the server sent is read and dropped first; an end of stream there fails with 57.
  // Returns 0 or one of the error numbers above; the connection is left as it was.
  virtual int Send(std::string_view bytes) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

}  // namespace nimbrix
