// The status page's server on Linux: GNU libmicrohttpd, one internal thread over epoll (an idle
// client costs a socket, not a thread), with its limits on connections, time and memory.

#include <fcntl.h>
#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/system.h"
#include "platform/web_server.h"

namespace nimbrix {

namespace {

// Far more than a few phones and a desk need (a browser opens up to six per server), few
// enough that a client opening many cannot take the machine's file descriptors.
constexpr unsigned kConnectionLimit = 64;
constexpr unsigned kConnectionsPerClient = 8;
// An idle connection is closed after this many seconds.
constexpr unsigned kIdleSeconds = 10;
// A request's head must be complete this long after its connection came: a client that sends
// a byte now and then would otherwise hold its connection for as long as it likes (each byte
// starts the idle time anew), and a few such clients would take every connection.
constexpr auto kHeadDeadline = std::chrono::seconds(5);
// Bounds a request's head (its line and headers): a larger one is answered 431 and closed.
constexpr size_t kMemoryPerConnection = 16 * 1024;

// The connections whose request head has not come whole yet, by socket, with when they came.
// MHD tells when a connection starts and closes (on its own thread); a watch thread ends those
// past the deadline by shutting their socket down, which MHD then sees and closes itself. The
// entry goes under the lock before MHD closes the socket, so a socket number is never shut
// down after it has been reused.
class HeadWatch {
 public:
  using Clock = std::chrono::steady_clock;

  HeadWatch() : thread_([this] { Watch(); }) {}
  ~HeadWatch() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }

  void Started(MHD_socket fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_[fd] = Clock::now();
  }
  void HeadComplete(MHD_socket fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.erase(fd);
  }

  static void Notify(void* cls, MHD_Connection* connection, void**,
                     MHD_ConnectionNotificationCode code) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr) return;
    auto* watch = static_cast<HeadWatch*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      watch->Started(info->connect_fd);
    } else {
      watch->HeadComplete(info->connect_fd);
    }
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      wake_.wait_for(lock, std::chrono::milliseconds(500));
      const Clock::time_point now = Clock::now();
      for (auto it = pending_.begin(); it != pending_.end();) {
        if (now - it->second < kHeadDeadline) {
          ++it;
          continue;
        }
        ::shutdown(it->first, SHUT_RDWR);
        it = pending_.erase(it);
      }
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::map<MHD_socket, Clock::time_point> pending_;
  std::thread thread_;
};

struct ServerContext {
  WebHandler handler;
  HeadWatch heads;
};

MHD_Result Answer(void* cls, MHD_Connection* connection, const char* url, const char* method,
                  const char*, const char*, size_t*, void**) {
  auto& context = *static_cast<ServerContext*>(cls);
  if (const MHD_ConnectionInfo* info =
          MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) {
    context.heads.HeadComplete(info->connect_fd);
  }
  const WebHandler& handler = context.handler;
  WebResponse answer;
  try {
    answer = handler(WebRequest{method ? method : "", url ? url : ""});
  } catch (...) {
    answer = WebResponse{500, {{"Content-Type", "text/plain; charset=utf-8"}}, "Error\n"};
  }
  // Answered at once, also a request with a body: its body is never read.
  MHD_Response* response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                                           MHD_RESPMEM_MUST_COPY);
  if (response == nullptr) return MHD_NO;
  for (const auto& [name, value] : answer.headers) {
    MHD_add_response_header(response, name.c_str(), value.c_str());
  }
  const MHD_Result queued =
      MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
  MHD_destroy_response(response);
  return queued;
}

class MhdServer : public WebServer {
 public:
  explicit MhdServer(WebHandler handler) : context_{std::move(handler), {}} {}
  ~MhdServer() override {
    // A daemon that started owns the listening socket and closes it when it stops.
    if (daemon_ != nullptr) {
      MHD_stop_daemon(daemon_);
    } else if (socket_ >= 0) {
      close(socket_);
    }
  }

  std::string Listen(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(address.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
      return address + " is not an address of this machine (a number such as 127.0.0.1)";
    }
    const int family = found->ai_family;
    socket_ = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    int error = socket_ < 0 ? errno : 0;
    if (error == 0) {
      const int yes = 1;
      setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
      if (bind(socket_, found->ai_addr, found->ai_addrlen) != 0 || listen(socket_, 32) != 0) {
        error = errno;
      }
    }
    freeaddrinfo(found);
    if (error == EADDRINUSE) return "port " + service + " is in use";
    if (error == EADDRNOTAVAIL) return address + " is not an address of this machine";
    if (error != 0) return std::strerror(error);

    unsigned flags = MHD_USE_AUTO_INTERNAL_THREAD;
    if (family == AF_INET6) flags |= MHD_USE_IPv6;
    daemon_ = MHD_start_daemon(
        flags, static_cast<std::uint16_t>(port), nullptr, nullptr, &Answer, &context_,
        MHD_OPTION_LISTEN_SOCKET, static_cast<MHD_socket>(socket_), MHD_OPTION_CONNECTION_LIMIT,
        kConnectionLimit, MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerClient,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        kMemoryPerConnection, MHD_OPTION_NOTIFY_CONNECTION, &HeadWatch::Notify, &context_.heads,
        MHD_OPTION_END);
    if (daemon_ == nullptr) return "the HTTP server did not start";
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ =
        ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port
                                          : reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
    return "";
  }

  int port() const override { return port_; }

 private:
  ServerContext context_;  // outlives the daemon: it is stopped first
  int socket_ = -1;
  int port_ = 0;
  MHD_Daemon* daemon_ = nullptr;
};

class MhdStarter : public WebServerStarter {
 public:
  WebServerStart Start(const std::string& address, int port, WebHandler handler) override {
    auto server = std::make_unique<MhdServer>(std::move(handler));
    std::string error = server->Listen(address, port);
    if (!error.empty()) return {nullptr, error};
    return {std::move(server), ""};
  }
};

}  // namespace

std::unique_ptr<WebServerStarter> MakeSystemWebServerStarter() {
  return std::make_unique<MhdStarter>();
}

}  // namespace nimbrix
