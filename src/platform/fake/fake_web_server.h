#pragma once

#include <string>

#include "platform/web_server.h"

namespace nimbrix {

// Takes the handler instead of listening: a test asks it as a client would, on its own thread.
class FakeWebServerStarter : public WebServerStarter {
 public:
  WebServerStart Start(const std::string& address_, int port_, WebHandler handler_) override {
    address = address_;
    port = port_;
    ++starts;
    if (!failWith.empty()) return {nullptr, failWith};
    handler = std::move(handler_);
    return {std::make_unique<Server>(*this), ""};
  }

  // What a client gets; a 599 when no server runs.
  WebResponse Ask(const std::string& method, const std::string& path) const {
    if (!handler) return WebResponse{599, {}, ""};
    return handler(WebRequest{method, path});
  }

  std::string failWith;  // not empty: Start fails with this text
  std::string address;
  int port = 0;
  int starts = 0;
  WebHandler handler;

 private:
  // Stopped, it answers nothing more: the handler may refer to what is gone.
  struct Server : WebServer {
    explicit Server(FakeWebServerStarter& s) : starter(s) {}
    ~Server() override { starter.handler = nullptr; }
    int port() const override { return starter.port; }
    FakeWebServerStarter& starter;
  };
};

}  // namespace nimbrix
