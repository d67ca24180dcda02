#include "format/safe_text.h"

namespace nimbrix {

namespace {
bool IsControl(unsigned char c) {
  return c < 32 || c == 127;
}

// U+0080..U+009F in UTF-8: a terminal in UTF-8 mode takes U+009B as CSI and U+009D as OSC,
// just like ESC [ and ESC ].
bool IsUtf8C1(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xC2 &&
         static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
         static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}
}  // namespace

std::string StripControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (!IsControl(c)) out += static_cast<char>(c);
  }
  return out;
}

std::string MaskControlBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsUtf8C1(text, i)) {
      out += '?';
      ++i;
    } else {
      out += IsControl(static_cast<unsigned char>(text[i])) ? '?' : text[i];
    }
  }
  return out;
}

}  // namespace nimbrix
