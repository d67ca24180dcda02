#pragma once

// A small HTTP server beside the station's cycle: it answers from its own thread, through a
// handler of ours that only reads a published snapshot. The library and its limits (connections
// in all and per client, time-outs, the size of a request's head) are the backend's business.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace nimbrix {

struct WebRequest {
  std::string method;  // as the client sent it: "GET", "HEAD", "POST", ...
  std::string path;    // without the query
};

struct WebResponse {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // Content-Type among them
  std::string body;  // for HEAD the same as for GET: the server sends only its length
};

// Called on the server's threads, never on the cycle's: it must not touch the station's state.
using WebHandler = std::function<WebResponse(const WebRequest&)>;

// Serves until destroyed; the destructor waits for the server's thread to end.
class WebServer {
 public:
  virtual ~WebServer() = default;
  // The port it listens on: the system's choice when it was asked for port 0.
  virtual int port() const = 0;
};

struct WebServerStart {
  std::unique_ptr<WebServer> server;  // null when it could not start
  std::string error;                  // why not, in words for the operator
};

class WebServerStarter {
 public:
  virtual ~WebServerStarter() = default;
  // Listens on `address` (a numeric IPv4 or IPv6 address) and `port`.
  virtual WebServerStart Start(const std::string& address, int port, WebHandler handler) = 0;
};

}  // namespace nimbrix
