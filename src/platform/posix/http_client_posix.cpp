#include "platform/posix/http_client_posix.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

#include "platform/system.h"

namespace nimbrix {

namespace {

// Bodies are small; one reservation covers every ordinary reply.
constexpr std::size_t kInitialReserve = std::size_t{1} << 20;

struct Download {
  std::string body;
  std::size_t limit = 0;
  bool tooLarge = false;
};

std::size_t AppendChunk(char* data, std::size_t size, std::size_t count, void* user) {
  auto* download = static_cast<Download*>(user);
  const std::size_t bytes = size * count;
  if (bytes > download->limit - download->body.size()) {
    download->tooLarge = true;
    return 0;  // anything other than `bytes` makes curl abort the transfer
  }
  download->body.append(data, bytes);
  return bytes;
}

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

void InitCurlOnce() {
  // curl_global_init is not thread-safe; a function-local static runs it exactly once.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

CurlHttpClient::CurlHttpClient(HttpLimits limits) : limits_(limits) {
  InitCurlOnce();
}

std::optional<std::string> CurlHttpClient::Get(const std::string& url, const std::string& agent,
                                               const std::string& extraHeader) {
  // A line break here would add header lines of the caller's choosing to the request.
  if (HasLineBreak(agent) || HasLineBreak(extraHeader)) return std::nullopt;

  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) return std::nullopt;
  std::unique_ptr<curl_slist, ListDeleter> headers;
  if (!extraHeader.empty()) {
    headers.reset(curl_slist_append(nullptr, extraHeader.c_str()));
    if (!headers) return std::nullopt;
  }

  Download download;
  download.limit = limits_.maxBodyBytes;
  download.body.reserve(std::min(kInitialReserve, limits_.maxBodyBytes));

  CURL* h = curl.get();
  bool ok = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_USERAGENT, agent.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_MAXREDIRS, limits_.maxRedirects) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // No SIGALRM for name resolution time-outs: the console owns the process's signals.
  ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limits_.connectTimeoutMs) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limits_.totalTimeoutMs) == CURLE_OK;
  // Refuse an announced oversize body before reading it; chunked bodies hit AppendChunk's cap.
  ok = ok && curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                              static_cast<curl_off_t>(limits_.maxBodyBytes)) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &AppendChunk) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &download) == CURLE_OK;
  if (!ok) return std::nullopt;

  // An HTTP error status is no failure: its body is the answer, as on Windows.
  if (curl_easy_perform(h) != CURLE_OK || download.tooLarge) return std::nullopt;
  return std::move(download.body);
}

std::unique_ptr<HttpClient> MakeSystemHttpClient() {
  return std::make_unique<CurlHttpClient>();
}

}  // namespace nimbrix
