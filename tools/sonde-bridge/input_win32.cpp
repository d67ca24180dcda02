// The bridge's input on Windows: file handles, ReadFile and a Winsock UDP socket.

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <string>
#include <utility>

#include "input.h"

namespace bridge {

namespace {

std::string LastErrorText(DWORD code) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "error " + std::to_string(code) : message;
}

HANDLE OpenForReading(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

class HandleStream : public GrowingFile {
 public:
  HandleStream(HANDLE handle, bool owned, std::string path = {})
      : handle_(handle), owned_(owned), path_(std::move(path)) {}
  ~HandleStream() override {
    if (owned_) CloseHandle(handle_);
  }

  long Read(char* buffer, std::size_t size) override {
    DWORD got = 0;
    if (ReadFile(handle_, buffer, static_cast<DWORD>(size), &got, nullptr)) {
      return static_cast<long>(got);
    }
    const DWORD e = GetLastError();
    return e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF ? 0 : -1;
  }

  std::int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(handle_, &size) ? static_cast<std::int64_t>(size.QuadPart) : -1;
  }

  bool Replaced() override {
    HANDLE named = OpenForReading(path_);
    if (named == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION a, b;
    const bool known =
        GetFileInformationByHandle(handle_, &a) && GetFileInformationByHandle(named, &b);
    CloseHandle(named);
    return known && (a.dwVolumeSerialNumber != b.dwVolumeSerialNumber ||
                     a.nFileIndexHigh != b.nFileIndexHigh || a.nFileIndexLow != b.nFileIndexLow);
  }

 private:
  HANDLE handle_;
  bool owned_;
  std::string path_;
};

class UdpSocket : public ByteStream {
 public:
  explicit UdpSocket(SOCKET s) : socket_(s) {}
  ~UdpSocket() override { closesocket(socket_); }

  long Read(char* buffer, std::size_t size) override {
    const int n = recv(socket_, buffer, static_cast<int>(size), 0);
    if (n >= 0) return n;
    // A datagram larger than the buffer is cut; what arrived is still read.
    return WSAGetLastError() == WSAEMSGSIZE ? static_cast<long>(size) : -1;
  }

 private:
  SOCKET socket_;
};

class Win32Input : public InputSystem {
 public:
  std::unique_ptr<ByteStream> StandardInput() override {
    return std::make_unique<HandleStream>(GetStdHandle(STD_INPUT_HANDLE), false);
  }

  // Windows has no FIFOs of the POSIX kind: everything that exists is read as a file.
  PathKind KindOf(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES ? PathKind::kMissing
                                                                       : PathKind::kRegularFile;
  }

  std::unique_ptr<GrowingFile> OpenFile(const std::string& path, std::string& error) override {
    HANDLE h = OpenForReading(path);
    if (h == INVALID_HANDLE_VALUE) {
      error = LastErrorText(GetLastError());
      return nullptr;
    }
    return std::make_unique<HandleStream>(h, true, path);
  }

  std::unique_ptr<ByteStream> OpenPipe(const std::string& path, std::string& error) override {
    return OpenFile(path, error);
  }

  std::unique_ptr<ByteStream> BindUdp(const std::string& address, std::uint16_t port,
                                      std::string& error) override {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      error = "Winsock does not start";
      return nullptr;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
      error = address + " is not a numeric IPv4 or IPv6 address";
      return nullptr;
    }
    const SOCKET s = socket(found->ai_family, SOCK_DGRAM, 0);
    const bool bound =
        s != INVALID_SOCKET && bind(s, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0;
    const int cause = WSAGetLastError();
    freeaddrinfo(found);
    if (!bound) {
      error = LastErrorText(static_cast<DWORD>(cause));
      if (s != INVALID_SOCKET) closesocket(s);
      return nullptr;
    }
    return std::make_unique<UdpSocket>(s);
  }

  void SleepMs(int ms) override { Sleep(static_cast<DWORD>(ms)); }
};

}  // namespace

std::unique_ptr<InputSystem> MakeInputSystem() {
  return std::make_unique<Win32Input>();
}

}  // namespace bridge
