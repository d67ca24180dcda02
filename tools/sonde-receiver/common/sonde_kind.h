#pragma once
// The kinds of sonde the receiver tells apart, and the names it prints for them.

#include <optional>
#include <string_view>

namespace receiver {

enum class SondeKind { kRs41, kRs92, kDfm, kM10, kM20, kImet4, kLms6, kIms100, kMrz };

inline constexpr SondeKind kAllKinds[] = {SondeKind::kRs41, SondeKind::kRs92,   SondeKind::kDfm,
                                          SondeKind::kM10,  SondeKind::kM20,    SondeKind::kImet4,
                                          SondeKind::kLms6, SondeKind::kIms100, SondeKind::kMrz};

// "RS41", "DFM", "iMet-4"...: the name in the log and in the JSON lines' "type".
std::string_view KindName(SondeKind kind);
std::optional<SondeKind> KindFromName(std::string_view name);

}  // namespace receiver
