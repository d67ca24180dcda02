#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/http_client.h"

namespace nimbrix {

// Bounds on one request, so that a slow or hostile server can neither stall start-up for long
// nor fill the memory. Tests shorten them.
struct WinInetLimits {
  unsigned long connectTimeoutMs = 30'000;
  unsigned long receiveTimeoutMs = 60'000;
  std::size_t maxBodyBytes = std::size_t{64} << 20;
};

// GET over WinINet: always from the server, never into the cache; the body is returned whatever
// the HTTP status.
class WinInetHttpClient : public HttpClient {
 public:
  explicit WinInetHttpClient(WinInetLimits limits = {});
  std::optional<std::string> Get(const std::string& url, const std::string& agent,
                                 const std::string& extraHeader) override;

 private:
  WinInetLimits limits_;
};

}  // namespace nimbrix
