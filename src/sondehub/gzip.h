#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

// `data` as one gzip member (RFC 1952), as SondeHub reads a Content-Encoding: gzip body.
std::optional<std::string> Gzip(std::string_view data);

}  // namespace nimbrix
