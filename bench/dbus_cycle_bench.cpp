// ReadSondeSample through the real D-Bus backend: fifteen GETSONDEDATA calls to a running
// decoder (sonde-sim), what one cycle spends waiting on the decoder: all fifteen in flight at
// once, as the station asks them, and one after the other, each waiting for its answer. Run it
// on a session bus with a decoder, as scripts/measure-cycle.sh does.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>

#include "app/station.h"
#include "platform/system.h"
#include "telemetry/telemetry.h"

namespace {

// The backend with its round taken away: Automation's own CallRound, one call after the other.
class OneByOne : public nimbrix::Automation {
 public:
  explicit OneByOne(std::unique_ptr<nimbrix::Automation> inner) : inner_(std::move(inner)) {}
  bool Attach(std::string_view progId) override { return inner_->Attach(progId); }
  bool IsAttached() const override { return inner_->IsAttached(); }
  nimbrix::CallResult Call(std::string_view member, std::int16_t argument) override {
    return inner_->Call(member, argument);
  }
  void Release() override { inner_->Release(); }

 private:
  std::unique_ptr<nimbrix::Automation> inner_;
};

void BM_ReadSondeSampleOverDbus(benchmark::State& state) {
  std::unique_ptr<nimbrix::Automation> decoder = nimbrix::MakeSystemAutomation();
  if (state.range(0) == 1) decoder = std::make_unique<OneByOne>(std::move(decoder));
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

BENCHMARK(BM_ReadSondeSampleOverDbus)
    ->ArgName("one_by_one")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
