#include "line_splitter.h"

#include <cstring>

namespace bridge {

void LineSplitter::Emit(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.size() > kMaxLineBytes) {
    sink_.OnTooLong();
  } else if (!line.empty()) {
    sink_.OnLine(line);
  }
}

void LineSplitter::Feed(std::string_view bytes) {
  while (!bytes.empty()) {
    const void* found = std::memchr(bytes.data(), '\n', bytes.size());
    if (found == nullptr) {
      // No line end yet: keep the start, unless the line is already too long.
      if (!discarding_ && pending_.size() + bytes.size() > kMaxLineBytes + 1) {
        discarding_ = true;
        pending_.clear();
      }
      if (!discarding_) pending_.append(bytes);
      return;
    }
    const auto length = static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
    const std::string_view piece = bytes.substr(0, length);
    bytes.remove_prefix(length + 1);
    if (discarding_) {
      discarding_ = false;
      sink_.OnTooLong();
    } else if (pending_.empty()) {
      Emit(piece);  // the common case: a whole line within one read, not copied
    } else if (pending_.size() + piece.size() > kMaxLineBytes + 1) {
      pending_.clear();
      sink_.OnTooLong();
    } else {
      pending_.append(piece);
      Emit(pending_);
      pending_.clear();
    }
  }
}

void LineSplitter::Finish() {
  if (discarding_) {
    discarding_ = false;
    sink_.OnTooLong();
  } else if (!pending_.empty()) {
    Emit(pending_);
  }
  pending_.clear();
}

}  // namespace bridge
