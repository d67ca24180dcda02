// The station's own work per cycle, without the decoder's and the network's latency: one
// position report, and one whole main-cycle iteration against the in-memory fakes (the clock's
// pauses cost nothing, so what is measured is the program's overhead above its 950 ms pause).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>

#include "app/error_log.h"
#include "app/fake/fake_platform.h"
#include "app/main_cycle.h"
#include "app/primary_link.h"
#include "app/station_outputs.h"
#include "app/terminal_view.h"
#include "config/station_config.h"
#include "platform/fake/fake_http_requester.h"
#include "sondehub/sondehub_output.h"
#include "telemetry/telemetry.h"
#include "uplink/reports.h"
#include "uplink/uplink.h"

namespace {

using namespace nimbrix;

StationConfig BenchConfig() {
  StationConfig c;
  c.sUSER = "DL1ABC-11";
  c.sPASS = "12345";
  c.sSTATUS = "Sonde relay";
  c.nQRG = 1;
  c.nID = 1;
  c.sSYMBOL = "/O";
  c.nALTITUDE = 1;
  c.nFRAME = 1;
  c.LoginLine = BuildLoginLine(c.sUSER, c.sPASS);
  return c;
}

// The decoder's answers as sonde-sim gives them in mid-flight.
void AnswerLikeADecoder(fake::FakeAutomation& decoder, double latitude) {
  decoder.answers = {
      {kSerial, Variant::Text("S3210987")},
      {kLatitude, Variant::Real(latitude)},
      {kLongitude, Variant::Real(12.499184)},
      {kAltitude, Variant::Real(29100.0)},
      {kHeading, Variant::Real(255.7)},
      {kSpeed, Variant::Real(12.28)},
      {kTimeText, Variant::Text("2024-05-01 11:35:20")},
      {kQrg, Variant::Text("403.001")},
      {kPressure, Variant::Real(13.42)},
      {kTemperature, Variant::Real(-47.40)},
      {kHumidity, Variant::Real(2.2)},
      {kTypeOrAprsName, Variant::Text("RS41")},
      {kClimb, Variant::Real(5.00)},
      {kFrame, Variant::Signed(5721)},
      {kTimeMs, Variant::Signed(1714563320000, VT_I8)},
  };
}

void BM_ComposePositionReport(benchmark::State& state) {
  const StationConfig config = BenchConfig();
  fake::FakeAutomation decoder;
  AnswerLikeADecoder(decoder, 47.862135);
  decoder.Attach(kDecoderProgId);
  SondeSample sample;
  ReadSondeSample(decoder, sample);
  for (auto _ : state) {
    std::string line = ComposePositionReport(config, sample);
    benchmark::DoNotOptimize(line);
  }
  state.SetItemsProcessed(state.iterations());
}

// A connected station on the fakes, without journals (their text would be measured too), whose
// main cycle the benchmarks step.
struct BenchStation {
  explicit BenchStation(const StationConfig& stationConfig) : config(stationConfig) {
    tcp.reachable = {"euro.aprs2.net:14580"};
    servers.sSERVER[1] = "euro.aprs2.net,14580";
    servers.nSERVERS = 1;
    AnswerLikeADecoder(decoder, 47.862135);
    decoder.Attach(kDecoderProgId);
    ConnectServers(primary.uplink());
  }

  // The fakes keep records a real platform does not; keep them from growing without end.
  void ForgetNowAndThen() {
    if (++steps % 1024 != 0) return;
    decoder.calls.clear();
    tcp.sent.clear();
    tcp.lines.clear();
    console.transcript.clear();
    clock.sleeps.clear();
  }

  StationConfig config;
  fake::FakePlatform f;
  fake::FakeConsole console;
  fake::FakeClock clock;
  fake::FakeAutomation decoder;
  fake::FakeTcpClient tcp;
  Platform p{console, clock, decoder, tcp, f.http, f.process, f.files};
  ServerList servers;
  TerminalView view{console};
  ErrorLog errors{f.files};
  PrimaryLink primary{p, servers, config.LoginLine, config.sUSER, view, errors};
  std::unique_ptr<StationOutputs> outputs;  // beside the primary link, where a benchmark has them
  std::int64_t steps = 0;
};

// One iteration of the main cycle, as the station runs it. `sending`: the position moves and
// "s" asks for a report every cycle, so iterations also put lines on the (fake) connection.
void BM_WholeCycle(benchmark::State& state, bool sending) {
  BenchStation station(BenchConfig());
  MainCycle cycle(station.p, station.config, station.primary, station.view);

  double latitude = 47.862135;
  for (auto _ : state) {
    if (sending) {
      latitude += 0.00001;
      station.decoder.answers[kLatitude] = Variant::Real(latitude);
      station.console.keys.push_back("s");
    }
    benchmark::DoNotOptimize(cycle.Step());
    station.ForgetNowAndThen();
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["lines_sent"] = static_cast<double>(station.tcp.lines.size());
}

// The same cycle with or without the SondeHub feed beside it: a new frame every cycle, so each
// cycle makes a record, and every 20th puts a gzip'd batch on the (fake, instantly answering)
// HTTP request.
void BM_CycleWithSondehub(benchmark::State& state, bool feed) {
  StationConfig config = BenchConfig();
  config.nSONDEHUB = feed ? 1 : 0;
  config.position = StationPosition{47.5, 12.25, 612};
  BenchStation station(config);
  OutputList list;
  fake::FakeHttpRequester* http = nullptr;
  if (feed) {
    auto requester = std::make_unique<fake::FakeHttpRequester>(station.clock);
    http = requester.get();
    list.push_back(std::make_unique<SondehubOutput>(config, station.clock, std::move(requester)));
  }
  station.outputs =
      std::make_unique<StationOutputs>(std::move(list), station.p, station.errors, station.primary);
  MainCycle cycle(station.p, station.config, station.primary, station.view, station.outputs.get());

  std::int64_t frame = 5721;
  for (auto _ : state) {
    station.decoder.answers[kFrame] = Variant::Signed(++frame);
    benchmark::DoNotOptimize(cycle.Step());
    station.ForgetNowAndThen();
    if (http && station.steps % 1024 == 0) {
      http->requests.clear();
      http->startedAtMs.clear();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_ComposePositionReport);
BENCHMARK_CAPTURE(BM_CycleWithSondehub, sondehub_off, false);
BENCHMARK_CAPTURE(BM_CycleWithSondehub, sondehub_on, true);
BENCHMARK_CAPTURE(BM_WholeCycle, quiet, false);
BENCHMARK_CAPTURE(BM_WholeCycle, sending, true);

BENCHMARK_MAIN();
