#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbrix {

// The keys of NIMBRIX.INI as one string: a key is looked up as a substring of it, so a
// leading part of a keyword ("US", "PRESS") works, while a part of another word ("SER") lands
// on the wrong position and is ignored.
inline constexpr std::string_view kConfigKeywords =
    "USER PASS STATUS SERVER QRG PRESSURE0 ID SYMBOL ALTITUDE FRAME";

// Where each setting's keyword starts in kConfigKeywords, counted from 1.
enum KeywordPositionOf : int {
  kKeyUser = 1,
  kKeyPass = 6,
  kKeyStatus = 11,
  kKeyServer = 18,
  kKeyQrg = 25,
  kKeyPressure0 = 29,
  kKeyId = 39,
  kKeySymbol = 42,
  kKeyAltitude = 49,
  kKeyFrame = 58,
};

// a..z and the code page 437 letters ä ö ü é ñ å ç to their capitals; other bytes unchanged.
std::string UpperCaseCp437(std::string_view text);

// Position (from 1) of the upper-cased key's first occurrence in kConfigKeywords; 0 when it
// does not occur. An empty key occurs at position 1.
int KeywordPosition(std::string_view key);

// Each byte becomes the decimal text of (byte - 64): "A" gives "1", "J" "10", "1" "-15".
std::string ConvertPasscode(std::string_view text);

// The keyword format keeps a passcode that sorts (byte by byte) from "00000" to "99999" and
// converts anything else.
bool PasscodeNeedsConversion(std::string_view pass);

// Length 4 to 11, and the SSID (text between the first "-" and the next) reads as at most 15.
bool CallsignIsValid(std::string_view callsign);

}  // namespace nimbrix
