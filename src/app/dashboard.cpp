#include "app/dashboard.h"

#include <cstdio>

#include "config/station_config.h"
#include "format/clock_text.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/safe_text.h"

namespace nimbrix {

namespace {

const std::string kBoxLine = "+" + std::string(77, '-') + "+";

std::string TitleRow() {
  const std::string version = kVersionText;
  return std::string(58 - version.size(), '-') + version + "-+";
}

std::string BannerRow(const std::string& user) {
  const std::string shown = MaskControlBytes(user);
  const int blanks = 9 - static_cast<int>(user.size());
  return "+-=> This program sends radiosonde data to APRS network under " + shown + " id" +
         std::string(blanks > 0 ? blanks : 0, ' ') + " <=-+";
}

// The upper 32 bits of the 64-bit item, in upper-case hexadecimal without leading zeros.
std::string HighWordHex(std::int64_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X",
                static_cast<unsigned>(static_cast<std::uint64_t>(value) >> 32));
  return text;
}

}  // namespace

std::vector<std::string> DashboardRows(const SondeSample& s, const std::string& user) {
  return {
      TitleRow(),
      BannerRow(user),
      kBoxLine,
      "                        -=> Data from SondeMonitor <=-",
      // append, not " " + text: g++ 12 -O3 warns falsely (-Wrestrict) on that form here.
      std::string(" ").append(MaskControlBytes(s.timeText)) +
          " | Frame=" + FormatMask(std::int64_t{s.frame}, "* ######") +
          " | Serial#: " + MaskControlBytes(s.serial) + " | QRG: " + MaskControlBytes(s.qrg),
      kBoxLine,
      "      Latitude=" + FormatMask(s.latitude, "* 0.00000 ") + s.ggaLat +
          " | Longitude=" + FormatMask(s.longitude, "* #0.00000 ") + s.ggaLon,
      "   Altitude=" + FormatMask(s.altitude, "* ###0") + "m | Climb=" +
          FormatMask(s.climb, "* #.#") + "m/s | Course=" + FormatMask(s.course, " 000") +
          "o  | Speed=" + FormatMask(s.speedKmh, "* 0.0") + "km/h ",
      kBoxLine,
      "      Pressure=" + FormatMask(s.pressure, "* ##.0") +
          "mB        Temperature=" + FormatMask(s.temperature, "* #.0") +
          "oC        Humidity=" + FormatMask(s.humidity, "* 0") + "%",
      kBoxLine,
      ConsoleNumber(s.item14, 15) + HighWordHex(s.item14),
      kBoxLine,
  };
}

namespace {

// Each row starts at its own place and what is left of it is erased, so that no character of
// an earlier, longer text stays behind, and a text that ran on into this row is overwritten.
void DrawRow(Console& console, int row, const std::string& text) {
  console.MoveTo(row, 1);
  console.Write(text);
  console.EraseToEndOfRow();
  console.LineBreak();
}

// The screen rows of DashboardRows; rows 4 and 6 are passed over.
constexpr int kDashboardRow[] = {1, 2, 3, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15};

}  // namespace

void DrawDashboard(Console& console, const SondeSample& sample, const std::string& user) {
  const std::vector<std::string> rows = DashboardRows(sample, user);
  for (std::size_t i = 0; i < rows.size(); ++i) DrawRow(console, kDashboardRow[i], rows[i]);
  console.LineBreak();  // after row 15 the cursor goes to row 17
}

void DrawStatusLines(Console& console, const LocalTime& now, std::int32_t cyclesSinceReport) {
  DrawRow(console, 18, "Local Time: " + ClockText(now));
  DrawRow(console, 19,
          "Last valid data: " + ConsoleNumber(std::int64_t{cyclesSinceReport}, 15) + "s ago...");
}

}  // namespace nimbrix
