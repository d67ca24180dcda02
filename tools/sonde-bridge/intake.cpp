#include "intake.h"

#include <chrono>
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

Intake::Intake(IntakeOptions options, FrameStore& store)
    : options_(std::move(options)),
      store_(store),
      follower_(options_.serial, options_.switchAfterMs),
      seaLevel_(options_.geoid, [this](const std::string& text) { Tell(text); }) {}

std::int64_t Intake::Now() const {
  if (options_.now) return options_.now();
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Intake::Tell(const std::string& text) const {
  if (options_.notice) options_.notice(text);
}

void Intake::Skipped(SkipReason reason, std::string_view detail) {
  store_.Skip(reason);
  if (const std::optional<std::string> quiet = quiet_.Skipped(reason, Now())) Tell(*quiet);
  if (!options_.verbose) return;
  std::string text = "line " + std::to_string(lineNumber_) + " skipped: " + SkipReasonText(reason);
  if (!detail.empty()) text += " (" + std::string(detail) + ")";
  options_.verbose(text);
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
  const std::int64_t now = Now();
  const SondeFollower::Decision decision = follower_.Consider(frame.id, now);
  if (!decision.take) {
    std::string id = Printable(frame.id);
    // A sonde pinned with --serial is the only one the operator wants, in the list too.
    if (options_.serial.empty()) {
      frame.alt = seaLevel_.AltitudeOf(frame);
      store_.Hear(std::move(frame));
    }
    Skipped(SkipReason::kOtherSonde, id);
    return;
  }
  if (decision.movedFrom) {
    std::string text = "following sonde " + Printable(frame.id);
    if (!decision.movedFrom->empty()) {
      text += " now: " + Printable(*decision.movedFrom) + " has sent nothing accepted for " +
              std::to_string(options_.switchAfterMs / 1000) + " s";
    }
    Tell(text);
  }
  frame.alt = seaLevel_.AltitudeOf(frame);
  if (options_.verbose) {
    const auto frameNumber =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(frame.frame.value_or(0)));
    options_.verbose("line " + std::to_string(lineNumber_) + ": " + Printable(frame.id) +
                     " frame " + std::to_string(frameNumber) + " at " +
                     decoder::TimeText(WholeSeconds(frame.utcMs)) + " UTC");
  }
  quiet_.Accepted(now);
  store_.Accept(std::move(frame));
}

}  // namespace bridge
