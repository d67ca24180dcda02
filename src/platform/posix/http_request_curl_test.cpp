#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/http_request.h"

namespace nimbrix {
namespace {

// A one-shot web server on 127.0.0.1: keeps the request with its body, then answers with
// `reply`, or says nothing until the client hangs up when `reply` is empty.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ADD_FAILURE() << "test server cannot listen";
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string request;

 private:
  bool WaitReadable(int fd) {
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }
  void Serve() {
    if (!WaitReadable(listener_)) return;
    const int peer = accept(listener_, nullptr, nullptr);
    if (peer < 0) return;
    char buffer[4096];
    std::size_t wanted = std::string::npos;
    while ((wanted == std::string::npos || request.size() < wanted) && WaitReadable(peer)) {
      const ssize_t got = recv(peer, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
      const std::size_t head = request.find("\r\n\r\n");
      const std::size_t length = request.find("Content-Length: ");
      if (head != std::string::npos && length != std::string::npos) {
        wanted = head + 4 + std::stoul(request.substr(length + 16));
      }
    }
    if (reply_.empty()) {
      while (WaitReadable(peer) && recv(peer, buffer, sizeof buffer, 0) > 0) {
      }
    } else {
      send(peer, reply_.data(), reply_.size(), MSG_NOSIGNAL);
    }
    close(peer);
  }

  std::string reply_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

HttpAnswer AnswerOf(HttpRequester& requester) {
  std::optional<HttpAnswer> got;
  while (!got) got = requester.WaitMs(1000);
  return *got;
}

TEST(CurlHttpRequester, PutsTheBodyWithItsHeadersAndReturnsTheAnswer) {
  setenv("http_proxy", "http://192.0.2.1:9", 1);  // never taken: the station goes straight
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
  const HttpAnswer got = AnswerOf(*requester);
  unsetenv("http_proxy");
  EXPECT_EQ(got.outcome, HttpAnswer::Outcome::kAnswered) << got.error;
  EXPECT_EQ(got.status, 202);
  EXPECT_EQ(got.body, answer);
  const std::string& r = server.request;
  EXPECT_EQ(r.rfind("PUT /sondes/telemetry HTTP/1.1\r\n", 0), 0u) << r;
  EXPECT_NE(r.find("\r\nContent-Encoding: gzip\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nUser-Agent: NIMBRIX 0.22\r\n"), std::string::npos) << r;
  EXPECT_NE(r.find("\r\nDate: Wed, 09 Dec 2026 19:00:52 GMT\r\n"), std::string::npos) << r;
  EXPECT_EQ(r.substr(r.find("\r\n\r\n") + 4), request.body);
}

TEST(CurlHttpRequester, SilenceIsATimeOutAndNoServerNoConnection) {
  OneShotServer silent("");
  std::unique_ptr<HttpRequester> requester = MakeSystemHttpRequester();
  HttpRequest request;
  request.url = silent.url("/sondes/telemetry");
  request.timeoutMs = 300;
  ASSERT_TRUE(requester->Start(request));
  EXPECT_EQ(AnswerOf(*requester).outcome, HttpAnswer::Outcome::kTimedOut);

  const int closed = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bind(closed, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  getsockname(closed, reinterpret_cast<sockaddr*>(&addr), &len);
  request.url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/listeners";
  request.timeoutMs = 30000;
  ASSERT_TRUE(requester->Start(request));
  EXPECT_EQ(AnswerOf(*requester).outcome, HttpAnswer::Outcome::kNoConnection);
  close(closed);
}

TEST(CurlHttpRequester, AHeaderWithALineBreakIsNeverSent) {
  std::unique_ptr<HttpRequester> requester = MakeSystemHttpRequester();
  HttpRequest request;
  request.url = "http://127.0.0.1:9/";
  request.headers = {"X-A: b\r\nX-Injected: 1"};
  ASSERT_TRUE(requester->Start(request));
  EXPECT_EQ(AnswerOf(*requester).outcome, HttpAnswer::Outcome::kNoConnection);
}

}  // namespace
}  // namespace nimbrix
