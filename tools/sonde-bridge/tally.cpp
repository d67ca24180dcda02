#include "tally.h"

namespace bridge {

namespace {

std::string Count(std::uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::uint64_t Tally::Skipped() const {
  std::uint64_t n = 0;
  for (const std::uint64_t s : skipped) n += s;
  return n;
}

Tally Tally::Since(const Tally& earlier) const {
  Tally t;
  t.accepted = accepted - earlier.accepted;
  for (std::size_t r = 0; r < skipped.size(); ++r) t.skipped[r] = skipped[r] - earlier.skipped[r];
  return t;
}

std::string ReasonsText(const Tally& tally) {
  std::string text;
  for (int r = 0; r < kSkipReasonCount; ++r) {
    const std::uint64_t n = tally.skipped[static_cast<std::size_t>(r)];
    if (n == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(n) + " " + SkipReasonText(static_cast<SkipReason>(r));
  }
  return text;
}

std::string SummaryText(const Tally& tally) {
  const std::string reasons = ReasonsText(tally);
  return Count(tally.Read(), "line", "lines") + " read, " +
         Count(tally.accepted, "frame", "frames") + " accepted, " +
         Count(tally.Skipped(), "line", "lines") + " skipped" +
         (reasons.empty() ? "" : " (" + reasons + ")");
}

std::vector<std::string> EndOfInputTexts(const Tally& tally, const std::string& what) {
  std::vector<std::string> texts{what + ": " + SummaryText(tally)};
  if (tally.accepted == 0) {
    texts.push_back("the decoder printed nothing usable: is its input right?");
    texts.push_back(
        "(the decoders read WAV on standard input when given no file; a lone \"-\" wants raw IQ "
        "samples with --IQ, a sample rate and bits per sample: see sonde-bridge --help)");
  }
  return texts;
}

}  // namespace bridge
