#include "common/sonde_kind.h"

namespace receiver {

std::string_view KindName(SondeKind kind) {
  switch (kind) {
    case SondeKind::kRs41:
      return "RS41";
    case SondeKind::kRs92:
      return "RS92";
    case SondeKind::kDfm:
      return "DFM";
    case SondeKind::kM10:
      return "M10";
    case SondeKind::kM20:
      return "M20";
    case SondeKind::kImet4:
      return "iMet-4";
    case SondeKind::kLms6:
      return "LMS6";
    case SondeKind::kIms100:
      return "iMS-100";
    case SondeKind::kMrz:
      return "MRZ";
  }
  return "?";
}

std::optional<SondeKind> KindFromName(std::string_view name) {
  for (SondeKind kind : kAllKinds) {
    if (KindName(kind) == name) return kind;
  }
  return std::nullopt;
}

}  // namespace receiver
