#pragma once

#include <optional>
#include <string>

namespace nimbrix {

// A plain GET that returns the whole body, or nothing on any failure.
class HttpClient {
 public:
  virtual ~HttpClient() = default;
  virtual std::optional<std::string> Get(const std::string& url, const std::string& agent,
                                         const std::string& extraHeader) = 0;
};

}  // namespace nimbrix
