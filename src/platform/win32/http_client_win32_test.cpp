#include "platform/win32/http_client_win32.h"

#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>
#include <thread>

#include "platform/win32/loopback_listener.h"

namespace nimbrix {
namespace {

constexpr char kAgent[] = "zt/kit 7.04";
constexpr char kPragma[] = "pragma: no-cache";

// A one-shot web server on 127.0.0.1: keeps the request, answers with `reply` (whole response).
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply) : reply_(std::move(reply)) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    closesocket(listener_);  // ends an accept that nobody came to
    thread_.join();
    WSACleanup();
  }
  std::string url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
  }
  std::string request;

 private:
  void Serve() {
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const int got = recv(peer, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t done = 0;
    while (done < reply_.size()) {
      const int sent = send(peer, reply_.data() + done, static_cast<int>(reply_.size() - done), 0);
      if (sent <= 0) break;
      done += static_cast<std::size_t>(sent);
    }
    shutdown(peer, SD_SEND);
    closesocket(peer);
  }

  std::string reply_;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
};

std::string Response(const std::string& status, const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

TEST(WinInetHttpClientTest, SendsAgentAndPragmaAndReturnsTheBody) {
  OneShotServer server(Response("200 OK", "versao=0.23 and more"));
  WinInetHttpClient client;
  const auto body =
      client.Get(server.url("/nimbrix/nimbrix_pool.php?versao=NIMBRIX 0.22&"), kAgent, kPragma);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(*body, "versao=0.23 and more");
  EXPECT_NE(server.request.find("GET /nimbrix/nimbrix_pool.php?versao=NIMBRIX%200.22& HTTP/1.1"),
            std::string::npos)
      << server.request;
  EXPECT_NE(server.request.find("User-Agent: zt/kit 7.04\r\n"), std::string::npos);
  EXPECT_NE(server.request.find("pragma: no-cache\r\n"), std::string::npos);
}

TEST(WinInetHttpClientTest, BodiesOfEverySizeComeBackWhole) {
  // Empty, one short chunk, past the first 1 MiB buffer and past its first doubling.
  for (std::size_t size : {std::size_t{0}, std::size_t{4097}, std::size_t{(1 << 20) + 1},
                           std::size_t{(3 << 20) + 17}}) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
      body[i] = static_cast<char>('a' + (i * 31 + i / 4096) % 26);
    OneShotServer server(Response("200 OK", body));
    WinInetHttpClient client;
    const auto got = client.Get(server.url("/big"), kAgent, kPragma);
    ASSERT_TRUE(got.has_value()) << size;
    EXPECT_TRUE(*got == body) << size << " bytes sent, " << got->size() << " received";
  }
}

TEST(WinInetHttpClientTest, AnErrorStatusStillGivesItsBody) {
  OneShotServer server(Response("404 Not Found", "no such page"));
  WinInetHttpClient client;
  EXPECT_EQ(client.Get(server.url("/missing"), kAgent, kPragma), "no such page");
}

TEST(WinInetHttpClientTest, ABodyOverTheCapFails) {
  OneShotServer server(Response("200 OK", std::string(10000, 'x')));
  WinInetLimits limits;
  limits.maxBodyBytes = 5000;
  WinInetHttpClient client(limits);
  EXPECT_EQ(client.Get(server.url("/big"), kAgent, kPragma), std::nullopt);
}

TEST(WinInetHttpClientTest, RefusedConnectionFails) {
  int port = 0;
  {
    OneShotServer closed("");
    port = std::stoi(closed.url("").substr(std::string("http://127.0.0.1:").size()));
  }
  WinInetHttpClient client;
  EXPECT_EQ(client.Get("http://127.0.0.1:" + std::to_string(port) + "/", kAgent, kPragma),
            std::nullopt);
}

TEST(WinInetHttpClientTest, LineBreaksCannotAddRequestLines) {
  WinInetHttpClient client;
  // Refused before any connection is made: no server is needed.
  EXPECT_EQ(client.Get("http://127.0.0.1:9/?a\r\nX-Evil: 1", kAgent, kPragma), std::nullopt);
  EXPECT_EQ(client.Get("http://127.0.0.1:9/", "zt\r\nX-Evil: 1", kPragma), std::nullopt);
  EXPECT_EQ(client.Get("http://127.0.0.1:9/", kAgent, "pragma: no-cache\r\nX-Evil: 1"),
            std::nullopt);
}

}  // namespace
}  // namespace nimbrix
