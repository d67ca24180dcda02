// Conversions per second of the exact number formatting, on the values a station really sees
// and on the slow corners (long binary fractions, huge and tiny values).

#include <benchmark/benchmark.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "format/format_mask.h"
#include "format/number_text.h"
#include "format/text_to_number.h"

namespace {

// Telemetry-like values: coordinates, altitudes, pressures, temperatures, a few decimals each.
std::vector<double> TelemetryValues() {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> spread(-40000.0, 40000.0);
  std::vector<double> values(4096);
  for (double& v : values) v = spread(rng) / 1000.0 * (rng() % 2 ? 1.0 : 1000.0);
  return values;
}

// Doubles from random bit patterns: mostly huge or tiny, the longest exact expansions.
std::vector<double> ExtremeValues() {
  std::mt19937_64 rng(11);
  std::vector<double> values;
  while (values.size() < 4096) {
    const double d = std::bit_cast<double>(static_cast<std::uint64_t>(rng()));
    if (std::isfinite(d)) values.push_back(d);
  }
  return values;
}

void BM_FormatMask(benchmark::State& state, const char* mask, std::vector<double> values) {
  std::size_t i = 0;
  for (auto _ : state) {
    std::string text = nimbrix::FormatMask(values[i++ & 4095], mask);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_NumberText(benchmark::State& state, int digits, std::vector<double> values) {
  std::size_t i = 0;
  for (auto _ : state) {
    std::string text = nimbrix::NumberText(values[i++ & 4095], digits);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_NumberTextInteger(benchmark::State& state) {
  std::int64_t v = 123456789;
  for (auto _ : state) {
    std::string text = nimbrix::NumberText(v++, 7);
    benchmark::DoNotOptimize(text);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_TextToNumber(benchmark::State& state) {
  const std::string text = " -1234.5678E-2";
  for (auto _ : state) benchmark::DoNotOptimize(nimbrix::TextToNumber(text));
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK_CAPTURE(BM_FormatMask, coordinate, "* 0.00000 ", TelemetryValues());
BENCHMARK_CAPTURE(BM_FormatMask, minutes, "00.0000", TelemetryValues());
BENCHMARK_CAPTURE(BM_FormatMask, climb, "* #.#", TelemetryValues());
BENCHMARK_CAPTURE(BM_FormatMask, altitude_feet, "000000", TelemetryValues());
BENCHMARK_CAPTURE(BM_FormatMask, extreme, "* 0.00000 ", ExtremeValues());
BENCHMARK_CAPTURE(BM_NumberText, digits15, 15, TelemetryValues());
BENCHMARK_CAPTURE(BM_NumberText, digits7, 7, TelemetryValues());
BENCHMARK_CAPTURE(BM_NumberText, extreme15, 15, ExtremeValues());
BENCHMARK(BM_NumberTextInteger);
BENCHMARK(BM_TextToNumber);

BENCHMARK_MAIN();
