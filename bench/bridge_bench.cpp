// sonde-bridge's line reader: frames per second from the decoders' JSON lines to the answers
// the service gives, on one core. The decoders send one frame a second per sonde; a replayed
// file comes as fast as it can be read.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "egm96_geoid.h"
#include "frame.h"
#include "frame_store.h"
#include "intake.h"
#include "line_splitter.h"

namespace {

// A climbing RS41 as rs41mod --ptu --json prints it (each frame followed by an empty line).
std::string Flight(int frames) {
  std::string text;
  char line[1024];
  for (int i = 0; i < frames; ++i) {
    const double t = i;
    const int second = i % 60, minute = (i / 60) % 60;
    std::snprintf(line, sizeof line,
                  "{ \"type\": \"RS41\", \"frame\": %d, \"id\": \"S3210987\", \"datetime\": "
                  "\"2026-05-01T11:%02d:%02d.001Z\", \"lat\": %.5f, \"lon\": %.5f, \"alt\": %.5f, "
                  "\"vel_h\": %.5f, \"heading\": %.5f, \"vel_v\": %.5f, \"sats\": %d, \"bt\": "
                  "65535, \"batt\": %.2f, \"temp\": %.1f, \"humidity\": %.1f, \"pressure\": "
                  "%.2f, \"subtype\": \"RS41-SGP\", \"encrypted\": false, \"freq\": 403500, "
                  "\"tx_frequency\": 403500, \"ref_datetime\": \"GPS\", \"ref_position\": "
                  "\"GPS\" }\n\n",
                  6127 + i, minute, second, 47.86214 + t * 1e-5, 12.49918 + t * 2e-5,
                  520.0 + t * 5.01, 12.28 + std::sin(t / 50), std::fmod(75.7 + t * 0.1, 360.0),
                  5.01 + std::sin(t / 7) * 0.5, 8 + i % 4, 2.9 - t * 1e-4, 15.0 - t * 0.03,
                  std::fmod(80.0 - t * 0.01, 100.0), 1013.25 - t * 0.5);
    text += line;
  }
  return text;
}

constexpr int kFrames = 2000;

// Splitter, ParseFrame, the follower and the store, fed in reads of 64 KiB as from a file;
// with the argument 1 also the EGM96 geoid through PROJ for every frame's height.
void BM_LineReader(benchmark::State& state) {
  const std::string input = Flight(kFrames);
  bridge::FrameStore store;
  bridge::IntakeOptions options;
  if (state.range(0) == 1) {
    options.geoid = [](std::string& error) {
      return bridge::OpenEgm96Geoid(bridge::kEgm96Grid, error);
    };
    options.notice = [&state](const std::string& text) {
      if (text.find("geoid") != std::string::npos) state.SkipWithError(text.c_str());
    };
  }
  bridge::Intake intake(options, store);
  for (auto _ : state) {
    for (std::size_t at = 0; at < input.size(); at += 65536) {
      intake.Feed(std::string_view(input).substr(at, 65536));
    }
  }
  if (store.Counts().accepted != static_cast<std::uint64_t>(state.iterations()) * kFrames) {
    state.SkipWithError("frames were skipped");
  }
  state.SetItemsProcessed(state.iterations() * kFrames);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}
BENCHMARK(BM_LineReader)->Arg(0)->Arg(1);

void BM_ParseFrame(benchmark::State& state) {
  const std::string input = Flight(1);
  const std::string_view line(input.data(), input.find('\n'));
  for (auto _ : state) {
    auto frame = bridge::ParseFrame(line);
    benchmark::DoNotOptimize(frame);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseFrame);

class Count : public bridge::LineSplitter::Sink {
 public:
  void OnLine(std::string_view) override { ++lines; }
  void OnTooLong() override {}
  std::int64_t lines = 0;
};

void BM_LineSplitter(benchmark::State& state) {
  const std::string input = Flight(kFrames);
  Count count;
  bridge::LineSplitter splitter(count);
  for (auto _ : state) {
    for (std::size_t at = 0; at < input.size(); at += 65536) {
      splitter.Feed(std::string_view(input).substr(at, 65536));
    }
  }
  state.SetItemsProcessed(count.lines);
}
BENCHMARK(BM_LineSplitter);

}  // namespace

BENCHMARK_MAIN();
