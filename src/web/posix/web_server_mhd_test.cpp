// The status page's server over real sockets: answers from its own thread while another thread
// publishes (run under ThreadSanitizer by the tsan preset), and its bounds on a request's head
// and on the connections of one client.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/system.h"
#include "web/status_board.h"
#include "web/web_answers.h"

namespace nimbrix {
namespace {

// From 127.0.0.`from` (another client of the same machine, as far as the server can tell).
int Connect(int port, int from = 1) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (from != 1) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK - 1 + static_cast<std::uint32_t>(from));
    ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Everything the server sends until it closes the connection (at most 10 s).
std::string ReadAll(int fd) {
  std::string got;
  char buffer[4096];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

std::string Exchange(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer = ReadAll(fd);
  ::close(fd);
  return answer;
}

struct ServerTest : ::testing::Test {
  StatusBoard board;
  std::unique_ptr<WebServerStarter> starter = MakeSystemWebServerStarter();
  WebServerStart started;
  void SetUp() override {
    board.Publish("{\"n\":0}");
    started = starter->Start("127.0.0.1", 0, [this](const WebRequest& r) {
      return AnswerWebRequest(r, board.Current());
    });
    ASSERT_NE(started.server, nullptr) << started.error;
  }
  int port() const { return started.server->port(); }
};

TEST_F(ServerTest, AnswersWholeTextsWhileTheCyclePublishes) {
  std::atomic<bool> done{false};
  std::thread cycle([&] {
    for (int i = 1; !done.load(); ++i) {
      board.Publish("{\"n\":" + std::to_string(i) + ",\"pad\":\"" + std::string(5000, 'x') + "\"}");
    }
  });
  std::atomic<int> bad{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 3; ++c) {
    clients.emplace_back([&] {
      for (int i = 0; i < 20; ++i) {
        const std::string a =
            Exchange(port(), "GET /api/status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const std::size_t body = a.find("\r\n\r\n{\"n\":");
        if (a.rfind("HTTP/1.1 200 ", 0) != 0 || body == std::string::npos || a.back() != '}') {
          ++bad;
        }
      }
    });
  }
  for (auto& t : clients) t.join();
  done = true;
  cycle.join();
  EXPECT_EQ(bad.load(), 0);
}

TEST_F(ServerTest, RefusesWhatItDoesNotServe) {
  const struct {
    std::string request;
    const char* status;
  } cases[] = {
      {"POST /api/status HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nConnection: close\r\n\r\na=1",
       "HTTP/1.1 405 "},
      {"GET /NIMBRIX.INI HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 404 "},
      {"GET /api/status HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(64 * 1024, 'a') +
           "\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 431 "},
      {"HEAD / HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", "HTTP/1.1 200 "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Exchange(port(), c.request).substr(0, 13), c.status) << c.request.substr(0, 40);
  }
}

// One client's idle connections beyond its share are closed at once, unanswered.
TEST_F(ServerTest, OneClientGetsOnlyAFewConnections) {
  std::vector<pollfd> idle;
  for (int i = 0; i < 20; ++i) idle.push_back({Connect(port()), POLLIN, 0});
  int closed = 0;
  // The others stay open until they have been idle for 10 s: wait for the refused ones only.
  while (closed < 12 && ::poll(idle.data(), idle.size(), 5000) > 0) {
    for (pollfd& p : idle) {
      char byte;
      if (p.fd >= 0 && (p.revents & (POLLIN | POLLHUP)) && ::recv(p.fd, &byte, 1, 0) <= 0) {
        ::close(p.fd);
        p.fd = -1;
        ++closed;
      }
    }
  }
  for (const pollfd& p : idle) {
    if (p.fd >= 0) ::close(p.fd);
  }
  EXPECT_EQ(closed, 12);
}

// Slow clients from ten addresses, each sending a byte of its head now and then, take every
// connection there is; a head not complete within a few seconds is closed, and the operator's
// own request is answered while they go on.
TEST_F(ServerTest, SlowHeadsFromManyClientsDoNotStarveTheOperator) {
  std::vector<int> slow;
  for (int from = 2; from < 12; ++from) {
    for (int i = 0; i < 8; ++i) slow.push_back(Connect(port(), from));
  }
  std::atomic<bool> done{false};
  std::thread trickle([&] {
    const std::string head = "GET /api/status HTTP/1.1\r\nHost: x\r\nX-Slow: ";
    for (std::size_t i = 0; !done.load(); ++i) {
      for (int fd : slow) {
        if (fd >= 0) ::send(fd, &head[i % head.size()], 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      }
      for (int t = 0; t < 10 && !done.load(); ++t)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  std::string answer;
  for (int attempt = 0; attempt < 60 && answer.rfind("HTTP/1.1 200 ", 0) != 0; ++attempt) {
    answer = Exchange(port(), "GET /api/status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
    if (answer.rfind("HTTP/1.1 200 ", 0) != 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  done = true;
  trickle.join();
  EXPECT_EQ(answer.substr(0, 13), "HTTP/1.1 200 ");
  // The slow ones were closed by the server, unanswered.
  int closedByServer = 0;
  for (int fd : slow) {
    if (fd < 0) continue;
    pollfd p{fd, POLLIN, 0};
    char byte;
    if (::poll(&p, 1, 10000) > 0 && ::recv(fd, &byte, 1, 0) <= 0) ++closedByServer;
    ::close(fd);
  }
  EXPECT_EQ(closedByServer, static_cast<int>(slow.size()));
}

}  // namespace
}  // namespace nimbrix
