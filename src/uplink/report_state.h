#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nimbrix {

inline constexpr std::uint16_t kFlagPosition = 0x01;
inline constexpr std::uint16_t kFlagAltitude = 0x02;
inline constexpr std::uint16_t kFlagNewSentence = 0x04;
inline constexpr std::uint16_t kFlagReportDue = 0x80;
inline constexpr std::uint16_t kReportPattern = 0x87;
// Bits 0..2: the position is valid and new; only the due (bit 7) is missing for a report.
inline constexpr std::uint16_t kFlagsReady = kFlagPosition | kFlagAltitude | kFlagNewSentence;

// How many sondes' objects the object mode remembers.
inline constexpr std::size_t kObjectMemory = 64;

// One sonde's object that went out in this run: its name and the cycle it went out in.
struct SentObject {
  std::string name;
  std::int64_t cycle = 0;
};

// What the report logic carries from one cycle to the next; zero or empty at start-up.
struct ReportState {
  std::uint16_t ValidFlags = 0;
  std::int32_t CyclesSinceReport = 0;
  std::int16_t LastStatusMinute = 0;
  std::string PreviousSentence;  // the position sentence of the previous cycle

  // The object mode (OBJECT=YES) only:
  std::int64_t Cycle = 0;  // the run's cycle number, from 0
  // The sondes whose objects went out, the latest last; the oldest is forgotten beyond
  // kObjectMemory (a sonde that comes back after that counts as new).
  std::vector<SentObject> SentObjects;
  bool ObjectDueMarked = false;  // bit 7 was set for this cycle's sonde by MarkReportDue
};

}  // namespace nimbrix
