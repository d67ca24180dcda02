#include "platform/posix/tcp_client_posix.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "platform/system.h"

namespace nimbrix {

namespace {

// What one read of the server's text may take: a chatty server cannot hold a send up.
constexpr int kDrainReads = 16;
constexpr std::size_t kDrainBuffer = 4096;

int ErrorNumber(int error) {
  if (error == EALREADY || error == EINPROGRESS) return kSendInProgress;
  return kSendNetworkError;
}

// A connect interrupted by a signal goes on in the background; wait for its end, as a plain
// blocking connect would.
bool FinishInterruptedConnect(int fd) {
  pollfd p{fd, POLLOUT, 0};
  int ready;
  do {
    ready = ::poll(&p, 1, -1);
  } while (ready < 0 && errno == EINTR);
  if (ready <= 0) return false;
  int error = 0;
  socklen_t length = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

int ConnectTo(const sockaddr_in& address) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  bool connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!connected && errno == EINTR) connected = FinishInterruptedConnect(fd);
  if (!connected) {
    ::close(fd);
    return -1;
  }
  // Lines go out as soon as they are written.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return fd;
}

}  // namespace

namespace {

class PollWait : public WritableWait {
 public:
  std::int64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  int Wait(int fd, int timeoutMs) override {
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, timeoutMs);
  }
};

PollWait g_pollWait;

}  // namespace

PosixTcpClient::PosixTcpClient(int sendTimeoutMs, WritableWait* wait)
    : sendTimeoutMs_(sendTimeoutMs), wait_(wait ? wait : &g_pollWait) {}

PosixTcpClient::~PosixTcpClient() {
  Close();
}

bool PosixTcpClient::Open(const std::string& host, int port) {
  if (IsOpen() || port <= 0 || port > 65535) return false;
  if (host.empty() || host.find('\0') != std::string::npos) return false;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);

  // Only the first IPv4 address is tried.
  sockaddr_in address{};
  for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof address) {
      address = *reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      break;
    }
  }
  if (address.sin_family != AF_INET) return false;
  address.sin_port = htons(static_cast<std::uint16_t>(port));

  fd_ = ConnectTo(address);
  return IsOpen();
}

int PosixTcpClient::ReadIncoming() {
  if (brokenError_ != 0) return brokenError_;
  char buffer[kDrainBuffer];
  for (int i = 0; i < kDrainReads; ++i) {
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      incoming_.Keep(std::string_view(buffer, static_cast<std::size_t>(got)));
      continue;
    }
    if (got == 0) return brokenError_ = kSendNetworkError;  // the server has closed its side
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    if (errno == EINTR) continue;
    return brokenError_ = ErrorNumber(errno);
  }
  return 0;
}

int PosixTcpClient::Send(std::string_view bytes) {
  if (!IsOpen()) return kSendNotConnected;
  if (const int error = ReadIncoming(); error != 0) return error;

  std::size_t done = 0;
  while (done < bytes.size()) {
    // Wait for room, at most the time-out per portion (signals do not extend it).
    const std::int64_t deadline = wait_->NowMs() + sendTimeoutMs_;
    for (;;) {
      const std::int64_t left = deadline - wait_->NowMs();
      const int ready = wait_->Wait(fd_, left > 0 ? static_cast<int>(left) : 0);
      if (ready > 0) break;
      if (ready == 0) return kSendTimedOut;
      if (errno != EINTR) return ErrorNumber(errno);
    }
    // Not blocking here: take what fits now and wait again for the rest.
    const ssize_t sent =
        ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      done += static_cast<std::size_t>(sent);
    } else if (sent == 0) {
      return kSendNetworkError;  // no progress on a writable socket: do not spin
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return ErrorNumber(errno);
    }
  }
  return 0;
}

std::string PosixTcpClient::TakeReceived() {
  if (IsOpen()) ReadIncoming();
  return incoming_.Take();
}

void PosixTcpClient::Close() {
  incoming_.Clear();
  brokenError_ = 0;
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

std::unique_ptr<TcpClient> MakeSystemTcpClient() {
  return std::make_unique<PosixTcpClient>();
}

}  // namespace nimbrix
