#pragma once

// What the decoder answers for one item: a VARTYPE code and a value in the D-Bus type that
// carries it, or an error, or no answer at all.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "telemetry/decoder_items.h"

namespace decoder {

// The Automation VARTYPE codes, as the station knows them.
using enum nimbrix::VarType;

// The D-Bus type a VARTYPE travels as ("ay" for EMPTY and NULL); empty for codes without one.
std::string DbusTypeOf(std::uint16_t vt);

struct Answer {
  enum class Kind { kValue, kError, kNoReply };
  Kind kind = Kind::kValue;
  std::uint16_t vt = VT_EMPTY;
  std::string dbusType = "ay";  // n y q i u x t d b s, or ay
  // Integers of every width, double, bool, or the bytes of "s" and "ay".
  std::variant<std::int64_t, std::uint64_t, double, bool, std::string> value = std::string();
  std::string errorName;  // kError only
  std::string errorText;

  static Answer Real(double d) { return {Kind::kValue, VT_R8, "d", d, {}, {}}; }
  static Answer Text(std::string s) { return {Kind::kValue, VT_BSTR, "s", std::move(s), {}, {}}; }
  static Answer Int4(std::int32_t i) { return {Kind::kValue, VT_I4, "i", std::int64_t{i}, {}, {}}; }
  static Answer Int8(std::int64_t i) { return {Kind::kValue, VT_I8, "x", i, {}, {}}; }
};

// GETSONDEDATA knows the items 0 to 17: the contract and its extension.
inline constexpr int kItemCount = nimbrix::kDecoderItemCount;

// The answer for an item index; nullopt for an index the decoder does not have.
using AnswerSource = std::function<std::optional<Answer>(std::int16_t index)>;

// One sonde of GETSONDELIST: how long ago (ms) its newest frame came, and that frame's items 0
// to 17 as GETSONDEDATA answers them; nullopt (or an error) travels as EMPTY, and items past the
// vector's end are EMPTY too.
struct ListedSonde {
  std::uint32_t ageMs = 0;
  std::vector<std::optional<Answer>> items;
};

// Item `index` of a listed sonde as it travels: the answer where there is a value, else EMPTY.
Answer ListedItem(const ListedSonde& sonde, int index);

// Every sonde heard lately, newest frame first.
using ListSource = std::function<std::vector<ListedSonde>()>;

}  // namespace decoder
