#pragma once

// Scripted answers: a text file that fixes, per item, exactly what the decoder sends, wrong types
// and hostile texts included. One line per item:
//
//   <item> <vartype>[:<dbus type>] [<value>]
//   <item> error <error name> [<message>]
//   <item> noreply
//
// <item> is the index asked for (any 16-bit number). <vartype> is a VARTYPE name (R8, VT_R8,
// BSTR, EMPTY, ...) or number; the value travels as the D-Bus type of that VARTYPE unless
// ":<dbus type>" (n y q i u x t d b s ay) names another. The value is the rest of the line
// after one blank: integers in decimal or 0x hex, doubles as strtod reads them (nan, inf too),
// booleans true/false/1/0; texts with the escapes \\ \r \n \t \e (ESC) \xNN and \* (a star),
// and an unescaped "*N" at the very end repeats the text N times. D-Bus texts must be valid
// UTF-8 without NUL: bytes that are not (and NUL) are sent as U+FFFD. Blank lines and lines
// starting with # are skipped; a later line for the same item replaces an earlier one.
// Items without a line answer EMPTY.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "answers.h"
#include "decoder-service/utf8.h"

namespace sondesim {

struct Script {
  std::map<int, Answer> items;
};

// Parses a whole script; on a fault, false and `error` names the line.
bool ParseScript(std::string_view text, Script& script, std::string& error);

// The escapes and the repeat of a text value; false on a bad escape or a result over 16 MiB.
bool UnescapeText(std::string_view text, std::string& out, std::string& error);

using decoder::RepairUtf8;

}  // namespace sondesim
