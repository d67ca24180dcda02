#include "uplink/gga_sentence.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fake/fakes.h"
#include "telemetry/telemetry.h"

namespace nimbrix {
namespace {

SondeSample Sample(const char* timeText, double lat, double lon, double alt) {
  SondeSample s;
  s.timeText = timeText;
  s.latitude = lat;
  s.longitude = lon;
  s.altitude = alt;
  return s;
}

TEST(GgaSentence, FieldsFromTheSample) {
  const struct {
    SondeSample sample;
    const char* sentence;
  } cases[] = {
      {Sample("2026-12-08 20:41:05", 48.123456, -71.987654, 1234.5),
       "$GPGGA,204105,4807.4074,N,07159.2592,W,1,8,0.9,1234.5,M,0,M,,/GPS FIX"},
      // A decoder that is gone: the same sentence in every cycle.
      {Sample("", 0, 0, 0), "$GPGGA,,0000.0000,N,00000.0000,E,1,8,0.9,0,M,0,M,,/GPS FIX"},
      {Sample("2026-12-08T2", 0, 0, 0),
       "$GPGGA,2,0000.0000,N,00000.0000,E,1,8,0.9,0,M,0,M,,/GPS FIX"},
      // The altitude as a plain number: no leading zero, no trailing zeros.
      {Sample("", 0, 0, -12.25), "$GPGGA,,0000.0000,N,00000.0000,E,1,8,0.9,-12.25,M,0,M,,/GPS FIX"},
      {Sample("", 0, 0, 0.5), "$GPGGA,,0000.0000,N,00000.0000,E,1,8,0.9,.5,M,0,M,,/GPS FIX"},
  };
  for (const auto& c : cases) EXPECT_EQ(GgaSentence(c.sample), c.sentence);
}

TEST(GgaSentence, ChangesWithTimeCoordinatesOrAltitudeOnly) {
  const SondeSample base = Sample("2026-12-08 20:41:05", 48.123456, -71.987654, 1234.5);
  const std::string reference = GgaSentence(base);
  SondeSample same = base;
  same.timeText = "2027-01-01 20:41:05 more";  // outside characters 12..19
  same.latitude += 1e-9;                       // below a ten-thousandth of a minute
  same.serial = "other";
  same.temperature = 5;
  EXPECT_EQ(GgaSentence(same), reference);
  std::vector<SondeSample> changed(4, base);
  changed[0].timeText = "2026-12-08 20:41:06";
  changed[1].latitude += 1e-5;
  changed[2].longitude -= 1e-5;
  changed[3].altitude += 0.01;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    EXPECT_NE(GgaSentence(changed[i]), reference) << i;
  }
}

TEST(GgaSentence, OfASampleReadFromTheDecoder) {
  fake::FakeAutomation decoder;
  decoder.answers = {{kLatitude, Variant::Real(48.123456)},
                     {kLongitude, Variant::Real(-71.987654)},
                     {kAltitude, Variant::Real(-12.254)},
                     {kTimeText, Variant::Text("2026-12-08T20:41:05")}};
  SondeSample s;
  ReadSondeSample(decoder, s);
  EXPECT_EQ(GgaSentence(s),
            "$GPGGA,204105,4807.4074,N,07159.2592,W,1,8,0.9,-12.25,M,0,M,,/GPS FIX");
}

}  // namespace
}  // namespace nimbrix
