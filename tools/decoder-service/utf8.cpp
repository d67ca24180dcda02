#include "decoder-service/utf8.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace decoder {

namespace {

// The length of the well-formed sequence at bytes[i] and its code point; length 0 if none.
struct CodePoint {
  std::size_t length = 0;
  std::uint32_t value = 0;
};

CodePoint DecodeAt(std::string_view bytes, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(bytes[i]);
  std::size_t length = 0;
  std::uint32_t cp = 0;
  std::uint32_t min = 0;
  if (b0 < 0x80) return {1, b0};
  if (b0 >= 0xC2 && b0 < 0xE0) {
    length = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if (b0 >= 0xE0 && b0 < 0xF0) {
    length = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if (b0 >= 0xF0 && b0 < 0xF5) {
    length = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return {};
  }
  if (i + length > bytes.size()) return {};
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(bytes[i + k]);
    if ((b & 0xC0) != 0x80) return {};
    cp = (cp << 6) | (b & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not UTF-8.
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
  return {length, cp};
}

// Code points D-Bus refuses although they are well-formed: NUL and the non-characters.
bool RefusedByDbus(std::uint32_t cp) {
  return cp == 0 || (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    // Plain ASCII, eight bytes at a time: the common case of decoder output.
    std::uint64_t word;
    if (i + sizeof word <= bytes.size()) {
      std::memcpy(&word, bytes.data() + i, sizeof word);
      if ((word & 0x8080808080808080u) == 0) {
        i += sizeof word;
        continue;
      }
    }
    const CodePoint c = DecodeAt(bytes, i);
    if (c.length == 0) return false;
    i += c.length;
  }
  return true;
}

std::string RepairUtf8(std::string_view bytes) {
  static const char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const CodePoint c = DecodeAt(bytes, i);
    if (c.length > 0 && !RefusedByDbus(c.value)) {
      out.append(bytes.substr(i, c.length));
      i += c.length;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

}  // namespace decoder
