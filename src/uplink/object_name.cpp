#include "uplink/object_name.h"

#include <algorithm>

namespace nimbrix {

namespace {

constexpr std::size_t kMaxNameLength = 9;

bool IsLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool AllOf(std::string_view text, bool (*test)(char)) {
  return std::all_of(text.begin(), text.end(), test);
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

std::optional<std::string> ObjectNameOf(std::string_view serial, std::string_view typeOrAprsName) {
  const std::string upper = UpperCase(serial);
  const std::string_view s = upper;

  if (StartsWith(s, "DFM-")) {
    const std::string_view digits = s.substr(4);
    if (digits.empty() || digits.size() > kMaxNameLength - 1 || !AllOf(digits, IsDigit)) {
      return std::nullopt;  // the decoder's placeholder "DFM-xxxxxxxx" among them
    }
    // Appended, not "D" + std::string: g++ 12 -O3 warns falsely (-Wrestrict) on that form.
    std::string name = "D";
    name.append(digits);
    return name;
  }
  if (StartsWith(s, "M10-") || StartsWith(s, "M20-")) {
    if (typeOrAprsName.size() != kMaxNameLength || !AllOf(typeOrAprsName, IsLetterOrDigit))
      return std::nullopt;
    return UpperCase(typeOrAprsName);
  }
  if (s.size() < 3 || s.size() > kMaxNameLength || !AllOf(s, IsLetterOrDigit)) return std::nullopt;
  return upper;
}

}  // namespace nimbrix
