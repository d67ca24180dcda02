#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "uplink/tcp_client.h"

namespace nimbrix {

// What a TCP client keeps of the server's text until it is taken: the oldest bytes, at most
// kKeptIncomingBytes of them, so a chatty server cannot make the station's memory grow.
class IncomingText {
 public:
  void Keep(std::string_view bytes) {
    const std::size_t room = kKeptIncomingBytes - text_.size();
    text_.append(bytes.substr(0, room));
  }
  std::string Take() { return std::exchange(text_, std::string()); }
  void Clear() { text_.clear(); }

 private:
  std::string text_;
};

}  // namespace nimbrix
