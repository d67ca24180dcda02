#include "telemetry/sonde_kinds.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nimbrix {
namespace {

// What the network calls each kind a decoder names, in every spelling the decoders use.
TEST(SondeKindOf, EveryKindTheNetworkKnows) {
  const struct {
    const char* kind;
    const char* manufacturer;
    const char* type;
    const char* subtype;
  } cases[] = {
      {"RS41", "Vaisala", "RS41", ""},
      {"RS41-SG", "Vaisala", "RS41", "RS41-SG"},
      {"RS41-SGP", "Vaisala", "RS41", "RS41-SGP"},
      {"RS41-SGM", "Vaisala", "RS41", "RS41-SGM"},
      {"rs41-sgp", "Vaisala", "RS41", "RS41-SGP"},
      {"RS41-E", "Vaisala", "RS41", ""},
      {"RS92", "Vaisala", "RS92", ""},
      {"RS92-SGP", "Vaisala", "RS92", "RS92-SGP"},
      {"RS92-NGP", "Vaisala", "RS92", "RS92-NGP"},
      {"DFM", "Graw", "DFM", ""},
      {"DFM06", "Graw", "DFM", "DFM06"},
      {"DFM-09", "Graw", "DFM", "DFM09"},
      {"DFM09", "Graw", "DFM", "DFM09"},
      {"DFM09P", "Graw", "DFM", "DFM09P"},
      {"DFM17", "Graw", "DFM", "DFM17"},
      {"DFM15", "Graw", "DFM", ""},
      {"M10", "Meteomodem", "M10", ""},
      {"M20", "Meteomodem", "M20", ""},
      {"iMet", "Intermet Systems", "iMet-4", ""},
      {"iMet-1", "Intermet Systems", "iMet-4", ""},
      {"iMet-4", "Intermet Systems", "iMet-4", ""},
      {"IMET5", "Intermet Systems", "iMet-54", ""},
      {"iMet-54", "Intermet Systems", "iMet-54", ""},
      {"iMet-50", "Intermet Systems", "iMet-50", ""},
      {"LMS6", "Lockheed Martin", "LMS6-400", ""},
      {"LMS6-400", "Lockheed Martin", "LMS6-400", ""},
      {"LMS6X", "Lockheed Martin", "LMS6-1680", ""},
      {"LMS6-1680", "Lockheed Martin", "LMS6-1680", ""},
      {"MK2LMS", "Lockheed Martin", "LMS6-1680", ""},
      {"MRZ", "Meteo-Radiy", "MRZ", ""},
      {"MRZ-H1", "Meteo-Radiy", "MRZ", "MRZ-H1"},
      {"MRZ-N1", "Meteo-Radiy", "MRZ", ""},
      {"iMS-100", "Meisei", "iMS-100", ""},
      {"IMS100", "Meisei", "iMS-100", ""},
      {"RS-11G", "Meisei", "RS-11G", ""},
      {"RS11G", "Meisei", "RS-11G", ""},
      {"MTS01", "Meteosis", "MTS01", ""},
  };
  for (const auto& c : cases) {
    const std::optional<SondeKind> kind = SondeKindOf(c.kind, "S3210987");
    ASSERT_TRUE(kind) << c.kind;
    EXPECT_EQ(kind->manufacturer, c.manufacturer) << c.kind;
    EXPECT_EQ(kind->type, c.type) << c.kind;
    EXPECT_EQ(kind->subtype, c.subtype) << c.kind;
  }
}

// Unknown kinds are not guessed from the serial; an empty kind is, where the serial alone says.
TEST(SondeKindOf, UnknownKindsAndTheSerialsForm) {
  const struct {
    const char* kind;
    const char* serial;
    const char* type;  // nullptr: unknown
  } cases[] = {
      {"", "DFM-12345678", "DFM"},
      {"", "DFM09-123456", "DFM"},
      {"", "dfm-12345678", "DFM"},
      {"", "M10-012-3-45678", "M10"},
      {"", "M20-104-1-12345", "M20"},
      {"", "IMS100-2102060", "iMS-100"},
      {"", "RS11G-2102060", "RS-11G"},
      {"", "MRZ-123456", "MRZ"},
      {"", "S3210987", nullptr},     // an RS41 or an RS92
      {"", "LMS6-123456", nullptr},  // 400 MHz or 1680 MHz
      {"", "IMET-A6C9113D", nullptr},
      {"", "", nullptr},
      {"", "DFMX-1234", nullptr},
      {"0x9F", "M10-012-3-45678", nullptr},  // a kind is given, and unknown
      {"PS-15", "", nullptr},
      {"RS", "", nullptr},
      {"M1", "", nullptr},
      {"IMET-2", "", nullptr},
      {"  ", "DFM-12345678", "DFM"},
  };
  for (const auto& c : cases) {
    const std::optional<SondeKind> kind = SondeKindOf(c.kind, c.serial);
    EXPECT_EQ(kind.has_value(), c.type != nullptr) << c.kind << " " << c.serial;
    EXPECT_EQ(kind && c.type ? kind->type : "", c.type ? c.type : "") << c.kind << " " << c.serial;
  }
}

// The serial in the network's form, or nothing for one it would refuse.
TEST(SondehubSerial, EveryFormAndEveryRefusal) {
  const struct {
    const char* type;
    const char* serial;
    const char* want;  // nullptr: refused
  } cases[] = {
      {"RS41", "S3210987", "S3210987"},
      {"RS41", "C0000000", "C0000000"},
      {"RS41", "Z9999999", "Z9999999"},
      {"RS92", "P1234567", "P1234567"},
      {"RS41", "B1234567", nullptr},   // before C
      {"RS41", "s3210987", nullptr},   // lower case
      {"RS41", "S321098", nullptr},    // 6 digits
      {"RS41", "S32109870", nullptr},  // 8 digits
      {"RS41", "S321O987", nullptr},
      {"RS41", "", nullptr},
      {"DFM", "DFM-12345678", "12345678"},
      {"DFM", "DFM09-123456", "123456"},
      {"DFM", "12345678", "12345678"},
      {"DFM", "DFM-xxxxxxxx", nullptr},
      {"DFM", "DFM-1234xxxx", nullptr},
      {"DFM", "DFM-", nullptr},
      {"DFM", "DFM-12A45", nullptr},
      {"M10", "M10-012-3-45678", "012-3-45678"},
      {"M20", "M20-104-1-12345", "104-1-12345"},
      {"M10", "012-3-45678", "012-3-45678"},
      {"iMS-100", "IMS100-2102060", "2102060"},
      {"iMS-100", "IMS100-xxxxxx", nullptr},
      {"RS-11G", "RS11G-2102060", "2102060"},
      {"iMet-4", "IMET-A6C9113D", "A6C9113D"},
      {"iMet-54", "IMET54-55063112", "55063112"},
      {"LMS6-400", "LMS6-123456", "123456"},
      {"MRZ", "MRZ-5667-39155", "5667-39155"},
      {"MRZ", "MRZ-xxxx", nullptr},
      {"MTS01", "MTS01-1234", "1234"},
      // Nothing but letters, digits and dashes reaches the network.
      {"M10", "M10-012 3", nullptr},
      {"M10", "M10-012\r\n", nullptr},
      {"M10", "M10-\xC3\xA9", nullptr},
      {"M10", "M10-\"}", nullptr},
      {"M10", "M10-", nullptr},
      {"M10", "M10-0123456789012345678901234567890", nullptr},  // beyond 32 characters
  };
  for (const auto& c : cases) {
    const std::optional<std::string> serial = SondehubSerial({"", c.type, ""}, c.serial);
    EXPECT_EQ(serial.has_value(), c.want != nullptr) << c.type << " " << c.serial;
    EXPECT_EQ(serial.value_or(""), c.want ? c.want : "") << c.type << " " << c.serial;
  }
}

}  // namespace
}  // namespace nimbrix
