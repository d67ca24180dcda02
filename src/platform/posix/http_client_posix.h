#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace nimbrix {

// Bounds on one request, so that a slow or hostile server can neither stall start-up for long
// nor fill the memory. Tests shorten them.
struct HttpLimits {
  long connectTimeoutMs = 30'000;
  long totalTimeoutMs = 60'000;
  long maxRedirects = 10;
  std::size_t maxBodyBytes = std::size_t{64} << 20;
};

// GET over libcurl: certificates verified, only http and https (also after a redirect), the body
// returned whatever the HTTP status, as the Windows library does.
class CurlHttpClient : public HttpClient {
 public:
  explicit CurlHttpClient(HttpLimits limits = {});
  std::optional<std::string> Get(const std::string& url, const std::string& agent,
                                 const std::string& extraHeader) override;

 private:
  HttpLimits limits_;
};

}  // namespace nimbrix
