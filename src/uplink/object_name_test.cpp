#include "uplink/object_name.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace nimbrix {
namespace {

TEST(ObjectNameOf, EverySerialFormAndTheRefusals) {
  const struct {
    const char* serial;
    const char* typeOrAprsName;
    std::optional<std::string> name;
  } cases[] = {
      // 3 to 9 letters and digits: the serial as it stands, upper-cased.
      {"S1234567", "RS41-SGP", "S1234567"},
      {"s1234567", "", "S1234567"},
      {"AB", "", std::nullopt},
      {"L1830070", "RS41", "L1830070"},
      {"P1234567", "RS92-SGP", "P1234567"},
      {"ABCDEFGHIJ", "", std::nullopt},
      {"ABC", "", "ABC"},
      {"ABCDEFGH9", "", "ABCDEFGH9"},
      // DFM: "D" and the digits.
      {"DFM-314377", "0x6:DFM06", "D314377"},
      {"DFM-xxxxxxxx", "", std::nullopt},  // not complete yet
      {"dfm-314377", "", "D314377"},
      {"DFM-12345678", "", "D12345678"},
      {"DFM-123456789", "", std::nullopt},  // ten characters
      {"DFM-1", "", "D1"},
      {"DFM-", "", std::nullopt},
      {"DFM-12 345", "", std::nullopt},
      {"DFM-+12345", "", std::nullopt},
      // M10 and M20: the APRS name the decoder gives as item 11.
      {"M10-012-3-45678", "ME8123456", "ME8123456"},
      {"M10-012-3-45678", "M10", std::nullopt},  // the sonde type: no name
      {"m10-012-3-45678", "me812a45f", "ME812A45F"},
      {"M20-1234567", "ME0A1B2C3", "ME0A1B2C3"},
      {"M10-012-3-45678", "", std::nullopt},
      {"M10-012-3-45678", "ME812345", std::nullopt},
      {"M10-012-3-45678", "ME81234567", std::nullopt},
      {"M10-012-3-45678", "ME81234-6", std::nullopt},
      {"M10-012-3-45678", "ME812345\n", std::nullopt},
      {"S1234567", "ME8123456", "S1234567"},  // item 11 names an M10 or M20 only
      // Anything else has no name.
      {"", "", std::nullopt},
      {" S1234567", "", std::nullopt},
      {"S1234567 ", "", std::nullopt},
      {"S123\r\n45", "", std::nullopt},
      {"S12345\xc3\xa4", "", std::nullopt},
      {"IMET-1234", "", std::nullopt},
      {"LMS6-123456", "", std::nullopt},
      {"RS41-SGP", "", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ObjectNameOf(c.serial, c.typeOrAprsName), c.name)
        << c.serial << " / " << c.typeOrAprsName;
  }
}

TEST(ObjectNameOf, HugeTextsGiveNoName) {
  const std::string huge(1 << 20, 'A');
  EXPECT_EQ(ObjectNameOf(huge, huge), std::nullopt);
  EXPECT_EQ(ObjectNameOf("DFM-" + std::string(1 << 20, '1'), ""), std::nullopt);
  EXPECT_EQ(ObjectNameOf("M10-1", huge), std::nullopt);
}

}  // namespace
}  // namespace nimbrix
