// The receiver's DSP at the dongle's rate. Items are wide-stream samples (demodulated samples
// for the kind detector), so items/s over 2.048e6 is how many real-time streams one core
// carries; its inverse is the share of a core one stream costs.
#include <benchmark/benchmark.h>

#include <complex>
#include <random>
#include <vector>

#include "dsp/channel.h"
#include "dsp/fsk_modulator.h"
#include "dsp/kind_detector.h"
#include "dsp/spectrum.h"
#include "dsp/symbol_slicer.h"
#include "dfm/dfm_decoder.h"
#include "rs41/rs41_decoder.h"

namespace {

constexpr double kWideRate = 2048000;
constexpr std::size_t kBlock = 262144;  // what a dongle hands over at a time

// A band with one RS41-like sonde in noise, made once.
const std::vector<std::complex<float>>& Band() {
  static const std::vector<std::complex<float>> band = [] {
    std::vector<std::complex<float>> x(kBlock);
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    for (auto& v : x) v = {noise(rng), noise(rng)};
    receiver::FskModulator mod({kWideRate, 4800, 2400, 0.5, 300000, 1.0f});
    std::vector<std::uint8_t> symbols(kBlock * 4800 / 2048000 + 8);
    for (auto& s : symbols) s = static_cast<std::uint8_t>(rng() & 1);
    mod.Queue(symbols);
    mod.Generate(x);
    return x;
  }();
  return band;
}

void BM_SpectrumWhileScanning(benchmark::State& state) {
  receiver::SpectrumAverager averager(static_cast<int>(state.range(0)));
  const auto& band = Band();
  for (auto _ : state) {
    averager.Add(band);
    if (averager.Count() > 500) {
      auto peaks = receiver::FindPeaks(averager.PowerDb(), {});
      benchmark::DoNotOptimize(peaks);
      averager.Reset();
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * band.size()));
}
BENCHMARK(BM_SpectrumWhileScanning)->Arg(2048)->Arg(4096);

void BM_ChannelAndSlicer(benchmark::State& state) {
  receiver::Channel channel({kWideRate, 300000, 48000, 16000});
  receiver::SymbolSlicer slicer(48000, 4800);
  const auto& band = Band();
  std::vector<float> demod;
  std::vector<std::uint8_t> symbols;
  for (auto _ : state) {
    demod.clear();
    symbols.clear();
    channel.Process(band, demod);
    slicer.Process(demod, symbols);
    benchmark::DoNotOptimize(symbols.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * band.size()));
}
BENCHMARK(BM_ChannelAndSlicer);

// A whole sonde's channel as the receiver runs it, its decoder included: an RS41 (4800 bit/s)
// and a DFM (2500 chips/s, a narrower channel) on the same band.
template <typename Decoder>
void BM_SondeChannel(benchmark::State& state, double symbolRate, double widthHz) {
  receiver::Channel channel({kWideRate, 300000, 48000, widthHz});
  receiver::SymbolSlicer slicer(48000, symbolRate);
  Decoder decoder;
  const auto& band = Band();
  std::vector<float> demod;
  std::vector<std::uint8_t> symbols;
  for (auto _ : state) {
    demod.clear();
    symbols.clear();
    channel.Process(band, demod);
    slicer.Process(demod, symbols);
    auto frames = decoder.PushSymbols(symbols);
    benchmark::DoNotOptimize(frames);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * band.size()));
}
void BM_Rs41Channel(benchmark::State& state) {
  BM_SondeChannel<receiver::Rs41Decoder>(state, 4800, 16000);
}
BENCHMARK(BM_Rs41Channel);
void BM_DfmChannel(benchmark::State& state) {
  BM_SondeChannel<receiver::DfmDecoder>(state, 2500, 13200);
}
BENCHMARK(BM_DfmChannel);

void BM_FskModulator(benchmark::State& state) {
  receiver::FskModulator mod({kWideRate, 4800, 2400, 0.5, 100000, 1.0f});
  std::vector<std::complex<float>> out(kBlock);
  std::vector<std::uint8_t> symbols(kBlock * 4800 / 2048000 + 8, 1);
  for (auto _ : state) {
    if (mod.Pending() < symbols.size()) mod.Queue(symbols);
    mod.Generate(out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_FskModulator);

// On demodulated noise it never finds a kind, so it keeps working: its worst case.
void BM_KindDetector(benchmark::State& state) {
  std::vector<float> demod(48000);
  std::mt19937 rng(2);
  std::normal_distribution<float> noise(0.0f, 3000.0f);
  for (float& x : demod) x = noise(rng);
  receiver::KindDetector detector(48000);
  for (auto _ : state) {
    detector.Process(demod);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * demod.size()));
}
BENCHMARK(BM_KindDetector);

}  // namespace

BENCHMARK_MAIN();
