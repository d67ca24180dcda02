#include "config/config_text.h"

#include <cmath>

#include "format/round_to.h"
#include "format/text_to_number.h"

namespace nimbrix {

namespace {
// Code page 437's small letters ä ö ü é ñ å ç and, at the same index, their capitals.
constexpr std::string_view kCp437Small = "\x84\x94\x81\x82\xA4\x86\x87";
constexpr std::string_view kCp437Capital = "\x8E\x99\x9A\x90\xA5\x8F\x80";
}  // namespace

std::string UpperCaseCp437(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (const std::size_t i = kCp437Small.find(c); i != std::string_view::npos) {
      c = kCp437Capital[i];
    }
  }
  return out;
}

int KeywordPosition(std::string_view key) {
  // A key longer than the keyword string cannot occur in it; skip copying a huge line.
  if (key.size() > kConfigKeywords.size()) return 0;
  const std::size_t at = kConfigKeywords.find(UpperCaseCp437(key));
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

std::string ConvertPasscode(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (char c : text) out += std::to_string(static_cast<int>(static_cast<unsigned char>(c)) - 64);
  return out;
}

bool PasscodeNeedsConversion(std::string_view pass) {
  // std::string_view compares through char_traits<char>, which orders bytes as unsigned and
  // puts a leading part before the longer text: "0000" < "00000", "999999" > "99999".
  return pass < std::string_view("00000") || pass > std::string_view("99999");
}

bool CallsignIsValid(std::string_view callsign) {
  if (callsign.size() < 4 || callsign.size() > 11) return false;
  std::string_view ssid;
  const std::size_t dash = callsign.find('-');
  if (dash != std::string_view::npos) {
    const std::size_t next = callsign.find('-', dash + 1);
    ssid = callsign.substr(dash + 1, next == std::string_view::npos ? next : next - dash - 1);
  }
  return !(TextToNumber(ssid) > 15);
}

}  // namespace nimbrix
