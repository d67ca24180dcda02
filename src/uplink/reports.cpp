#include "uplink/reports.h"

#include <algorithm>
#include <utility>

#include "format/clock_text.h"
#include "format/coordinate_text.h"
#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/safe_text.h"
#include "uplink/gga_sentence.h"
#include "uplink/object_name.h"

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

constexpr std::size_t kObjectNameWidth = 9;

std::string Number(double value) {
  return TrimmedNumberText(value, 15);
}

// Which readings the comment carries: all of them (the position report), or only those the
// decoder gave (the object).
enum class Readings { kAll, kGiven };

// Pieces 6 to 22 of the position report: time, position, course and speed, altitude, comment.
std::string PositionAndComment(const StationConfig& config, const SondeSample& sample,
                               Readings readings) {
  const std::string symbol = StripControlBytes(config.sSYMBOL);
  std::string line = StripControlBytes(TimeOfDayField(sample.timeText));
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
  const bool all = readings == Readings::kAll;
  const GivenReadings& given = sample.given;
  if (all || given.climb) line += " Clb=" + Number(sample.climb) + "m/s";
  if (all || given.pressure) line += " P=" + Number(sample.pressure) + "hPa";
  if (all || given.temperature) line += " T=" + Number(sample.temperature) + "oC";
  if (all || given.humidity) line += " U=" + Number(sample.humidity) + "%";
  if (config.nID == 1) line += " ID=" + StripControlBytes(sample.serial);
  // Every digit of the frame number, never a rounded or scientific form.
  if (config.nFRAME == 1 && (all || given.frame)) line += " FN=" + std::to_string(sample.frame);
  const std::string qrg = StripControlBytes(sample.qrg);
  if (config.nQRG == 1 && (all || !qrg.empty())) {
    // Appended in two steps: g++ 12 -O3 warns falsely (-Wrestrict) on " " + std::string.
    line += ' ';
    line += qrg;
  }
  return line;
}

// The report of this cycle goes out: the make-up pauses it waits for, and the state it leaves.
int TakeReport(ReportState& state) {
  // Keeps reports at least six cycles apart. The count is at least 1 here in a running
  // station (the first cycle never sends), so this waits at most five seconds.
  const int pauses = static_cast<int>(std::clamp<std::int64_t>(
      std::int64_t{kMinimumSpacing} - state.CyclesSinceReport, 0, kMinimumSpacing));
  state.CyclesSinceReport = 0;
  state.ValidFlags = 0;
  state.ObjectDueMarked = false;
  return pauses;
}

void MarkObjectDue(ReportState& state, const SondeSample& sample) {
  if (state.ObjectDueMarked) state.ValidFlags &= ~kFlagReportDue;
  const std::optional<std::string> name = ObjectNameOf(sample.serial, sample.typeOrAprsName);
  if (!name) {
    state.ObjectDueMarked = false;
    return;
  }
  const SentObject* sent = FindSentObject(state, *name);
  state.ObjectDueMarked = !sent || state.Cycle - sent->cycle >= kObjectInterval;
  if (state.ObjectDueMarked) state.ValidFlags |= kFlagReportDue;
}

void PlanObject(ReportState& state, const StationConfig& config, const SondeSample& sample,
                ReportPlan& plan) {
  const std::optional<std::string> name = ObjectNameOf(sample.serial, sample.typeOrAprsName);
  if (!name) {
    // Nothing goes out for this sonde; the operator is told once its position is valid and new.
    if ((state.ValidFlags & kFlagsReady) == kFlagsReady) plan.serialWithoutName = sample.serial;
    return;
  }
  if (state.ValidFlags != kReportPattern) return;
  plan.makeUpPauses = TakeReport(state);
  plan.positionLine = ComposeObjectReport(config, sample, *name);
  RememberSentObject(state, *name);
}

}  // namespace

const SentObject* FindSentObject(const ReportState& state, const std::string& name) {
  for (const SentObject& sent : state.SentObjects) {
    if (sent.name == name) return &sent;
  }
  return nullptr;
}

void RememberSentObject(ReportState& state, const std::string& name) {
  std::vector<SentObject>& sent = state.SentObjects;
  std::erase_if(sent, [&](const SentObject& s) { return s.name == name; });
  if (sent.size() >= kObjectMemory) sent.erase(sent.begin());
  sent.push_back({name, state.Cycle});
}

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
  return StripControlBytes(config.sUSER) + kHeaderTail + "@" +
         PositionAndComment(config, sample, Readings::kAll) + "\r\n";
}

std::string ComposeObjectReport(const StationConfig& config, const SondeSample& sample,
                                const std::string& name) {
  std::string padded = StripControlBytes(name).substr(0, kObjectNameWidth);
  padded.resize(kObjectNameWidth, ' ');
  return StripControlBytes(config.sUSER) + kHeaderTail + ";" + padded + "*" +
         PositionAndComment(config, sample, Readings::kGiven) + "\r\n";
}

std::string ComposeStatusReport(const StationConfig& config) {
  return StripControlBytes(config.sUSER) + kHeaderTail + ">" + StripControlBytes(config.sSTATUS) +
         "\r\n";
}

void MarkReportDue(ReportState& state, const StationConfig& config, const SondeSample& sample,
                   int clockSecond) {
  if (config.nOBJECT == 1) {
    MarkObjectDue(state, sample);
    return;
  }
  if (state.CyclesSinceReport > kLongInterval) state.ValidFlags |= kFlagReportDue;
  if (sample.altitude < kLowAltitude &&
      (clockSecond % kClockDivisor == 0 || state.CyclesSinceReport > kShortInterval)) {
    state.ValidFlags |= kFlagReportDue;
  }
}

ReportPlan PlanReports(ReportState& state, const StationConfig& config, const SondeSample& sample,
                       int clockMinute) {
  ReportPlan plan;
  if (config.nOBJECT == 1) {
    PlanObject(state, config, sample, plan);
  } else if (state.ValidFlags == kReportPattern) {
    // All four bits: the position is valid and new (bit 2 means PreviousSentence already holds
    // this cycle's sentence), the altitude above 0, and a report due.
    plan.makeUpPauses = TakeReport(state);
    plan.positionLine = ComposePositionReport(config, sample);
  }

  if (!StripControlBytes(config.sSTATUS).empty() && clockMinute != state.LastStatusMinute &&
      clockMinute % kStatusDivisor == 0) {
    state.LastStatusMinute = static_cast<std::int16_t>(clockMinute);
    plan.statusLine = ComposeStatusReport(config);
  }
  return plan;
}

void EndCycle(ReportState& state) {
  ++state.CyclesSinceReport;
  ++state.Cycle;
}

std::string LastObjectName(const ReportState& state) {
  return state.SentObjects.empty() ? std::string() : state.SentObjects.back().name;
}

}  // namespace nimbrix
