#include "format/safe_text.h"

namespace nimbrix {

namespace {
bool IsControl(unsigned char c) { return c < 32 || c == 127; }
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
  std::string out(text);
  for (char& c : out) {
    if (IsControl(static_cast<unsigned char>(c))) c = '?';
  }
  return out;
}

}  // namespace nimbrix
