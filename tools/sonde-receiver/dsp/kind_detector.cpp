#include "dsp/kind_detector.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "dsp/symbol_slicer.h"

namespace receiver {
namespace {

// The M10 family's line code: a level change at every bit boundary, one more mid-bit for a 1.
std::string BiphaseMark(std::initializer_list<std::uint8_t> bytes, char level) {
  std::string out;
  for (std::uint8_t byte : bytes) {
    for (int b = 7; b >= 0; --b) {
      level = level == '1' ? '0' : '1';
      out += level;
      if ((byte >> b) & 1) level = level == '1' ? '0' : '1';
      out += level;
    }
  }
  return out;
}

// The sync of the M10 family, then the frame's length and type bytes that tell M10 from M20.
const std::string kMxxSync = "11001100110011001010011001001100";

struct Signature {
  SondeKind kind;
  int rate_index;       // which slicer
  std::string pattern;  // symbols as sent, 1 = upper frequency (iMet-4: the 1200 Hz tone)
  int max_errors;
};

// Symbol rates the detector slices at; several kinds share one.
enum RateIndex { k4800, k2500, k9600, k2400, kAfsk1200, kRateCount };
constexpr std::array<double, kRateCount> kRates = {4800, 2500, 9600, 2400, 1200};

std::vector<Signature> MakeSignatures() {
  return {
      {SondeKind::kRs41, k4800, "0000100001101101010100111000100001000100011010010100100000011111",
       3},
      // Three bytes 0x2A 0x2A 0x10 as 8N1, Manchester coded: one bit two symbols.
      {SondeKind::kRs92, k4800,
       "10100110011001101001"
       "10100110011001101001"
       "1010011001100110100110101010100110101001",
       3},
      {SondeKind::kLms6, k4800, "0101011000001000000111001001011100011010101001110011110100111110",
       3},
      // 0x45CF, Manchester coded.
      {SondeKind::kDfm, k2500, "10011010100110010101101001010101", 1},
      {SondeKind::kM10, k9600, kMxxSync + BiphaseMark({0x64, 0x9F}, '0'), 3},
      {SondeKind::kM20, k9600, kMxxSync + BiphaseMark({0x45, 0x20}, '0'), 3},
      {SondeKind::kIms100, k2400, "110011001101001101001101010100101010110010101010", 2},
      {SondeKind::kMrz, k2400, "10011001100110011001101010101010", 1},
      // Idle mark tone, then a start bit, 0x01 sent LSB first, the stop bit and the next start.
      {SondeKind::kImet4, kAfsk1200,
       "1111111111111111"
       "0"
       "10000000"
       "1"
       "0",
       0},
  };
}

// A sync must come twice within this many symbols of its first sighting, unless it came clean
// and long enough to be no accident on its own.
constexpr double kRepeatSeconds = 4.0;
constexpr std::size_t kCleanAloneLength = 48;

// The iMet-4's bits ride on an audio subcarrier: 1200 Hz for a 1, 2200 Hz for a 0.
class ToneDemod {
 public:
  explicit ToneDemod(double sample_rate) {
    len_ = std::max(4, static_cast<int>(sample_rate / 1200));
    step_mark_ = std::polar(1.0, -2 * std::numbers::pi * 1200 / sample_rate);
    step_space_ = std::polar(1.0, -2 * std::numbers::pi * 2200 / sample_rate);
    ring_mark_.assign(static_cast<std::size_t>(len_), {});
    ring_space_.assign(static_cast<std::size_t>(len_), {});
  }
  // Mark power minus space power over the last bit time.
  float Step(float x) {
    const std::complex<double> m = rot_mark_ * static_cast<double>(x);
    const std::complex<double> s = rot_space_ * static_cast<double>(x);
    sum_mark_ += m - ring_mark_[pos_];
    sum_space_ += s - ring_space_[pos_];
    ring_mark_[pos_] = m;
    ring_space_[pos_] = s;
    pos_ = (pos_ + 1) % ring_mark_.size();
    rot_mark_ *= step_mark_;
    rot_space_ *= step_space_;
    if (++renorm_ == 4096) {  // keep the rotators on the unit circle
      renorm_ = 0;
      rot_mark_ /= std::abs(rot_mark_);
      rot_space_ /= std::abs(rot_space_);
      sum_mark_ = {};
      sum_space_ = {};
      for (std::size_t i = 0; i < ring_mark_.size(); ++i) {
        sum_mark_ += ring_mark_[i];
        sum_space_ += ring_space_[i];
      }
    }
    const double pm = std::norm(sum_mark_), ps = std::norm(sum_space_);
    const double total = pm + ps;
    return total > 0 ? static_cast<float>((pm - ps) / total) : 0.0f;
  }

 private:
  int len_ = 40;
  std::complex<double> rot_mark_{1, 0}, rot_space_{1, 0}, step_mark_, step_space_;
  std::vector<std::complex<double>> ring_mark_, ring_space_;
  std::complex<double> sum_mark_, sum_space_;
  std::size_t pos_ = 0;
  int renorm_ = 0;
};

struct Tracker {
  Signature sig;
  std::uint64_t first_sighting = 0;  // symbol count at the first sync seen, 0: none yet
  int seen = 0;
  bool inverted = false;
};

}  // namespace

struct KindDetector::State {
  double sample_rate;
  std::vector<std::unique_ptr<SymbolSlicer>> slicers;
  std::vector<std::vector<std::uint8_t>> history;  // the last symbols of every rate
  std::vector<std::uint64_t> symbol_count;
  std::vector<Tracker> trackers;
  ToneDemod tones;
  std::vector<float> tone_buf;
  std::vector<std::uint8_t> fresh;
  std::optional<KindMatch> found;
  std::size_t longest = 0;

  explicit State(double rate) : sample_rate(rate), tones(rate) {}
};

KindDetector::KindDetector(double sample_rate) : state_(std::make_unique<State>(sample_rate)) {
  State& s = *state_;
  for (double rate : kRates) s.slicers.push_back(std::make_unique<SymbolSlicer>(sample_rate, rate));
  // The tone detector's output is centred already, and its idle mark would drag a mean.
  s.slicers[kAfsk1200]->FixMean(0);
  s.history.resize(kRateCount);
  s.symbol_count.assign(kRateCount, 0);
  for (Signature& sig : MakeSignatures()) {
    s.longest = std::max(s.longest, sig.pattern.size());
    s.trackers.push_back({std::move(sig)});
  }
}

KindDetector::~KindDetector() = default;

std::optional<KindMatch> KindDetector::Found() const {
  return state_->found;
}

void KindDetector::Process(std::span<const float> demod) {
  State& s = *state_;
  if (s.found) return;  // the job is done; the channel's decoder takes over
  s.tone_buf.resize(demod.size());
  for (std::size_t i = 0; i < demod.size(); ++i) {
    s.tone_buf[i] = s.tones.Step(std::isfinite(demod[i]) ? demod[i] : 0.0f);
  }
  for (int r = 0; r < kRateCount; ++r) {
    s.fresh.clear();
    s.slicers[r]->Process(r == kAfsk1200 ? std::span<const float>(s.tone_buf) : demod, s.fresh);
    std::vector<std::uint8_t>& hist = s.history[r];
    for (std::uint8_t sym : s.fresh) {
      hist.push_back(sym);
      if (hist.size() > 2 * s.longest)
        hist.erase(hist.begin(), hist.begin() + static_cast<std::ptrdiff_t>(s.longest));
      ++s.symbol_count[r];
      for (Tracker& t : s.trackers) {
        if (t.sig.rate_index != r) continue;
        const std::string& p = t.sig.pattern;
        if (hist.size() < p.size()) continue;
        const std::uint8_t* tail = hist.data() + hist.size() - p.size();
        int errors = 0, flipped = 0;
        for (std::size_t k = 0; k < p.size(); ++k) {
          const bool bit = p[k] == '1';
          if (tail[k] != bit)
            ++errors;
          else
            ++flipped;
        }
        const bool inverted = flipped < errors;
        const int best = inverted ? flipped : errors;
        // The iMet-4's tones have no polarity; an upside-down match there is not one.
        if (best > t.sig.max_errors || (inverted && r == kAfsk1200)) continue;
        const std::uint64_t now = s.symbol_count[r];
        const auto window = static_cast<std::uint64_t>(kRepeatSeconds * kRates[r]);
        if (t.seen == 0 || now - t.first_sighting > window || t.inverted != inverted) {
          t.seen = 0;
          t.first_sighting = now;
          t.inverted = inverted;
        }
        ++t.seen;
        const bool clean_alone = best == 0 && p.size() >= kCleanAloneLength;
        if (t.seen >= 2 || clean_alone) {
          s.found = KindMatch{t.sig.kind, inverted, t.seen};
          return;
        }
      }
    }
  }
}

KindSignal SignalOf(SondeKind kind) {
  switch (kind) {
    case SondeKind::kRs41:
      return {4800, 2400};
    case SondeKind::kRs92:
      return {4800, 3500};
    case SondeKind::kDfm:
      return {2500, 3400};
    case SondeKind::kM10:
      return {9608, 4000};
    case SondeKind::kM20:
      return {9600, 4000};
    case SondeKind::kImet4:
      return {1200, 4500};
    case SondeKind::kLms6:
      return {4800, 2400};
    case SondeKind::kIms100:
      return {2400, 3000};
    case SondeKind::kMrz:
      return {2400, 3000};
  }
  return {4800, 2400};
}

}  // namespace receiver
