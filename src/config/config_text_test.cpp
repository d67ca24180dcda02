#include "config/config_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "config/station_config.h"
#include "version/version.h"

namespace nimbrix {
namespace {

TEST(UpperCaseCp437, LettersAndCodePageLetters) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"n0call-9", "N0CALL-9"},
      {"azAZ09 -=#", "AZAZ09 -=#"},
      {"\x84\x94\x81\x82\xA4\x86\x87", "\x8E\x99\x9A\x90\xA5\x8F\x80"},
      // Capitals and the other high bytes stay; NUL is an ordinary byte.
      {"\x8E\x99\xE1\xFF", "\x8E\x99\xE1\xFF"},
      {std::string("a\0b", 3), std::string("A\0B", 3)},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(UpperCaseCp437(c.in), c.out) << c.in;
}

TEST(KeywordPosition, KeysAndTheirLeadingParts) {
  struct Case {
    std::string key;
    int position;
  } cases[] = {
      {"USER", kKeyUser},
      {"US", kKeyUser},
      {"", kKeyUser},
      {"USER ", kKeyUser},
      {"PASS", kKeyPass},
      {"QRG", kKeyQrg},
      {"PRESS", kKeyPressure0},
      {"PRESSURE", kKeyPressure0},
      {"pressure0", kKeyPressure0},
      {"ID", kKeyId},
      {"ID ", kKeyId},
      {"ALTITUDE ", kKeyAltitude},
      {"Frame", kKeyFrame},
      // Found, but inside another word: the caller ignores these positions.
      {"SER", 2},
      {"S", 2},
      {"USER PASS", 1},
      // Not found at all.
      {" USER", 0},
      {"FRAME ", 0},
      {"SERVERS", 0},
      {"PRESSURE1", 0},
      {std::string(100, 'U'), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(KeywordPosition(c.key), c.position) << '"' << c.key << '"';
}

TEST(Passcode, ConversionPerByte) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"", ""},          {"@", "0"},   {"ABCDEFGHIJ", "12345678910"},
      {"1", "-15"},      {"0", "-16"}, {"-", "-19"},
      {"abc", "333435"}, {"Z", "26"},  {std::string(1, '\0'), "-64"},
      {"\xFF", "191"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertPasscode(c.in), c.out) << c.in;
}

TEST(Passcode, ByteOrderAgainstTheDigitBounds) {
  struct Case {
    std::string pass;
    bool converted;
  } cases[] = {
      {"", true},       {"0", true},        {"0000", true},    {"/9999", true},  {"-12345", true},
      {"ABCDE", true},  {"999999", true},   {"\xC8", true},    {":", true},      {"00000", false},
      {"12345", false}, {"99999", false},   {"123456", false}, {"8ZZZZ", false}, {"1", false},
      {"9", false},     {"99998ZZ", false},
  };
  for (const Case& c : cases) EXPECT_EQ(PasscodeNeedsConversion(c.pass), c.converted) << c.pass;
}

TEST(Callsign, LengthAndSsid) {
  struct Case {
    std::string call;
    bool valid;
  } cases[] = {
      {"ABC", false},          {"ABCD", true},        {"DL1ABC-9", true},     {"DL1AB-16", false},
      {"DL1AB-15", true},      {"DL1AB-XY", true},    {"DL1ABCD-101", false}, {"DL1ABCD-10X", true},
      {"ABCDEFGHIJKL", false}, {"ABCDEFGHIJK", true}, {"AB-5-99", true},      {"AB-99-5", false},
      {"AB--99", true},        {"AB-15.5", false},    {"AB-1E1", true},       {"AB-1E2", false},
      {"AB- 16", false},       {"", false},           {" DL1ABC", true},      {"AB\n-16", false},
  };
  for (const Case& c : cases) EXPECT_EQ(CallsignIsValid(c.call), c.valid) << c.call;
}

TEST(LoginLine, ExactFormAndOneLineOnly) {
  EXPECT_EQ(BuildLoginLine("DL1ABC-9", "12345"), (std::string("user DL1ABC-9 pass 12345 vers ") +
                                                  kVersionText + " filter b/ZZZZZ/\r\n"));
  EXPECT_EQ(BuildLoginLine("", ""),
            (std::string("user  pass  vers ") + kVersionText + " filter b/ZZZZZ/\r\n"));
  EXPECT_EQ(BuildLoginLine(" AB", "1"),
            (std::string("user  AB pass 1 vers ") + kVersionText + " filter b/ZZZZZ/\r\n"));
  EXPECT_EQ(BuildLoginLine("AB\r\nCD", "1\nX\x1b"),
            (std::string("user ABCD pass 1X vers ") + kVersionText + " filter b/ZZZZZ/\r\n"));
}

}  // namespace
}  // namespace nimbrix
