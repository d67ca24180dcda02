#!/usr/bin/env bash
# Measures a real NIMBRIX run on one machine: the release build, the decoder stand-in sonde-sim on
# a private D-Bus session and a local APRS-IS listener. NIMBRIX runs CYCLES main cycles (default
# 60) in an 80x25 pseudo-terminal, then gets ESC. Reports
#   - the mean cycle period from the dashboard's row 18 updates, and its overhead above the
#     950 ms pause (target <= 3 ms),
#   - the peak resident memory of the whole run from /usr/bin/time -v (target <= 6 MB),
#   - ReadSondeSample over D-Bus against sonde-sim (dbus_cycle_bench) and the program's own work
#     per cycle on fakes (cycle_bench).
#
#   scripts/measure-cycle.sh [CYCLES]
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" != "--inside-session" ]; then
  cycles="${1:-60}"
  build=build/measure
  # Release, as shipped; the update query goes to a closed local port so start-up never waits
  # on the network.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNIMBRIX_TESTS=OFF \
    -DNIMBRIX_BENCHMARKS=ON -DNIMBRIX_UPDATE_SCHEME=http -DNIMBRIX_UPDATE_HOST=127.0.0.1:9 \
    >/dev/null
  cmake --build "$build" -j2 --target nimbrix sonde-sim dbus_cycle_bench cycle_bench
  exec dbus-run-session -- "$0" --inside-session "$build" "$cycles"
fi

build=$(cd "$2" && pwd)
cycles="$3"
run="$build/measure-run"
rm -rf "$run"
mkdir -p "$run"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

python3 tools/aprs-listener/aprs-listener.py --port 0 --port-file "$run/port" \
  --log "$run/received.txt" &
pids+=($!)
# Mid-flight (an hour after launch): every item has a value and the position moves.
"$build/tools/sonde-sim/sonde-sim" simulate --once-ready-print --offset 3600 \
  >"$run/sonde-sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$run/port" ] && grep -q ready "$run/sonde-sim.log" && break
  sleep 0.1
done
port=$(cat "$run/port")
# NIMBRIX.INI lines end with CR LF.
printf '%s\r\n' "USER=N0CALL-11" "PASS=12345" "STATUS=NIMBRIX measurement" "SYMBOL=/O" \
  "ALTITUDE=YES" "QRG=YES" "ID=YES" "FRAME=YES" "SERVER=127.0.0.1,$port" >"$run/NIMBRIX.INI"

/usr/bin/python3 - "$build/src/nimbrix" "$run" "$cycles" <<'PY'
import sys, time, pexpect
binary, run, cycles = sys.argv[1], sys.argv[2], int(sys.argv[3])
child = pexpect.spawn("/usr/bin/time", ["-v", "-o", run + "/time.txt", binary], cwd=run,
                      dimensions=(25, 80), timeout=20)
stamps = []
while len(stamps) < cycles + 1:
    child.expect("Local Time: ")
    stamps.append(time.monotonic())
# The program's own memory in the running cycle (the peak below also covers start-up).
pid = open("/proc/%d/task/%d/children" % (child.pid, child.pid)).read().split()[0]
status = dict(l.split(":", 1) for l in open("/proc/%s/status" % pid).read().splitlines())
child.send("\x1b")
child.expect(pexpect.EOF, timeout=20)
child.close()
intervals = [b - a for a, b in zip(stamps, stamps[1:])]
mean = sum(intervals) / len(intervals)
with open(run + "/cycles.txt", "w") as out:
    out.write("cycles %d\nmean_ms %.3f\nmin_ms %.3f\nmax_ms %.3f\noverhead_ms %.3f\n" % (
        len(intervals), mean * 1000, min(intervals) * 1000, max(intervals) * 1000,
        mean * 1000 - 950))
    out.write("cycle_VmRSS %s\n" % " ".join(status["VmRSS"].split()))
print("exit status", child.exitstatus)
PY

"$build/bench/dbus_cycle_bench" --benchmark_min_time=3 >"$run/dbus_bench.txt" 2>&1
"$build/bench/cycle_bench" --benchmark_min_time=1 >"$run/cycle_bench.txt" 2>&1

echo "== real run: $cycles cycles with sonde-sim and the listener =="
cat "$run/cycles.txt"
grep -E "Maximum resident set size|Elapsed" "$run/time.txt"
echo "lines received by the listener: $(wc -l <"$run/received.txt")"
[ -s "$run/nimbrix.err" ] && { echo "nimbrix.err:"; cat "$run/nimbrix.err"; }
echo "== ReadSondeSample over D-Bus (15 calls to sonde-sim) =="
grep -E "^BM_" "$run/dbus_bench.txt"
echo "== the program's own work per cycle (fakes, no pause) =="
grep -E "^BM_" "$run/cycle_bench.txt"
