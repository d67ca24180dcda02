#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake/fakes.h"
#include "uplink/tcp_client.h"

namespace nimbrix::fake {

// The server connection: hosts that accept, bytes received per connection, scripted send errors.
class FakeTcpClient : public TcpClient {
 public:
  explicit FakeTcpClient(Journal* journal = nullptr) : journal_(journal) {}
  bool Open(const std::string& host, int port) override;
  int Send(std::string_view bytes) override;
  std::string TakeReceived() override;
  LinkFault CheckAlive() override;
  void Close() override;
  bool IsOpen() const override { return open_; }

  // What CheckAlive says while the connection is open; closing it makes it kNone again.
  LinkFault fault = LinkFault::kNone;
  int checks = 0;  // CheckAlive() calls
  // "host:port" that accept a connection; all others are refused.
  std::vector<std::string> reachable;
  // Errors returned by the next sends, oldest first (0 = success).
  std::deque<int> sendErrors;
  std::vector<std::string> opens;  // every attempt, "host:port"
  std::string sent;                // every byte sent successfully, over all connections
  std::vector<std::string> lines;  // each successful Send() call's bytes
  int closes = 0;
  // What the server sends on the open connection: each TakeReceived() takes the oldest piece
  // (tests add pieces as time goes on, e.g. from FakeClock::onSleep). Dropped on close.
  std::deque<std::string> incoming;
  // What a server ("host:port") sends once a connection to it opens, piece by piece.
  std::map<std::string, std::deque<std::string>> serverText;
  int takes = 0;  // TakeReceived() calls

 private:
  bool open_ = false;
  Journal* journal_;
};

}  // namespace nimbrix::fake
