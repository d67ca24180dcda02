// The kind detector on arbitrary demodulated samples (any float, NaN and infinities among
// them) fed in blocks of fuzzed sizes: it never crashes, and noise-like input seldom names a
// kind, which the unit tests check; here only that what it names is a known kind.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/sonde_kind.h"
#include "dsp/kind_detector.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  receiver::KindDetector detector(48000);
  const bool raw = in.ConsumeBool();
  while (in.remaining_bytes() > 0) {
    std::vector<float> block(in.ConsumeIntegralInRange<std::size_t>(1, 4000));
    for (float& v : block) {
      if (raw) {
        const std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
        std::memcpy(&v, &bits, sizeof v);
      } else {
        v = static_cast<float>(in.ConsumeIntegralInRange<int>(-6000, 6000));
      }
    }
    detector.Process(block);
  }
  if (const auto found = detector.Found()) {
    nimbrix::fuzz::Check(!receiver::KindName(found->kind).empty() &&
                             receiver::KindName(found->kind) != "?",
                         "a kind found is a known kind");
  }
  return 0;
}
