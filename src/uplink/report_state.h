#pragma once

#include <cstdint>
#include <string>

namespace nimbrix {

inline constexpr std::uint16_t kFlagPosition = 0x01;
inline constexpr std::uint16_t kFlagAltitude = 0x02;
inline constexpr std::uint16_t kFlagNewSentence = 0x04;
inline constexpr std::uint16_t kFlagReportDue = 0x80;
inline constexpr std::uint16_t kReportPattern = 0x87;

// What the report logic carries from one cycle to the next; zero or empty at start-up.
struct ReportState {
  std::uint16_t ValidFlags = 0;
  std::int32_t CyclesSinceReport = 0;
  std::int16_t LastStatusMinute = 0;
  std::string PreviousSentence;  // the position sentence of the previous cycle
};

}  // namespace nimbrix
