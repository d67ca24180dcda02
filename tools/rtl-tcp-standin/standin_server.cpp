#include "standin_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace standin {

using receiver::RtlTcpCommand;
using receiver::RtlTcpCommandMessage;

void CommandStream::Push(std::span<const std::uint8_t> bytes) {
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

std::optional<RtlTcpCommandMessage> CommandStream::Next() {
  if (buffer_.size() < receiver::kRtlTcpCommandSize) return std::nullopt;
  auto command =
      receiver::ParseRtlTcpCommand(std::span(buffer_).first(receiver::kRtlTcpCommandSize));
  buffer_.erase(buffer_.begin(), buffer_.begin() + receiver::kRtlTcpCommandSize);
  return command;
}

bool ApplyCommand(const RtlTcpCommandMessage& command, DongleState& dongle) {
  const std::uint32_t p = command.param;
  switch (static_cast<RtlTcpCommand>(command.command)) {
    case RtlTcpCommand::kFrequency:
      if (p < 24000000 || p > 1766000000) return false;  // outside an R820T's range
      dongle.tuning.center_hz = p;
      return true;
    case RtlTcpCommand::kSampleRate:
      // librtlsdr's accepted rates: 225001-300000 and 900001-3200000.
      if (!((p > 225000 && p <= 300000) || (p > 900000 && p <= 3200000))) return false;
      dongle.tuning.sample_rate = p;
      return true;
    case RtlTcpCommand::kFreqCorrection:
      dongle.correction_ppm = static_cast<std::int32_t>(p);
      break;
    case RtlTcpCommand::kGainMode:
      dongle.manual_gain = p != 0;
      return true;
    case RtlTcpCommand::kGain:
      dongle.gain_tenths_db = static_cast<std::int32_t>(p);
      return true;
    case RtlTcpCommand::kBiasTee:
      dongle.bias_tee = p != 0;
      return true;
    case RtlTcpCommand::kAgcMode:
      return true;
    default:
      return false;
  }
  dongle.tuning.ppm_error = dongle.crystal_ppm - dongle.correction_ppm;
  return true;
}

StandinServer::StandinServer(BandScene& scene, ServerOptions options)
    : scene_(scene), options_(options) {}

StandinServer::~StandinServer() {
  if (listener_ >= 0) close(listener_);
}

bool StandinServer::Listen(std::string* error) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  const int one = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<std::uint16_t>(options_.port));
  socklen_t len = sizeof(addr);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) < 0 ||
      listen(listener_, 1) < 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
    if (error) *error = std::strerror(errno);
    close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(addr.sin_port);
  return true;
}

void StandinServer::Serve(const std::atomic<bool>& stop) {
  while (!stop && listener_ >= 0) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    sockaddr_in peer{};
    socklen_t len = sizeof(peer);
    const int fd =
        accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, host, sizeof(host));
    std::fprintf(stderr, "rtl-tcp-standin: client %s:%d connected%s\n", host, ntohs(peer.sin_port),
                 options_.bad_greeting ? " (sending a wrong greeting)" : "");
    ServeClient(fd, stop);
    close(fd);
  }
}

void StandinServer::ServeClient(int fd, const std::atomic<bool>& stop) {
  using Clock = std::chrono::steady_clock;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));

  std::vector<std::uint8_t> backlog;
  if (options_.bad_greeting) {
    const std::uint8_t wrong[receiver::kRtlTcpGreetingSize] = {'R', 'T', 'L', '1', 0, 0, 0, 5};
    backlog.assign(wrong, wrong + sizeof(wrong));
  } else {
    const auto greeting = receiver::EncodeRtlTcpGreeting(
        {static_cast<std::uint32_t>(receiver::RtlTuner::kR820t), 29});
    backlog.assign(greeting.begin(), greeting.end());
  }

  DongleState dongle;
  dongle.tuning.center_hz = options_.center_hz;
  dongle.tuning.sample_rate = options_.sample_rate;
  dongle.crystal_ppm = options_.crystal_ppm;
  dongle.tuning.ppm_error = options_.crystal_ppm;
  CommandStream commands;

  const auto start = Clock::now();
  auto rate_start = start;  // the pacing restarts when the rate changes
  double rate_samples = 0;  // samples made since rate_start
  std::vector<Sample> block(options_.block_samples);
  std::vector<std::uint8_t> bytes;

  while (!stop) {
    const auto now = Clock::now();
    const double elapsed = std::chrono::duration<double>(now - start).count();
    if (options_.close_after_s >= 0 && elapsed >= options_.close_after_s) return;
    const bool stalled = options_.stall_after_s >= 0 && elapsed >= options_.stall_after_s;
    const double rate = dongle.tuning.sample_rate;
    const double due =
        std::chrono::duration<double>(now - rate_start).count() * rate - rate_samples;
    const int wait_ms = std::clamp(
        static_cast<int>(std::ceil((static_cast<double>(block.size()) - due) / rate * 1000)), 1,
        20);

    pollfd p{fd, static_cast<short>(POLLIN | (backlog.empty() || stalled ? 0 : POLLOUT)), 0};
    if (poll(&p, 1, wait_ms) < 0 && errno != EINTR) return;
    if (p.revents & POLLIN) {
      std::uint8_t in[512];
      const ssize_t n = recv(fd, in, sizeof(in), 0);
      if (n == 0) return;  // the client went
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0) commands.Push(std::span(in, static_cast<std::size_t>(n)));
      while (auto command = commands.Next()) {
        const double old_rate = dongle.tuning.sample_rate;
        ApplyCommand(*command, dongle);
        if (dongle.tuning.sample_rate != old_rate) {
          rate_start = Clock::now();
          rate_samples = 0;
        }
      }
    }
    if (p.revents & (POLLERR | POLLHUP)) return;
    if (stalled) {
      backlog.clear();  // stops sending, keeps the socket
      continue;
    }

    const double now_due =
        std::chrono::duration<double>(Clock::now() - rate_start).count() * rate - rate_samples;
    if (now_due > rate) {
      // Far behind (the machine was busy): skip ahead rather than burst.
      const double skipped = std::floor(now_due / static_cast<double>(block.size())) *
                             static_cast<double>(block.size());
      rate_samples += skipped;
      scene_time_ += skipped / rate;
    } else if (now_due >= static_cast<double>(block.size())) {
      scene_.Render(dongle.tuning, scene_time_, block);
      QuantiseU8(block, kDongleDc, bytes);
      rate_samples += static_cast<double>(block.size());
      scene_time_ += static_cast<double>(block.size()) / rate;
      // A client that does not keep up loses blocks, as with rtl_tcp's bounded queue.
      if (backlog.size() < static_cast<std::size_t>(2 * rate)) {
        backlog.insert(backlog.end(), bytes.begin(), bytes.end());
      }
    }

    while (!backlog.empty()) {
      const ssize_t n = send(fd, backlog.data(), backlog.size(), MSG_NOSIGNAL);
      if (n > 0) {
        backlog.erase(backlog.begin(), backlog.begin() + n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        break;
      } else {
        return;
      }
    }
  }
}

}  // namespace standin
