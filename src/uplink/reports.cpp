#include "uplink/reports.h"

#include <algorithm>

#include "format/clock_text.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/safe_text.h"

namespace nimbrix {

namespace {

constexpr const char* kHeaderTail = ">APZQW0,TCPIP*:";
// The foot as the station has always converted it: 0.3048 in single precision, widened.
constexpr double kMetresPerFoot = static_cast<double>(0.3048f);
constexpr int kLongInterval = 59;
constexpr double kLowAltitude = 2000;
constexpr int kClockDivisor = 7;
constexpr int kShortInterval = 6;
constexpr int kMinimumSpacing = 6;
constexpr int kMakeUpPauseMs = 1000;
constexpr int kStatusDivisor = 3;
constexpr int kLastTransmissionRow = 21;

std::string Number(double value) {
  return TrimmedNumberText(value, 15);
}

// Characters 12..19 of the decoder's time text (hh:mm:ss there), without the colons.
std::string TimePiece(const std::string& timeText) {
  std::string piece;
  if (timeText.size() < 12) return piece;
  for (char c : StripControlBytes(std::string_view(timeText).substr(11, 8))) {
    if (c != ':') piece += c;
  }
  return piece;
}

}  // namespace

void UpdateValidFlags(ReportState& state, const SondeSample& sample) {
  std::uint16_t flags = state.ValidFlags & ~(kFlagPosition | kFlagAltitude | kFlagNewSentence);
  if (sample.latitude != 0 && sample.longitude != 0) flags |= kFlagPosition;
  if (sample.altitude > 0) flags |= kFlagAltitude;
  if (state.PreviousSentence.empty()) state.PreviousSentence = sample.ggaSentence;
  if (sample.ggaSentence != state.PreviousSentence) {
    state.PreviousSentence = sample.ggaSentence;
    flags |= kFlagNewSentence;
  }
  state.ValidFlags = flags;
}

std::string ComposePositionReport(const StationConfig& config, const SondeSample& sample) {
  const std::string symbol = StripControlBytes(config.sSYMBOL);
  std::string line = StripControlBytes(config.sUSER) + kHeaderTail;
  line += '@';
  line += TimePiece(sample.timeText);
  line += 'h';
  line += StripControlBytes(sample.aprsLat);
  line += symbol.substr(0, 1);
  line += StripControlBytes(sample.aprsLon);
  if (!symbol.empty()) line += symbol.back();
  line += FormatMask(sample.course, "000");
  line += '/';
  line += FormatMask(sample.speedKnots, "000");
  if (config.nALTITUDE != 0) {
    line += "/A=" + FormatMask(sample.altitude / kMetresPerFoot, "000000");
  }
  line += " Clb=" + Number(sample.climb);
  line += "m/s P=" + Number(sample.pressure);
  line += "hPa T=" + Number(sample.temperature);
  line += "oC U=" + Number(sample.humidity) + "%";
  if (config.nID == 1) line += " ID=" + StripControlBytes(sample.serial);
  if (config.nFRAME == 1) line += " FN=" + TrimmedNumberText(std::int64_t{sample.frame}, 7);
  if (config.nQRG == 1) {
    // Appended in two steps: g++ 12 -O3 warns falsely (-Wrestrict) on " " + std::string.
    line += ' ';
    line += StripControlBytes(sample.qrg);
  }
  line += "\r\n";
  return line;
}

std::string ComposeStatusReport(const StationConfig& config) {
  return StripControlBytes(config.sUSER) + kHeaderTail + ">" + StripControlBytes(config.sSTATUS) +
         "\r\n";
}

void MarkReportDue(ReportState& state, const SondeSample& sample, const LocalTime& first,
                   const LocalTime& second) {
  const int seconds = first.second;
  state.clockMinute = second.minute;
  if (state.CyclesSinceReport > kLongInterval) state.ValidFlags |= kFlagReportDue;
  if (sample.altitude < kLowAltitude &&
      (seconds % kClockDivisor == 0 || state.CyclesSinceReport > kShortInterval)) {
    state.ValidFlags |= kFlagReportDue;
  }
}

void SendReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                 const std::string& positionReport, Uplink& uplink) {
  if (state.ValidFlags == kReportPattern) {
    // Keeps reports at least six cycles apart. The count is at least 1 here in a running
    // station (the first cycle never sends), so this waits at most five seconds.
    const std::int64_t pauses = std::clamp<std::int64_t>(
        std::int64_t{kMinimumSpacing} - state.CyclesSinceReport, 0, kMinimumSpacing);
    for (std::int64_t i = 0; i < pauses; ++i) uplink.clock.SleepMs(kMakeUpPauseMs);
    uplink.console.MoveTo(kLastTransmissionRow, 1);
    uplink.console.Write("Last transmission: " + ClockText(uplink.clock.Now()));
    state.CyclesSinceReport = 0;
    if (sample.altitude > 0) SendLine(uplink, positionReport);
    state.PreviousSentence = sample.ggaSentence;
    state.ValidFlags = 0;
  }

  const int minute = state.clockMinute;
  if (!StripControlBytes(config.sSTATUS).empty() && minute != state.LastStatusMinute &&
      minute % kStatusDivisor == 0) {
    state.LastStatusMinute = static_cast<std::int16_t>(minute);
    SendLine(uplink, ComposeStatusReport(config));
  }
}

}  // namespace nimbrix
