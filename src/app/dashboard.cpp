#include "app/dashboard.h"

#include <cstdio>

#include "format/clock_text.h"
#include "format/coordinate_text.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/safe_text.h"
#include "version/version.h"

namespace nimbrix {

namespace {

const std::string kBoxLine = "+" + std::string(77, '-') + "+";
constexpr std::size_t kRowWidth = 79;

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
      "      Latitude=" + FormatMask(s.latitude, "* 0.00000 ") + LatitudeTexts(s.latitude).gga +
          " | Longitude=" + FormatMask(s.longitude, "* #0.00000 ") +
          LongitudeTexts(s.longitude).gga,
      "   Altitude=" + FormatMask(s.altitude, "* ###0") + "m | Climb=" +
          FormatMask(s.climb, "* #.#") + "m/s | Course=" + FormatMask(s.course, " 000") +
          "o  | Speed=" + FormatMask(s.speedKmh, "* 0.0") + "km/h ",
      kBoxLine,
      "      Pressure=" + FormatMask(s.pressure, "* ##.0") +
          "mB        Temperature=" + FormatMask(s.temperature, "* #.0") +
          "oC        Humidity=" + FormatMask(s.humidity, "* 0") + "%",
      kBoxLine,
      ConsoleNumber(s.timeMs, 15) + HighWordHex(s.timeMs),
      kBoxLine,
  };
}

std::string LocalTimeRow(const LocalTime& now) {
  return "Local Time: " + ClockText(now);
}

std::string LastValidDataRow(std::int32_t cyclesSinceReport) {
  return "Last valid data: " + ConsoleNumber(std::int64_t{cyclesSinceReport}, 15) + "s ago...";
}

std::string ObjectModeRow(const std::string& lastObjectName) {
  if (lastObjectName.empty()) return "APRS objects on. No object sent yet.";
  return "APRS objects on. Last object sent: " + lastObjectName;
}

std::string NoObjectNameRow(const std::string& serial) {
  const std::string text = "No APRS object name for serial " + serial;
  // A serial of any length stays on its row: a longer text would run on, and at the screen's
  // foot scroll it.
  return text.substr(0, kRowWidth);
}

std::string AlsoHeardRow(const std::vector<HeardSonde>& heard, const std::string& followedSerial) {
  std::vector<std::string> entries;
  for (const HeardSonde& sonde : heard) {
    if (sonde.sample.serial == followedSerial) continue;
    std::string entry = MaskControlBytes(sonde.sample.serial);
    entry += ' ';
    entry += std::to_string(sonde.ageMs / 1000);
    entry += 's';
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) return {};
  // Pieces are appended one by one: g++ 12 at -O3 warns falsely (-Wrestrict) on "text" + string.
  const auto more = [](std::size_t count, bool first) {
    std::string text = first ? " +" : ", +";
    text += std::to_string(count);
    text += " more";
    return text;
  };
  std::string row = "Also heard:";
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::size_t left = entries.size() - i - 1;
    // Room is kept for the count of those after this one.
    const std::size_t tail = left == 0 ? 0 : more(left, false).size();
    if (row.size() + 2 + entries[i].size() + tail > kRowWidth) {
      return row + more(entries.size() - i, i == 0);
    }
    row += i == 0 ? " " : ", ";
    row += entries[i];
  }
  return row;
}

}  // namespace nimbrix
