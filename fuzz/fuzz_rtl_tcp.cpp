// What the rtl_tcp client makes of an arbitrary stream: the greeting, then I/Q bytes arriving
// in reads of fuzzed sizes through the byte ring. Never a pair split across reads taken as two
// samples, never a value outside [-1, 1].

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "iq/byte_ring.h"
#include "iq/rtl_tcp_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using nimbrix::fuzz::Check;
  FuzzedDataProvider in(data, size);
  const std::vector<std::uint8_t> greeting =
      in.ConsumeBytes<std::uint8_t>(receiver::kRtlTcpGreetingSize);
  if (const auto parsed = receiver::ParseRtlTcpGreeting(greeting)) {
    (void)receiver::RtlTunerName(parsed->tuner_type);
  }
  (void)receiver::ParseRtlTcpCommand(in.ConsumeBytes<std::uint8_t>(5));

  receiver::ByteRing ring(in.ConsumeIntegralInRange<std::size_t>(1, 4096));
  std::vector<std::complex<float>> samples;
  std::size_t kept = 0;  // bytes the ring took (what it did not drop)
  std::size_t converted = 0;
  std::vector<std::uint8_t> out(8192);
  while (in.remaining_bytes() > 0) {
    const std::vector<std::uint8_t> read =
        in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 3000));
    kept += read.size() - ring.Push(read);
    const std::size_t taken = ring.Pop(out.data(), in.ConsumeIntegralInRange<std::size_t>(0, 8192));
    Check(taken % 2 == 0, "the ring hands out whole pairs");
    converted += receiver::AppendIqPairs({out.data(), taken}, samples);
  }
  Check(converted <= kept + 1, "no more bytes out than the ring took");
  for (const auto& s : samples) {
    Check(std::abs(s.real()) <= 1.0f && std::abs(s.imag()) <= 1.0f, "samples within [-1, 1]");
  }
  return 0;
}
