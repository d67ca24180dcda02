#include "script.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <type_traits>

namespace sondesim {

namespace {

constexpr size_t kMaxText = 16u << 20;  // well inside D-Bus's 128 MiB message limit

struct VtName {
  const char* name;
  std::uint16_t vt;
};
constexpr VtName kVtNames[] = {
    {"EMPTY", VT_EMPTY}, {"NULL", VT_NULL}, {"I2", VT_I2},     {"I4", VT_I4},     {"R4", VT_R4},
    {"R8", VT_R8},       {"CY", VT_CY},     {"DATE", VT_DATE}, {"BSTR", VT_BSTR}, {"BOOL", VT_BOOL},
    {"I1", VT_I1},       {"UI1", VT_UI1},   {"UI2", VT_UI2},   {"UI4", VT_UI4},   {"I8", VT_I8},
    {"UI8", VT_UI8},     {"INT", VT_INT},   {"UINT", VT_UINT},
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

template <typename T>
bool ParseInteger(std::string_view s, T& out) {
  int base = 10;
  bool negative = !s.empty() && s[0] == '-';
  std::string_view digits = negative ? s.substr(1) : s;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  if (negative && !std::is_signed_v<T>) return false;
  // Read as a magnitude and a sign: the most negative value of a signed width has a magnitude
  // one above its largest value, which still fits 64 unsigned bits.
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
  if (ec != std::errc() || end != digits.data() + digits.size()) return false;
  const auto largest = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
  if (magnitude > largest + (negative ? 1 : 0)) return false;
  // Unsigned negation is modular, and so (since C++20) is the conversion to a signed type:
  // 2^64 - m becomes -m exactly, for every m up to 2^63.
  out = negative ? static_cast<T>(static_cast<std::int64_t>(0 - magnitude))
                 : static_cast<T>(magnitude);
  return true;
}

bool ParseValue(const std::string& type, std::string_view text, Answer& a, std::string& error) {
  auto bad = [&](const char* what) {
    error = std::string("not ") + what + ": \"" + std::string(text) + "\"";
    return false;
  };
  if (type == "s" || type == "ay") {
    std::string bytes;
    if (!UnescapeText(text, bytes, error)) return false;
    a.value = type == "s" ? RepairUtf8(bytes) : std::move(bytes);
    return true;
  }
  if (type == "d") {
    std::string s(text);
    char* end = nullptr;
    double d = s.empty() ? 0 : std::strtod(s.c_str(), &end);
    if (s.empty() || end != s.c_str() + s.size()) return bad("a number");
    a.value = d;
    return true;
  }
  if (type == "b") {
    const std::string u = Upper(text);
    if (u == "TRUE" || u == "1")
      a.value = true;
    else if (u == "FALSE" || u == "0")
      a.value = false;
    else
      return bad("a boolean");
    return true;
  }
  std::int64_t i = 0;
  std::uint64_t u = 0;
  bool ok = false;
  switch (type[0]) {
    case 'n': {
      std::int16_t v = 0;
      ok = ParseInteger(text, v);
      i = v;
      break;
    }
    case 'i': {
      std::int32_t v = 0;
      ok = ParseInteger(text, v);
      i = v;
      break;
    }
    case 'x': {
      ok = ParseInteger(text, i);
      break;
    }
    case 'y': {
      std::uint8_t v = 0;
      ok = ParseInteger(text, v);
      u = v;
      break;
    }
    case 'q': {
      std::uint16_t v = 0;
      ok = ParseInteger(text, v);
      u = v;
      break;
    }
    case 'u': {
      std::uint32_t v = 0;
      ok = ParseInteger(text, v);
      u = v;
      break;
    }
    case 't': {
      ok = ParseInteger(text, u);
      break;
    }
    default:
      break;
  }
  if (!ok) return bad(("an integer of D-Bus type " + type).c_str());
  if (type == "n" || type == "i" || type == "x")
    a.value = i;
  else
    a.value = u;
  return true;
}

bool ValidErrorName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  int elements = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t dot = name.find('.', start);
    std::string_view e = name.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (e.empty() || std::isdigit(static_cast<unsigned char>(e[0]))) return false;
    for (char c : e) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    ++elements;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return elements >= 2;
}

bool ParseLine(std::string_view line, Script& script, std::string& error) {
  auto word = [&line]() {
    while (!line.empty() && line[0] == ' ') line.remove_prefix(1);
    size_t end = line.find(' ');
    std::string_view w = line.substr(0, end);
    line = end == std::string_view::npos ? std::string_view() : line.substr(end);
    return w;
  };
  // The value is everything after the one blank that ends the type word.
  auto rest = [&line]() { return line.empty() ? line : line.substr(1); };

  std::string_view itemWord = word();
  std::int16_t item = 0;
  if (!ParseInteger(itemWord, item)) {
    error = "item \"" + std::string(itemWord) + "\" is not a 16-bit number";
    return false;
  }
  const std::string kind = Upper(word());
  Answer a;
  if (kind == "NOREPLY") {
    a.kind = Answer::Kind::kNoReply;
  } else if (kind == "ERROR") {
    a.kind = Answer::Kind::kError;
    a.errorName = std::string(word());
    if (!ValidErrorName(a.errorName)) {
      error = "\"" + a.errorName + "\" is not a D-Bus error name";
      return false;
    }
    std::string message;
    if (!UnescapeText(rest(), message, error)) return false;
    a.errorText = RepairUtf8(message);
  } else {
    const size_t colon = kind.find(':');
    std::string vtName = kind.substr(0, colon);
    if (vtName.rfind("VT_", 0) == 0) vtName.erase(0, 3);
    bool known = false;
    for (const auto& n : kVtNames) {
      if (vtName == n.name) {
        a.vt = n.vt;
        known = true;
      }
    }
    if (!known && !ParseInteger(vtName, a.vt)) {
      error = "\"" + vtName + "\" is not a VARTYPE";
      return false;
    }
    if (colon != std::string::npos) {
      std::string t = kind.substr(colon + 1);
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      static const char* const kTypes[] = {"n", "y", "q", "i", "u", "x", "t", "d", "b", "s", "ay"};
      bool valid = false;
      for (const char* k : kTypes) valid = valid || t == k;
      if (!valid) {
        error = "\"" + t + "\" is not a D-Bus type this script can send";
        return false;
      }
      a.dbusType = t;
    } else {
      a.dbusType = DbusTypeOf(a.vt);
      if (a.dbusType.empty()) {
        error = "VARTYPE " + vtName + " has no D-Bus type: write it as " + vtName + ":<type>";
        return false;
      }
    }
    if (!ParseValue(a.dbusType, rest(), a, error)) return false;
  }
  script.items[item] = std::move(a);
  return true;
}

}  // namespace

bool UnescapeText(std::string_view text, std::string& out, std::string& error) {
  std::string s;
  size_t repeat = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '*') {
      std::string_view count = text.substr(i + 1);
      if (!count.empty() && count.find_first_not_of("0123456789") == std::string_view::npos) {
        auto [end, ec] = std::from_chars(count.data(), count.data() + count.size(), repeat);
        if (ec != std::errc()) repeat = kMaxText + 1;
        break;
      }
      s += c;
      continue;
    }
    if (c != '\\') {
      s += c;
      continue;
    }
    if (++i == text.size()) {
      error = "a backslash ends the text";
      return false;
    }
    switch (text[i]) {
      case '\\':
        s += '\\';
        break;
      case '*':
        s += '*';
        break;
      case 'r':
        s += '\r';
        break;
      case 'n':
        s += '\n';
        break;
      case 't':
        s += '\t';
        break;
      case 'e':
        s += '\x1b';
        break;
      case 'x': {
        unsigned v = 0;
        auto hex = text.substr(i + 1, 2);
        auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
        if (hex.size() != 2 || ec != std::errc() || end != hex.data() + 2) {
          error = "\\x needs two hex digits";
          return false;
        }
        s += static_cast<char>(v);
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + text[i];
        return false;
    }
  }
  if (repeat != 0 && s.size() > kMaxText / repeat) {
    error = "text longer than 16 MiB";
    return false;
  }
  out.clear();
  out.reserve(s.size() * repeat);
  for (size_t k = 0; k < repeat; ++k) out += s;
  return true;
}

bool ParseScript(std::string_view text, Script& script, std::string& error) {
  Script parsed;
  size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    std::string why;
    if (!ParseLine(line.substr(first), parsed, why)) {
      error = "line " + std::to_string(lineNo) + ": " + why;
      return false;
    }
  }
  script = std::move(parsed);
  return true;
}

}  // namespace sondesim
