#include "iq/rtl_tcp_source.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "iq/rtl_tcp_protocol.h"

namespace receiver {
namespace {

constexpr std::size_t kMaxRecv = 1 << 20;

// Rounded up, so that a wait never ends just before `when` and spins.
int MillisecondsUntil(std::chrono::steady_clock::time_point when) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(when - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

// Waits for `events` on `fd` until `deadline`; false on time-out or error.
bool WaitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int r = poll(&p, 1, MillisecondsUntil(deadline));
    if (r > 0) return true;
    if (r == 0 || errno != EINTR) return false;
  }
}

void SleepUntil(std::chrono::steady_clock::time_point when) {
  while (poll(nullptr, 0, MillisecondsUntil(when)) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool ParseRtlTcpAddress(const std::string& text, RtlTcpOptions& options) {
  std::string host = text;
  std::string port_text;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return false;
    host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port_text = rest.substr(1);
      if (port_text.empty()) return false;
    }
  } else if (const auto colon = text.find(':'); colon != std::string::npos) {
    if (text.find(':', colon + 1) != std::string::npos) return false;  // a bare v6 address
    host = text.substr(0, colon);
    port_text = text.substr(colon + 1);
    if (port_text.empty()) return false;
  }
  if (host.empty()) return false;
  int port = 1234;
  if (!port_text.empty()) {
    if (port_text.size() > 5 || !std::all_of(port_text.begin(), port_text.end(),
                                             [](char c) { return c >= '0' && c <= '9'; })) {
      return false;
    }
    port = std::stoi(port_text);
    if (port < 1 || port > 65535) return false;
  }
  options.host = host;
  options.port = port;
  return true;
}

std::string IntervalText(int milliseconds) {
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  return std::to_string(milliseconds) + " ms";
}

RtlTcpSource::RtlTcpSource(RtlTcpOptions options)
    : options_(std::move(options)), center_hz_(options_.center_hz) {
  next_attempt_ = Clock::now();
}

RtlTcpSource::~RtlTcpSource() {
  if (fd_ >= 0) close(fd_);
}

std::string RtlTcpSource::Name() const {
  return "rtl_tcp " + options_.host + ":" + std::to_string(options_.port);
}

std::string RtlTcpSource::TakeEvent() {
  if (events_.empty()) return {};
  std::string event = std::move(events_.front());
  events_.pop_front();
  return event;
}

void RtlTcpSource::Lose(const std::string& reason) {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  pending_.clear();
  pending_head_ = 0;
  drop_bytes_ = 0;
  next_attempt_ = Clock::now() + std::chrono::milliseconds(options_.retry_interval_ms);
  if (!gone_announced_) {
    events_.push_back("dongle gone, trying again every " +
                      IntervalText(options_.retry_interval_ms) + " (" + Name() + ": " + reason +
                      ")");
    gone_announced_ = true;
  }
}

bool RtlTcpSource::SendAll(const std::uint8_t* data, std::size_t size) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.connect_timeout_ms);
  while (size > 0) {
    const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(fd_, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool RtlTcpSource::Connect() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(options_.port);
  if (getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    Lose("cannot resolve the host");
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(options_.connect_timeout_ms);
  std::string reason = "no answer";
  for (addrinfo* a = found; a && fd_ < 0; a = a->ai_next) {
    const int fd =
        socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    int err = 0;
    if (connect(fd, a->ai_addr, a->ai_addrlen) < 0) {
      err = errno;
      if (err == EINPROGRESS && WaitFor(fd, POLLOUT, deadline)) {
        socklen_t len = sizeof(err);
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
      } else if (err == EINPROGRESS) {
        err = ETIMEDOUT;
      }
    }
    if (err == 0) {
      fd_ = fd;
    } else {
      reason = std::strerror(err);
      close(fd);
    }
  }
  freeaddrinfo(found);
  if (fd_ < 0) {
    Lose(reason);
    return false;
  }
  const int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));

  std::uint8_t greeting[kRtlTcpGreetingSize];
  std::size_t have = 0;
  const auto greeting_deadline =
      Clock::now() + std::chrono::milliseconds(options_.greeting_timeout_ms);
  while (have < sizeof(greeting)) {
    if (!WaitFor(fd_, POLLIN, greeting_deadline)) {
      Lose("no greeting");
      return false;
    }
    const ssize_t n = recv(fd_, greeting + have, sizeof(greeting) - have, 0);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
      Lose("closed before its greeting");
      return false;
    }
    if (n > 0) have += static_cast<std::size_t>(n);
  }
  const auto parsed = ParseRtlTcpGreeting(greeting);
  if (!parsed) {
    Lose("not an rtl_tcp greeting");
    return false;
  }

  RtlTcpSetup setup;
  setup.sample_rate = static_cast<std::uint32_t>(std::lround(options_.sample_rate));
  setup.center_hz = static_cast<std::uint32_t>(std::llround(center_hz_));
  if (options_.gain_db)
    setup.gain_tenths_db = static_cast<int>(std::lround(*options_.gain_db * 10));
  setup.ppm = options_.ppm;
  setup.bias_tee = options_.bias_tee;
  const auto commands = RtlTcpSetupCommands(setup);
  if (!SendAll(commands.data(), commands.size())) {
    Lose("cannot send its settings");
    return false;
  }

  pending_.clear();
  pending_head_ = 0;
  drop_bytes_ = 2 * options_.tune_drop_samples;
  last_data_ = Clock::now();
  events_.push_back(Name() + ": " + std::string(RtlTunerName(parsed->tuner_type)) + ", " +
                    std::to_string(parsed->gain_count) + " gains" +
                    (ever_connected_ ? ", back" : ""));
  gone_announced_ = false;
  ever_connected_ = true;
  return true;
}

bool RtlTcpSource::Tune(double center_hz) {
  if (!(center_hz > 0 && center_hz < 4.2e9)) return false;
  center_hz_ = center_hz;
  if (fd_ < 0) return true;  // sent with the settings on connecting
  // Counted before the command goes out: what arrives after it may already be new.
  int queued = 0;
  if (ioctl(fd_, FIONREAD, &queued) < 0) queued = 0;
  const auto command = EncodeRtlTcpCommand(RtlTcpCommand::kFrequency,
                                           static_cast<std::uint32_t>(std::llround(center_hz)));
  if (!SendAll(command.data(), command.size())) {
    Lose("cannot send a command");
    return true;
  }
  const std::size_t buffered = pending_.size() - pending_head_ + static_cast<std::size_t>(queued);
  drop_bytes_ = std::max(drop_bytes_, buffered / 2 * 2 + 2 * options_.tune_drop_samples);
  return true;
}

std::size_t RtlTcpSource::TakePending(std::vector<std::complex<float>>& out, std::size_t max) {
  const std::size_t drop = std::min(drop_bytes_, (pending_.size() - pending_head_) / 2 * 2);
  pending_head_ += drop;
  drop_bytes_ -= drop;
  std::span<const std::uint8_t> bytes(pending_.data() + pending_head_,
                                      pending_.size() - pending_head_);
  if (bytes.size() / 2 > max) bytes = bytes.first(max * 2);
  const std::size_t used = AppendIqPairs(bytes, out);
  pending_head_ += used;
  if (pending_head_ == pending_.size()) {
    pending_.clear();
    pending_head_ = 0;
  } else if (pending_head_ > pending_.size() / 2) {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pending_head_));
    pending_head_ = 0;
  }
  return used / 2;
}

ReadStatus RtlTcpSource::Read(std::vector<std::complex<float>>& out, std::size_t max,
                              int timeout_ms) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  if (fd_ < 0) {
    if (Clock::now() < next_attempt_) {
      SleepUntil(std::min(deadline, next_attempt_));
      if (Clock::now() < next_attempt_) return ReadStatus::kGone;
    }
    if (!Connect()) return ReadStatus::kGone;
  }
  if (max == 0) return ReadStatus::kOk;
  for (;;) {
    if (TakePending(out, max) > 0) return ReadStatus::kOk;
    // Looked at even when the wait is over: a caller busy for a while is not a stall.
    const auto stall_at = last_data_ + std::chrono::milliseconds(options_.stall_timeout_ms);
    if (!WaitFor(fd_, POLLIN, std::min(deadline, stall_at))) {
      if (Clock::now() >= stall_at) {
        Lose("no data for " + IntervalText(options_.stall_timeout_ms));
        return ReadStatus::kGone;
      }
      if (Clock::now() >= deadline) return ReadStatus::kTimeout;
      continue;
    }
    const std::size_t want = std::min(kMaxRecv, max * 2 + std::min(drop_bytes_, kMaxRecv) + 1);
    const std::size_t old_size = pending_.size();
    pending_.resize(old_size + want);
    const ssize_t n = recv(fd_, pending_.data() + old_size, want, 0);
    pending_.resize(old_size + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (n == 0) {
      Lose("the server closed");
      return ReadStatus::kGone;
    }
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      Lose(std::strerror(errno));
      return ReadStatus::kGone;
    }
    last_data_ = Clock::now();
  }
}

}  // namespace receiver
