#include "platform/posix/http_client_posix.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

namespace nimbrix {
namespace {

constexpr const char* kAgent = "zt/kit 7.04";
constexpr const char* kHeader = "pragma: no-cache";

std::string Response(const std::string& status, const std::string& body,
                     const std::string& extraHeaders = "") {
  return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
}

std::string RequestLine(const std::string& request) {
  return request.substr(0, request.find("\r\n"));
}

// A one-connection-at-a-time HTTP server on 127.0.0.1 with an ephemeral port. The handler
// gets the request head and returns the raw reply; nullopt holds the connection without a word.
class TestServer {
 public:
  using Handler = std::function<std::optional<std::string>(const std::string& request)>;

  explicit TestServer(Handler handler) : handler_(std::move(handler)) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ADD_FAILURE() << "test server cannot listen";
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~TestServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }

  std::string Url(const std::string& pathAndQuery) const {
    return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  bool WaitReadable(int fd) {
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) return true;
    }
    return false;
  }

  void Serve() {
    while (WaitReadable(listener_)) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd < 0) continue;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 &&
             WaitReadable(fd)) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      if (std::optional<std::string> reply = handler_(request)) {
        std::size_t sent = 0;
        while (sent < reply->size()) {
          const ssize_t n = send(fd, reply->data() + sent, reply->size() - sent, MSG_NOSIGNAL);
          if (n <= 0) break;  // the client gave up, as it may on an oversize body
          sent += static_cast<std::size_t>(n);
        }
      } else {
        // Silent until the client hangs up or the test ends.
        while (WaitReadable(fd) && recv(fd, buffer, sizeof buffer, 0) > 0) {
        }
      }
      close(fd);
    }
  }

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

class CurlHttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
      unsetenv(name);
    }
  }
};

TEST_F(CurlHttpClientTest, SendsRequestLineAgentAndNoCacheHeader) {
  TestServer server([](const std::string&) { return Response("200 OK", "versao=0.23"); });
  const std::string target =
      "/nimbrix/nimbrix_pool.php?data=08/12/2026&hora=20:41:05&estacao=N0CALL"
      "&versao=NIMBRIX%200.22&servidor=a.example,14580&";
  CurlHttpClient http;
  EXPECT_EQ(http.Get(server.Url(target), kAgent, kHeader), "versao=0.23");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestLine(requests[0]), "GET " + target + " HTTP/1.1");
  EXPECT_NE(requests[0].find("\r\nUser-Agent: zt/kit 7.04\r\n"), std::string::npos) << requests[0];
  EXPECT_NE(requests[0].find("\r\npragma: no-cache\r\n"), std::string::npos) << requests[0];
}

TEST_F(CurlHttpClientTest, ReturnsBodiesWhole) {
  std::string big(6u << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  struct Case {
    std::string name;
    std::string reply;
    std::string body;
  };
  const Case cases[] = {
      {"several megabytes", Response("200 OK", big), big},
      {"empty", Response("200 OK", ""), ""},
      {"404 keeps its body", Response("404 Not Found", "no such page"), "no such page"},
      {"500 keeps its body", Response("500 Internal Server Error", "versao=0.22"), "versao=0.22"},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
       "5\r\nversa\r\n6\r\no=0.23\r\n0\r\n\r\n",
       "versao=0.23"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server([&](const std::string&) { return c.reply; });
    CurlHttpClient http;
    const std::optional<std::string> body = http.Get(server.Url("/x"), kAgent, kHeader);
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->size(), c.body.size());
    EXPECT_TRUE(*body == c.body);
  }
}

TEST_F(CurlHttpClientTest, FollowsRedirects) {
  TestServer server([](const std::string& request) {
    if (RequestLine(request).starts_with("GET /old")) {
      return Response("302 Found", "", "Location: /new?x=1\r\n");
    }
    return Response("200 OK", "versao=0.23");
  });
  CurlHttpClient http;
  EXPECT_EQ(http.Get(server.Url("/old"), kAgent, kHeader), "versao=0.23");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestLine(requests[1]), "GET /new?x=1 HTTP/1.1");
  EXPECT_NE(requests[1].find("\r\npragma: no-cache\r\n"), std::string::npos);
}

TEST_F(CurlHttpClientTest, FailsOnHostileOrBrokenReplies) {
  struct Case {
    std::string name;
    std::string reply;
  };
  const std::string twoMiB(2u << 20, 'x');
  const Case cases[] = {
      {"announced body over the cap", Response("200 OK", twoMiB)},
      {"chunked body over the cap",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n200000\r\n" +
           twoMiB + "\r\n0\r\n\r\n"},
      {"body cut short",
       "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n"
       "versao=0.23"},
      {"endless redirects", Response("302 Found", "", "Location: /again\r\n")},
      {"redirect to a local file", Response("302 Found", "", "Location: file:///etc/hostname\r\n")},
      {"not http", "SSH-2.0-OpenSSH\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestServer server([&](const std::string&) { return c.reply; });
    CurlHttpClient http(HttpLimits{.maxBodyBytes = 1u << 20});
    EXPECT_EQ(http.Get(server.Url("/x"), kAgent, kHeader), std::nullopt);
  }
}

TEST_F(CurlHttpClientTest, ClosedPortFailsQuickly) {
  // Take an ephemeral port and give it back, so nothing listens there.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
  close(fd);

  CurlHttpClient http;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(
      http.Get("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/", kAgent, kHeader),
      std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(CurlHttpClientTest, SilentServerEndsAtTheTimeLimit) {
  TestServer server([](const std::string&) { return std::nullopt; });
  CurlHttpClient http(HttpLimits{.connectTimeoutMs = 300, .totalTimeoutMs = 300});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(http.Get(server.Url("/"), kAgent, kHeader), std::nullopt);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(CurlHttpClientTest, RefusesWhatCouldAddRequestLinesOrLeaveHttp) {
  TestServer server([](const std::string&) { return Response("200 OK", "ok"); });
  CurlHttpClient http;
  EXPECT_EQ(http.Get(server.Url("/"), "zt/kit\r\nX-Evil: 1", kHeader), std::nullopt);
  EXPECT_EQ(http.Get(server.Url("/"), kAgent, "pragma: no-cache\r\nX-Evil: 1"), std::nullopt);
  EXPECT_EQ(http.Get(server.Url("/a\r\nX-Evil: 1"), kAgent, kHeader), std::nullopt);
  EXPECT_EQ(http.Get("file:///etc/hostname", kAgent, kHeader), std::nullopt);
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace nimbrix
