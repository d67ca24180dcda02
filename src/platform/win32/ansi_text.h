#pragma once

// Texts of the program are bytes in the system's ANSI code page; Windows APIs take UTF-16.
// (The decoder side, whose texts are UTF-8, names that code page instead.)

#include <windows.h>

#include <string>
#include <string_view>

namespace nimbrix {

inline std::wstring Widen(std::string_view text, UINT codePage = CP_ACP) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

}  // namespace nimbrix
