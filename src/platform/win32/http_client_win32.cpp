#include "platform/win32/http_client_win32.h"

// clang-format off
#include <windows.h>
#include <wininet.h>
// clang-format on

#include <memory>

#include "platform/system.h"

namespace nimbrix {

namespace {

constexpr DWORD kReadChunk = 4096;
constexpr std::size_t kFirstBuffer = std::size_t{1} << 20;
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
static_assert(kRequestFlags == 0x84000100);

struct HandleCloser {
  void operator()(void* handle) const { InternetCloseHandle(static_cast<HINTERNET>(handle)); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Control bytes would let the text add request lines of its own.
bool HasControlByte(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

void SetTimeout(HINTERNET handle, DWORD option, unsigned long milliseconds) {
  DWORD value = milliseconds;
  InternetSetOptionA(handle, option, &value, sizeof value);
}

}  // namespace

WinInetHttpClient::WinInetHttpClient(WinInetLimits limits) : limits_(limits) {}

std::optional<std::string> WinInetHttpClient::Get(const std::string& url, const std::string& agent,
                                                  const std::string& extraHeader) {
  if (HasControlByte(url) || HasControlByte(agent) || HasControlByte(extraHeader)) {
    return std::nullopt;
  }
  // The request handle is declared last so that it is closed first.
  Handle internet(InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!internet) return std::nullopt;
  SetTimeout(internet.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits_.connectTimeoutMs);
  SetTimeout(internet.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits_.receiveTimeoutMs);
  SetTimeout(internet.get(), INTERNET_OPTION_SEND_TIMEOUT, limits_.receiveTimeoutMs);

  Handle request(InternetOpenUrlA(internet.get(), url.c_str(),
                                  extraHeader.empty() ? nullptr : extraHeader.c_str(),
                                  static_cast<DWORD>(extraHeader.size()), kRequestFlags, 0));
  if (!request) return std::nullopt;

  // The body buffer starts at 1 MiB on the first chunk and doubles when the next would not fit.
  std::string body;
  std::size_t length = 0;
  char chunk[kReadChunk];
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.get(), chunk, kReadChunk, &got)) return std::nullopt;
    if (got == 0) break;
    if (got > kReadChunk || got > limits_.maxBodyBytes - length) return std::nullopt;
    if (length + got > body.size()) {
      std::size_t size = body.empty() ? kFirstBuffer : body.size();
      while (size < length + got) size *= 2;
      body.resize(size);
    }
    body.replace(length, got, chunk, got);
    length += got;
  }
  body.resize(length);
  return body;
}

std::unique_ptr<HttpClient> MakeSystemHttpClient() {
  return std::make_unique<WinInetHttpClient>();
}

}  // namespace nimbrix
