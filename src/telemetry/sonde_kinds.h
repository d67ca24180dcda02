#pragma once

// What the SondeHub network calls a sonde: its manufacturer, type and subtype in the network's
// own spellings, and its serial in the network's form, from what the decoder says. One table
// for every kind of sonde, beside the decoder's contract.

#include <optional>
#include <string>
#include <string_view>

namespace nimbrix {

struct SondeKind {
  std::string manufacturer;  // "Vaisala", "Graw", "Meteomodem", ...
  std::string type;          // "RS41", "DFM", "M10", "iMet-4", "LMS6-400", "iMS-100", ...
  std::string subtype;       // "RS41-SGP", "DFM09", ...; "" when the decoder does not say
};

// The kind of sonde from the decoder's kind text (item 15, or item 11: "RS41-SGP", "DFM09",
// "M10", "IMS100", in any case, with or without dashes). When that text is empty, the serial's
// form where it names the kind alone ("DFM-12345678", "M10-012-3-45678", "IMS100-2102060").
// nullopt for a kind the network does not know.
std::optional<SondeKind> SondeKindOf(std::string_view decoderKind, std::string_view serial);

// The serial as the network files it: an RS41's or RS92's as it is, a DFM's digits only, and
// every other kind's without the decoder's type code before the first dash ("M10-012-3-45678"
// is "012-3-45678"). nullopt for a serial the network would refuse: an RS41/RS92 serial that is
// not a letter C to Z and 7 digits, any "x" placeholder, or anything but letters, digits and
// dashes.
std::optional<std::string> SondehubSerial(const SondeKind& kind, std::string_view serial);

}  // namespace nimbrix
