// The system's HttpRequester on Windows: WinHTTP, synchronous, on the requester's worker.

// clang-format off
#include <windows.h>
#include <winhttp.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "platform/http_request.h"
#include "platform/http_worker.h"

namespace nimbrix {

namespace {

constexpr int kResolveTimeoutMs = 10000;
constexpr int kConnectTimeoutMs = 10000;

struct HandleCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(static_cast<HINTERNET>(handle)); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
  if (size > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  }
  return wide;
}

HttpAnswer Failed(HttpAnswer::Outcome outcome, std::string error) {
  HttpAnswer answer;
  answer.outcome = outcome;
  answer.error = std::move(error);
  return answer;
}

HttpAnswer SystemFailure(const char* step) {
  const DWORD code = GetLastError();
  const std::string text = std::string(step) + " failed (" + std::to_string(code) + ")";
  return Failed(code == ERROR_WINHTTP_TIMEOUT ? HttpAnswer::Outcome::kTimedOut
                                              : HttpAnswer::Outcome::kNoConnection,
                text);
}

HttpAnswer PerformWithWinHttp(const HttpRequest& request, const std::atomic<bool>& abandoned) {
  for (const std::string& header : request.headers) {
    if (header.find_first_of("\r\n") != std::string::npos) {
      return Failed(HttpAnswer::Outcome::kNoConnection, "header with a line break");
    }
  }
  std::wstring url = Wide(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return SystemFailure("address");
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.lpszExtraInfo) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

  // The session names the agent: a User-Agent among the extra headers would be sent twice.
  constexpr std::string_view kAgentHeader = "User-Agent: ";
  std::wstring agent = L"NIMBRIX";
  std::wstring headers;
  for (const std::string& header : request.headers) {
    if (header.compare(0, kAgentHeader.size(), kAgentHeader) == 0) {
      agent = Wide(header.substr(kAgentHeader.size()));
    } else {
      headers += Wide(header) + L"\r\n";
    }
  }
  // The station talks straight to the API, like its APRS-IS link: no proxy.
  Handle session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                             WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return SystemFailure("session");
  const int total = request.timeoutMs > 0 ? request.timeoutMs : 1;
  WinHttpSetTimeouts(session.get(), std::min(kResolveTimeoutMs, total),
                     std::min(kConnectTimeoutMs, total), total, total);
  Handle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection) return SystemFailure("connect");
  const std::wstring method = Wide(request.method);
  Handle handle(WinHttpOpenRequest(connection.get(), method.c_str(), path.c_str(), nullptr,
                                   WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                   secure ? WINHTTP_FLAG_SECURE : 0));
  if (!handle) return SystemFailure("request");
  // No redirects for a PUT.
  DWORD redirects = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(handle.get(), WINHTTP_OPTION_REDIRECT_POLICY, &redirects, sizeof redirects);

  if (abandoned.load()) return Failed(HttpAnswer::Outcome::kNoConnection, "abandoned");
  if (!WinHttpSendRequest(
          handle.get(), headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
          headers.empty() ? 0 : static_cast<DWORD>(-1L), const_cast<char*>(request.body.data()),
          static_cast<DWORD>(request.body.size()), static_cast<DWORD>(request.body.size()), 0)) {
    return SystemFailure("send");
  }
  if (!WinHttpReceiveResponse(handle.get(), nullptr)) return SystemFailure("answer");

  HttpAnswer answer;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(handle.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return SystemFailure("status");
  }
  char chunk[4096];
  for (;;) {
    if (abandoned.load()) break;
    DWORD got = 0;
    if (!WinHttpReadData(handle.get(), chunk, sizeof chunk, &got)) return SystemFailure("read");
    if (got == 0) break;
    // A longer answer is cut, not failed: its status is what counts.
    if (answer.body.size() < kMaxAnswerBytes) {
      answer.body.append(chunk, std::min<std::size_t>(got, kMaxAnswerBytes - answer.body.size()));
    }
  }
  answer.outcome = HttpAnswer::Outcome::kAnswered;
  answer.status = static_cast<int>(status);
  return answer;
}

}  // namespace

std::unique_ptr<HttpRequester> MakeSystemHttpRequester() {
  return std::make_unique<WorkerHttpRequester>(&PerformWithWinHttp);
}

}  // namespace nimbrix
