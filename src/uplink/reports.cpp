#include "uplink/reports.h"

#include <algorithm>
#include <utility>

#include "format/clock_text.h"
#include "format/coordinate_text.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/safe_text.h"
#include "uplink/gga_sentence.h"

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
constexpr int kStatusDivisor = 3;

std::string Number(double value) {
  return TrimmedNumberText(value, 15);
}

}  // namespace

void UpdateValidFlags(ReportState& state, const SondeSample& sample) {
  std::uint16_t flags = state.ValidFlags & ~(kFlagPosition | kFlagAltitude | kFlagNewSentence);
  if (sample.latitude != 0 && sample.longitude != 0) flags |= kFlagPosition;
  if (sample.altitude > 0) flags |= kFlagAltitude;
  // The pressure option (nP0) has no part here: the readiness of a report rests on the
  // position, the altitude and new data alone, also when the sonde gives no pressure.
  std::string sentence = GgaSentence(sample);
  if (state.PreviousSentence.empty()) state.PreviousSentence = sentence;
  if (sentence != state.PreviousSentence) {
    state.PreviousSentence = std::move(sentence);
    flags |= kFlagNewSentence;
  }
  state.ValidFlags = flags;
}

std::string ComposePositionReport(const StationConfig& config, const SondeSample& sample) {
  const std::string symbol = StripControlBytes(config.sSYMBOL);
  std::string line = StripControlBytes(config.sUSER) + kHeaderTail;
  line += '@';
  line += StripControlBytes(TimeOfDayField(sample.timeText));
  line += 'h';
  line += LatitudeTexts(sample.latitude).aprs;
  line += symbol.substr(0, 1);
  line += LongitudeTexts(sample.longitude).aprs;
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
  // Every digit of the frame number, never a rounded or scientific form.
  if (config.nFRAME == 1) line += " FN=" + std::to_string(sample.frame);
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

void MarkReportDue(ReportState& state, const SondeSample& sample, int clockSecond) {
  if (state.CyclesSinceReport > kLongInterval) state.ValidFlags |= kFlagReportDue;
  if (sample.altitude < kLowAltitude &&
      (clockSecond % kClockDivisor == 0 || state.CyclesSinceReport > kShortInterval)) {
    state.ValidFlags |= kFlagReportDue;
  }
}

ReportPlan PlanReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                       int clockMinute) {
  ReportPlan plan;
  // All four bits: the position is valid and new (bit 2 means PreviousSentence already holds
  // this cycle's sentence), the altitude above 0, and a report due.
  if (state.ValidFlags == kReportPattern) {
    // Keeps reports at least six cycles apart. The count is at least 1 here in a running
    // station (the first cycle never sends), so this waits at most five seconds.
    plan.makeUpPauses = static_cast<int>(std::clamp<std::int64_t>(
        std::int64_t{kMinimumSpacing} - state.CyclesSinceReport, 0, kMinimumSpacing));
    plan.positionLine = ComposePositionReport(config, sample);
    state.CyclesSinceReport = 0;
    state.ValidFlags = 0;
  }

  if (!StripControlBytes(config.sSTATUS).empty() && clockMinute != state.LastStatusMinute &&
      clockMinute % kStatusDivisor == 0) {
    state.LastStatusMinute = static_cast<std::int16_t>(clockMinute);
    plan.statusLine = ComposeStatusReport(config);
  }
  return plan;
}

}  // namespace nimbrix
