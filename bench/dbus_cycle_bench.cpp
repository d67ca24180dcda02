// ReadSondeSample through the real D-Bus backend: fifteen GETSONDEDATA calls to a running
// decoder (sonde-sim), what one cycle spends waiting on the decoder. Run it on a session bus
// with a decoder, as scripts/measure-cycle.sh does.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/station.h"
#include "platform/system.h"
#include "telemetry/telemetry.h"

namespace {

void BM_ReadSondeSampleOverDbus(benchmark::State& state) {
  std::unique_ptr<nimbrix::Automation> decoder = nimbrix::MakeSystemAutomation();
  if (!decoder->Attach(nimbrix::kDecoderProgId)) {
    state.SkipWithError("no decoder on the session bus (start sonde-sim first)");
    return;
  }
  nimbrix::SondeSample sample;
  for (auto _ : state) {
    nimbrix::ReadSondeSample(*decoder, sample);
    benchmark::DoNotOptimize(sample);
  }
  if (sample.serial.empty()) state.SkipWithError("the decoder gave no serial number");
  decoder->Release();
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ReadSondeSampleOverDbus)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
