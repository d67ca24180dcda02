#include "intake.h"

#include <utility>
#include <variant>

#include "decoder-service/time_text.h"
#include "frame_answers.h"

namespace bridge {

std::string Printable(std::string_view text, std::size_t limit) {
  const bool cut = text.size() > limit;
  if (cut) text = text.substr(0, limit);
  std::string out;
  out.reserve(text.size() + 3);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80) {
      out += '?';  // U+0080..U+009F
      ++i;
    } else {
      out += b < 0x20 || b == 0x7F ? '?' : static_cast<char>(b);
    }
  }
  if (cut) out += "...";
  return out;
}

Intake::Intake(std::string serial, FrameStore& store, Log log)
    : serial_(std::move(serial)), store_(store), log_(std::move(log)) {}

void Intake::Skipped(SkipReason reason, std::string_view detail) {
  store_.Skip(reason);
  if (!log_) return;
  std::string text = "line " + std::to_string(lineNumber_) + " skipped: " + SkipReasonText(reason);
  if (!detail.empty()) text += " (" + std::string(detail) + ")";
  log_(text);
}

void Intake::OnTooLong() {
  ++lineNumber_;
  Skipped(SkipReason::kTooLong, {});
}

void Intake::OnLine(std::string_view line) {
  ++lineNumber_;
  std::variant<Frame, Skip> parsed = ParseFrame(line);
  if (const Skip* skip = std::get_if<Skip>(&parsed)) {
    Skipped(skip->reason, skip->field ? skip->field : "");
    return;
  }
  Frame& frame = std::get<Frame>(parsed);
  if (!serial_.empty() && frame.id != serial_) {
    Skipped(SkipReason::kOtherSonde, log_ ? Printable(frame.id) : std::string());
    return;
  }
  if (log_) {
    const auto frameNumber =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(frame.frame.value_or(0)));
    log_("line " + std::to_string(lineNumber_) + ": " + Printable(frame.id) + " frame " +
         std::to_string(frameNumber) + " at " + decoder::TimeText(WholeSeconds(frame.utcMs)) +
         " UTC");
  }
  store_.Accept(std::move(frame));
}

}  // namespace bridge
