#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <thread>

#include "platform/http_request.h"
#include "platform/win32/loopback_listener.h"

namespace nimbrix {
namespace {

// A one-shot web server on 127.0.0.1: keeps the request with its body, answers with `reply`.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    closesocket(listener_);
    thread_.join();
    WSACleanup();
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string request;

 private:
  void Serve() {
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return;
    char buffer[4096];
    std::size_t wanted = std::string::npos;
    while (wanted == std::string::npos || request.size() < wanted) {
      const int got = recv(peer, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
      const std::size_t head = request.find("\r\n\r\n");
      const std::size_t length = request.find("Content-Length: ");
      if (head != std::string::npos && length != std::string::npos) {
        wanted = head + 4 + std::stoul(request.substr(length + 16));
      }
    }
    send(peer, reply_.data(), static_cast<int>(reply_.size()), 0);
    shutdown(peer, SD_SEND);
    closesocket(peer);
  }

  std::string reply_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

TEST(WinHttpRequester, PutsTheBodyWithItsHeadersAndReturnsTheAnswer) {
  const std::string answer = R"({"message": "m", "errors": []})";
  OneShotServer server("HTTP/1.1 202 Accepted\r\nContent-Length: " + std::to_string(answer.size()) +
                       "\r\nConnection: close\r\n\r\n" + answer);
  std::unique_ptr<HttpRequester> requester = MakeSystemHttpRequester();
  HttpRequest request;
  request.url = server.url("/sondes/telemetry");
  request.headers = {"Content-Type: application/json", "Content-Encoding: gzip",
                     "User-Agent: NIMBRIX 0.22", "Date: Wed, 09 Dec 2026 19:00:52 GMT"};
  request.body = std::string("\x1f\x8b\x08\0binary", 10);
  ASSERT_TRUE(requester->Start(request));
  std::optional<HttpAnswer> got;
  while (!got) got = requester->WaitMs(1000);
  EXPECT_EQ(got->outcome, HttpAnswer::Outcome::kAnswered) << got->error;
  EXPECT_EQ(got->status, 202);
  EXPECT_EQ(got->body, answer);
  const std::string& r = server.request;
  EXPECT_EQ(r.rfind("PUT /sondes/telemetry HTTP/1.1\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nUser-Agent: NIMBRIX 0.22\r\n"), std::string::npos) << r;
  EXPECT_EQ(r.find("User-Agent"), r.rfind("User-Agent")) << r;  // once
  EXPECT_NE(r.find("\r\nDate: Wed, 09 Dec 2026 19:00:52 GMT\r\n"), std::string::npos) << r;
  EXPECT_EQ(r.substr(r.find("\r\n\r\n") + 4), request.body);
}

TEST(WinHttpRequester, NoServerIsNoConnection) {
  int port = 0;
  const SOCKET listener = ListenOnLoopback(port);
  closesocket(listener);  // nobody listens there now
  std::unique_ptr<HttpRequester> requester = MakeSystemHttpRequester();
  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(port) + "/listeners";
  request.body = "{}";
  ASSERT_TRUE(requester->Start(request));
  std::optional<HttpAnswer> got;
  while (!got) got = requester->WaitMs(1000);
  EXPECT_NE(got->outcome, HttpAnswer::Outcome::kAnswered);
  WSACleanup();
}

}  // namespace
}  // namespace nimbrix
