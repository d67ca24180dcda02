#pragma once

// Stand-in until telemetry/sonde_kinds.h (the decoder side's kind table) is in this tree:
// the same names, a few kinds only. Remove when that header arrives.

#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

struct SondeKind {
  std::string manufacturer, type, subtype;
};

std::optional<SondeKind> SondeKindOf(std::string_view decoderKind, std::string_view serial);
std::optional<std::string> SondehubSerial(const SondeKind& kind, std::string_view serial);

}  // namespace nimbrix
