// The status page's share of a cycle: the snapshot of a long flight (a full track, 20 lines, 20
// records, several destinations) turned into the JSON the cycle publishes once per cycle.

#include <benchmark/benchmark.h>

#include "web/status_board.h"
#include "web/status_json.h"
#include "web/status_snapshot.h"

namespace {

nimbrix::StatusCollector LongFlight() {
  nimbrix::StatusCollector c("N0CALL-11", "NIMBRIX 0.22", 1796762465000);
  nimbrix::SondeSample s;
  s.serial = "S1234567";
  s.qrg = "403.001";
  s.timeText = "2026-12-08 20:41:04";
  for (int i = 0; i < 1000; ++i) {
    s.latitude = 48.1234 + i * 1e-4;
    s.longitude = 11.5678 + i * 2e-4;
    s.altitude = 520 + 5.1 * i;
    s.frame = i;
    c.Sample(s, true, 1796762465000 + i * 1000);
    c.LineSent(
        "N0CALL-11>APZQW0,TCPIP*:@204105h4807.41N/01134.07EO090/010/A=001771 "
        "Clb=5.1m/s P=948.2hPa T=8.4oC U=71%\r\n",
        1796762465000 + i * 1000);
    c.Record("SEND Error 57 12-08-2026 - 20:41:06 -> N0CALL-11>APZQW0,TCPIP*:>gw\r\n",
             1796762465000 + i * 1000);
  }
  std::vector<nimbrix::DestinationStatus> d(4);
  for (auto& x : d) {
    x.kind = "APRS-IS";
    x.name = "aprs.example.net,14580";
    x.stateText = "login verified";
    x.lastMessage = "# logresp N0CALL-11 verified, server T2TEST";
  }
  c.Destinations(d);
  return c;
}

void BM_StatusJsonOfALongFlight(benchmark::State& state) {
  const nimbrix::StatusCollector c = LongFlight();
  nimbrix::StatusBoard board;
  for (auto _ : state) {
    board.Publish(nimbrix::StatusJson(c.snapshot()));
    benchmark::DoNotOptimize(board.Current());
  }
  state.counters["bytes"] = static_cast<double>(board.Current()->size());
}
BENCHMARK(BM_StatusJsonOfALongFlight);

}  // namespace

BENCHMARK_MAIN();
