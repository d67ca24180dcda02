#!/usr/bin/env bash
# Runs inside a private D-Bus session (see demo.sh): starts the services (the decoder side is
# sonde-receiver on a simulated band, or sonde-sim where the receiver is not built), runs NIMBRIX
# in the foreground, and afterwards shows what the APRS-IS listeners, the SondeHub stand-in and
# the chase-car listener received.
# Leaves nothing running.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${NIMBRIX_BUILD_DIR:-build/dev}  # the tests point this at their own build
run=${NIMBRIX_DEMO_DIR:-demo/run}
rm -rf "$run"
mkdir -p "$run"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

python3 tools/aprs-listener/aprs-listener.py --port 0 --port-file "$run/port" --log "$run/received.txt" &
pids+=($!)
python3 tools/aprs-listener/aprs-listener.py --port 0 --port-file "$run/port2" --log "$run/received2.txt" &
pids+=($!)
python3 tools/aprs-listener/summary-listener.py --port 0 --port-file "$run/udpport" \
  --log "$run/summaries.txt" &
pids+=($!)
python3 tools/sondehub-standin/sondehub-standin.py --port 0 --port-file "$run/hubport" \
  --store "$run/sondehub.jsonl" > /dev/null &
pids+=($!)
# The update service offers the version this tree builds: "You have the most recent version!"
version=$(sed -n 's/^project(nimbrix VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
python3 tools/aprs-listener/update-service.py --port 47831 --version "$version" 2>/dev/null &
pids+=($!)
receiver="$build/tools/sonde-receiver/app/sonde-receiver"
standin="$build/tools/rtl-tcp-standin/rtl-tcp-standin"
# Under an emulator (the cross builds' tests) the radio cannot keep real time: sonde-sim then.
if [ -x "$receiver" ] && [ -x "$standin" ] && [ -z "${NIMBRIX_EMULATOR:-}" ]; then
  # The decoder side as a station with an RTL-SDR runs it, on a simulated band: a dongle 25 ppm
  # off, an RS41 on 403.500 MHz between a carrier, an FM voice channel and the dongle's own spur;
  # sonde-receiver finds and decodes it, sonde-bridge serves its frames to NIMBRIX.
  "$standin" --port 0 --seed 5 --ppm 25 --snr 18 --rs41 403.500:T1230456 --cw 401.300 \
    --fm-voice 404.600 --spur 310000 > "$run/standin.out" 2> "$run/standin.log" &
  pids+=($!)
  for _ in $(seq 50); do grep -q listening "$run/standin.out" && break; sleep 0.1; done
  iqport=$(sed -n 's/^listening on \([0-9]*\).*/\1/p' "$run/standin.out")
  ("$receiver" --rtl-tcp "127.0.0.1:$iqport" 2> "$run/receiver.log" |
     "$build/tools/sonde-bridge/sonde-bridge" > "$run/bridge.log" 2>&1) &
  pids+=($!)
  ready() { busctl --user status SondeMonitor.Document > /dev/null 2>&1; }
else
  "$build/tools/sonde-sim/sonde-sim" simulate --once-ready-print --lat 48.1234 --lon 11.5678 \
    --alt 520 --burst 30000 --serial T1230456 --qrg 403.001 > "$run/sonde-sim.log" 2>&1 &
  pids+=($!)
  ready() { grep -q ready "$run/sonde-sim.log"; }
fi

for _ in $(seq 100); do
  [ -s "$run/port" ] && [ -s "$run/port2" ] && [ -s "$run/udpport" ] && [ -s "$run/hubport" ] &&
    ready && break
  sleep 0.1
done
port=$(cat "$run/port")
port2=$(cat "$run/port2")
udpport=$(cat "$run/udpport")
hubport=$(cat "$run/hubport")
sed -e "s/@PORT@/$port/" -e "s/@PORT2@/$port2/" -e "s/@UDPPORT@/$udpport/" \
  -e "s/@HUBPORT@/$hubport/" demo/NIMBRIX.INI > "$run/NIMBRIX.INI"

status=0
build=$(cd "$build" && pwd)
(cd "$run" && "$build/src/nimbrix") || status=$?
clear 2>/dev/null || printf '\n'
echo "NIMBRIX ended with exit code $status."
echo "Lines received by the APRS-IS listener on 127.0.0.1:$port:"
cat "$run/received.txt" 2>/dev/null || echo "(none)"
echo "Lines received by the second APRS-IS listener (ALSO=, its own login call) on 127.0.0.1:$port2:"
cat "$run/received2.txt" 2>/dev/null || echo "(none)"
if [ -s "$run/summaries.txt" ]; then
  echo "Chase-car summaries received on UDP 127.0.0.1:$udpport: $(wc -l < "$run/summaries.txt")"
  echo "  the last: $(tail -n 1 "$run/summaries.txt")"
else
  echo "Chase-car summaries received on UDP 127.0.0.1:$udpport: (none)"
fi
echo "SondeHub stand-in on 127.0.0.1:$hubport took:"
if [ -s "$run/sondehub.jsonl" ]; then
  python3 - "$run/sondehub.jsonl" <<'PY'
import json, sys
kept = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
frames = [k["record"] for k in kept if k["kind"] == "telemetry"]
stations = [k["record"] for k in kept if k["kind"] == "listener"]
print(f"  {len(stations)} station record(s), {len(frames)} frame record(s)")
if frames:
    print("  the last: " + json.dumps(frames[-1], sort_keys=True))
PY
else
  echo "  (nothing)"
fi
if ls "$run"/flights/*.csv > /dev/null 2>&1; then
  echo "Flight log in $run/flights:"
  for csv in "$run"/flights/*.csv; do
    echo "  $(basename "$csv"): $(($(wc -l < "$csv") - 1)) frame(s), beside it $(basename "${csv%.csv}.gpx")"
  done
fi
if [ -s "$run/receiver.log" ]; then
  echo "What sonde-receiver said on the simulated band:"
  sed 's/^/  /' "$run/receiver.log"
fi
if [ -s "$run/nimbrix.err" ]; then
  echo "Error log nimbrix.err:"
  cat "$run/nimbrix.err"
fi
