// The system's HttpRequester on Linux: libcurl's easy interface on the requester's worker.

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/http_request.h"
#include "platform/http_worker.h"

namespace nimbrix {

namespace {

constexpr long kConnectTimeoutMs = 10000;

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t KeepAnswer(char* data, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<std::string*>(user);
  const std::size_t bytes = size * count;
  // A longer answer is cut, not failed: its status is what counts.
  body->append(data, std::min(bytes, kMaxAnswerBytes - std::min(kMaxAnswerBytes, body->size())));
  return bytes;
}

int CheckAbandoned(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(user)->load() ? 1 : 0;
}

HttpAnswer Failed(HttpAnswer::Outcome outcome, std::string error) {
  HttpAnswer answer;
  answer.outcome = outcome;
  answer.error = std::move(error);
  return answer;
}

HttpAnswer PerformWithCurl(const HttpRequest& request, const std::atomic<bool>& abandoned) {
  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) return Failed(HttpAnswer::Outcome::kNoConnection, "no curl handle");
  std::unique_ptr<curl_slist, ListDeleter> headers;
  for (const std::string& header : request.headers) {
    // A line break would add header lines of its own.
    if (header.find_first_of("\r\n") != std::string::npos) {
      return Failed(HttpAnswer::Outcome::kNoConnection, "header with a line break");
    }
    curl_slist* more = curl_slist_append(headers.get(), header.c_str());
    if (!more) return Failed(HttpAnswer::Outcome::kNoConnection, "out of memory");
    (void)headers.release();
    headers.reset(more);
  }

  HttpAnswer answer;
  char errorText[CURL_ERROR_SIZE] = {};
  CURL* h = curl.get();
  const long timeoutMs = std::max(1, request.timeoutMs);
  bool ok = curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                              static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  // Straight to the API, like the APRS-IS link: no proxy taken from the environment.
  ok = ok && curl_easy_setopt(h, CURLOPT_PROXY, "") == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // No SIGALRM for name resolution time-outs: the console owns the process's signals.
  ok = ok && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                              std::min(kConnectTimeoutMs, timeoutMs)) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &KeepAnswer) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_WRITEDATA, &answer.body) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CheckAbandoned) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_XFERINFODATA, &abandoned) == CURLE_OK;
  ok = ok && curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
  if (!ok) return Failed(HttpAnswer::Outcome::kNoConnection, "request not possible");

  const CURLcode code = curl_easy_perform(h);
  if (code == CURLE_OK) {
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    answer.outcome = HttpAnswer::Outcome::kAnswered;
    answer.status = static_cast<int>(status);
    return answer;
  }
  const std::string error = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
  return Failed(code == CURLE_OPERATION_TIMEDOUT ? HttpAnswer::Outcome::kTimedOut
                                                 : HttpAnswer::Outcome::kNoConnection,
                error);
}

}  // namespace

std::unique_ptr<HttpRequester> MakeSystemHttpRequester() {
  // Not thread-safe everywhere: done here, on the main thread, before any worker runs.
  static const CURLcode init = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)init;
  return std::make_unique<WorkerHttpRequester>(&PerformWithCurl);
}

}  // namespace nimbrix
