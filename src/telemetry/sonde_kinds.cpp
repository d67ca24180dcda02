#include "telemetry/sonde_kinds.h"

#include <algorithm>
#include <array>

namespace nimbrix {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// Upper case, without the dashes, underscores and spaces the decoders spell kinds with:
// "iMS-100" and "IMS100" are both "IMS100".
std::string Folded(std::string_view text) {
  std::string folded;
  for (const char c : text) {
    if (c != '-' && c != '_' && c != ' ') folded += Upper(c);
  }
  return folded;
}

struct Model {
  const char* folded;  // the decoder's kind, folded
  bool prefix;         // also every longer kind starting so
  const char* manufacturer;
  const char* type;
  const char* subtype;  // nullptr: none
};

// Longer names before the shorter ones they start with. The network's spellings are those of
// its API (manufacturer, type, subtype) and its server's checks (the type's text).
constexpr std::array kModels = {
    Model{"RS41SGP", false, "Vaisala", "RS41", "RS41-SGP"},
    Model{"RS41SGM", false, "Vaisala", "RS41", "RS41-SGM"},
    Model{"RS41SG", false, "Vaisala", "RS41", "RS41-SG"},
    Model{"RS41", true, "Vaisala", "RS41", nullptr},
    Model{"RS92SGP", false, "Vaisala", "RS92", "RS92-SGP"},
    Model{"RS92NGP", false, "Vaisala", "RS92", "RS92-NGP"},
    Model{"RS92", true, "Vaisala", "RS92", nullptr},
    Model{"DFM06", false, "Graw", "DFM", "DFM06"},
    Model{"DFM09P", false, "Graw", "DFM", "DFM09P"},
    Model{"DFM09", false, "Graw", "DFM", "DFM09"},
    Model{"DFM17", false, "Graw", "DFM", "DFM17"},
    Model{"DFM", true, "Graw", "DFM", nullptr},
    Model{"M10", true, "Meteomodem", "M10", nullptr},
    Model{"M20", true, "Meteomodem", "M20", nullptr},
    Model{"IMET54", false, "Intermet Systems", "iMet-54", nullptr},
    Model{"IMET50", false, "Intermet Systems", "iMet-50", nullptr},
    Model{"IMET5", false, "Intermet Systems", "iMet-54", nullptr},
    Model{"IMET4", false, "Intermet Systems", "iMet-4", nullptr},
    Model{"IMET1", false, "Intermet Systems", "iMet-4", nullptr},  // sent alike
    Model{"IMET", false, "Intermet Systems", "iMet-4", nullptr},
    Model{"LMS61680", false, "Lockheed Martin", "LMS6-1680", nullptr},
    Model{"LMS6X", false, "Lockheed Martin", "LMS6-1680", nullptr},
    Model{"MK2LMS", false, "Lockheed Martin", "LMS6-1680", nullptr},
    Model{"LMS6400", false, "Lockheed Martin", "LMS6-400", nullptr},
    Model{"LMS6403", false, "Lockheed Martin", "LMS6-400", nullptr},
    Model{"LMS6", false, "Lockheed Martin", "LMS6-400", nullptr},
    Model{"MRZH1", false, "Meteo-Radiy", "MRZ", "MRZ-H1"},
    Model{"MRZ", true, "Meteo-Radiy", "MRZ", nullptr},
    Model{"IMS100", true, "Meisei", "iMS-100", nullptr},
    Model{"RS11G", true, "Meisei", "RS-11G", nullptr},
    Model{"MTS01", true, "Meteosis", "MTS01", nullptr},
};

SondeKind KindOf(const Model& m) {
  return {m.manufacturer, m.type, m.subtype ? m.subtype : ""};
}

// The type code a decoder puts before a serial ("M10-", "IMS100-"), for the kinds whose serial
// alone says what they are.
struct SerialPrefix {
  const char* code;
  const char* folded;  // the model it names
};
constexpr std::array kSerialPrefixes = {
    SerialPrefix{"DFM", "DFM"},       SerialPrefix{"M10", "M10"},     SerialPrefix{"M20", "M20"},
    SerialPrefix{"IMS100", "IMS100"}, SerialPrefix{"RS11G", "RS11G"}, SerialPrefix{"MRZ", "MRZ"},
};

// The serial's part before its first dash, upper-cased ("" without a dash).
std::string CodeOf(std::string_view serial) {
  const std::size_t dash = serial.find('-');
  if (dash == std::string_view::npos) return {};
  std::string code(serial.substr(0, dash));
  for (char& c : code) c = Upper(c);
  return code;
}

// A DFM's serial with its type code: "DFM-12345678", "DFM09-12345678".
bool IsDfmCode(std::string_view code) {
  return code.starts_with("DFM") &&
         std::all_of(code.begin() + 3, code.end(), [](char c) { return IsDigit(c) || c == 'P'; });
}

// The codes the decoders put before serials, taken off for the network.
bool IsTypeCode(std::string_view code) {
  constexpr std::array<std::string_view, 14> kCodes = {
      "M10",    "M20",  "IMET", "IMET1", "IMET4",  "IMET5", "IMET50",
      "IMET54", "LMS6", "LMS",  "MRZ",   "IMS100", "RS11G", "MTS01"};
  return IsDfmCode(code) || std::find(kCodes.begin(), kCodes.end(), code) != kCodes.end();
}

// A letter C to Z and 7 digits: the only RS41/RS92 serials the network trusts.
bool IsVaisalaSerial(std::string_view serial) {
  return serial.size() == 8 && Upper(serial[0]) == serial[0] && serial[0] >= 'C' &&
         serial[0] <= 'Z' && AllDigits(serial.substr(1));
}

}  // namespace

std::optional<SondeKind> SondeKindOf(std::string_view decoderKind, std::string_view serial) {
  const std::string folded = Folded(decoderKind);
  if (folded.empty()) {
    const std::string code = CodeOf(serial);
    const std::string_view codeView = IsDfmCode(code) ? std::string_view("DFM") : code;
    for (const SerialPrefix& p : kSerialPrefixes) {
      if (codeView == p.code) return SondeKindOf(p.folded, {});
    }
    return std::nullopt;
  }
  for (const Model& m : kModels) {
    if (folded == m.folded || (m.prefix && folded.starts_with(m.folded))) return KindOf(m);
  }
  return std::nullopt;
}

std::optional<std::string> SondehubSerial(const SondeKind& kind, std::string_view serial) {
  const bool plain = !serial.empty() && serial.size() <= 32 &&
                     std::all_of(serial.begin(), serial.end(),
                                 [](char c) { return IsDigit(c) || IsLetter(c) || c == '-'; });
  // "x" stands for what a decoder has not received yet ("DFM-xxxxxxxx", "IMS100-xxxxxx").
  if (!plain || serial.find('x') != std::string_view::npos) return std::nullopt;
  if (kind.type == "RS41" || kind.type == "RS92") {
    if (!IsVaisalaSerial(serial)) return std::nullopt;
    return std::string(serial);
  }
  std::string_view rest = serial;
  if (IsTypeCode(CodeOf(serial))) rest.remove_prefix(serial.find('-') + 1);
  if (kind.type == "DFM" && !AllDigits(rest)) return std::nullopt;
  if (rest.empty()) return std::nullopt;
  return std::string(rest);
}

}  // namespace nimbrix
