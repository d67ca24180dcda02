#include "sondehub/sonde_kinds_standin.h"

#include <cctype>

namespace nimbrix {

namespace {

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

}  // namespace

std::optional<SondeKind> SondeKindOf(std::string_view decoderKind, std::string_view serial) {
  (void)serial;
  if (StartsWith(decoderKind, "RS41"))
    return SondeKind{"Vaisala", "RS41", std::string(decoderKind)};
  if (StartsWith(decoderKind, "RS92")) return SondeKind{"Vaisala", "RS92", ""};
  if (StartsWith(decoderKind, "DFM")) return SondeKind{"Graw", "DFM", std::string(decoderKind)};
  if (StartsWith(decoderKind, "M10")) return SondeKind{"Meteomodem", "M10", ""};
  if (StartsWith(decoderKind, "M20")) return SondeKind{"Meteomodem", "M20", ""};
  return std::nullopt;
}

std::optional<std::string> SondehubSerial(const SondeKind& kind, std::string_view serial) {
  if (kind.type == "RS41" || kind.type == "RS92") {
    if (serial.size() != 8 || serial[0] < 'C' || serial[0] > 'Z') return std::nullopt;
    for (char c : serial.substr(1)) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    return std::string(serial);
  }
  if (kind.type == "DFM") {
    std::string digits;
    for (char c : serial) {
      if (c == 'x') return std::nullopt;
      if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    }
    if (digits.empty()) return std::nullopt;
    return digits;
  }
  if (serial.empty() || serial.find('x') != std::string_view::npos) return std::nullopt;
  return std::string(serial);
}

}  // namespace nimbrix
