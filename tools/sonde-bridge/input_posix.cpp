// The bridge's input on Linux: file descriptors, read(2) and a UDP socket.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

#include "input.h"

namespace bridge {

namespace {

class FdStream : public GrowingFile {
 public:
  FdStream(int fd, bool owned, std::string path = {})
      : fd_(fd), owned_(owned), path_(std::move(path)) {}
  ~FdStream() override {
    if (owned_) close(fd_);
  }

  long Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = read(fd_, buffer, size);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -1;
    }
  }

  std::int64_t Size() override {
    struct stat s;
    return fstat(fd_, &s) == 0 ? static_cast<std::int64_t>(s.st_size) : -1;
  }

  bool Replaced() override {
    struct stat open, named;
    if (fstat(fd_, &open) != 0 || stat(path_.c_str(), &named) != 0) return false;
    return open.st_dev != named.st_dev || open.st_ino != named.st_ino;
  }

 private:
  int fd_;
  bool owned_;
  std::string path_;
};

class UdpSocket : public ByteStream {
 public:
  explicit UdpSocket(int fd) : fd_(fd) {}
  ~UdpSocket() override { close(fd_); }

  long Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = recv(fd_, buffer, size, 0);
      if (n >= 0) return static_cast<long>(n);
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

class PosixInput : public InputSystem {
 public:
  std::unique_ptr<ByteStream> StandardInput() override {
    return std::make_unique<FdStream>(STDIN_FILENO, false);
  }

  PathKind KindOf(const std::string& path) override {
    struct stat s;
    if (stat(path.c_str(), &s) != 0) return PathKind::kMissing;
    return S_ISREG(s.st_mode) ? PathKind::kRegularFile : PathKind::kPipe;
  }

  std::unique_ptr<GrowingFile> OpenFile(const std::string& path, std::string& error) override {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = std::strerror(errno);
      return nullptr;
    }
    return std::make_unique<FdStream>(fd, true, path);
  }

  std::unique_ptr<ByteStream> OpenPipe(const std::string& path, std::string& error) override {
    int fd;
    do {
      fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);  // waits for a writer
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      error = std::strerror(errno);
      return nullptr;
    }
    return std::make_unique<FdStream>(fd, true, path);
  }

  std::unique_ptr<ByteStream> BindUdp(const std::string& address, std::uint16_t port,
                                      std::string& error) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    const int r = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (r != 0) {
      error = address + " is not a numeric IPv4 or IPv6 address";
      return nullptr;
    }
    const int fd = socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool bound = fd >= 0 && bind(fd, found->ai_addr, found->ai_addrlen) == 0;
    const int cause = errno;
    freeaddrinfo(found);
    if (!bound) {
      error = std::strerror(cause);
      if (fd >= 0) close(fd);
      return nullptr;
    }
    return std::make_unique<UdpSocket>(fd);
  }

  void SleepMs(int ms) override {
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

std::unique_ptr<InputSystem> MakeInputSystem() {
  return std::make_unique<PosixInput>();
}

}  // namespace bridge
