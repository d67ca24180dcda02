#!/usr/bin/env bash
# Measures a real NIMBRIX run on one machine: the release build, the decoder stand-in sonde-sim on
# a private D-Bus session and a local APRS-IS listener. NIMBRIX runs CYCLES main cycles (default
# 60) in an 80x25 pseudo-terminal, then gets ESC. Reports
#   - the mean cycle period from the dashboard's row 18 updates, and its overhead above the
#     950 ms pause (target <= 3 ms),
#   - the peak resident memory of the whole run from /usr/bin/time -v (target <= 6 MB),
#   - the CPU time the station spends per cycle (/proc/PID/schedstat), on the terminal and
#     headless (its output to a file), as a share of one core,
#   - what a cycle costs in system calls, from a shorter run under strace: the writes to the
#     terminal per cycle, the bytes they carry, and all system calls per cycle,
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
  targets=(nimbrix sonde-sim dbus_cycle_bench cycle_bench)
  # The drawn cycle's bytes and writes, where the checkout has that benchmark.
  grep -q console_bench bench/CMakeLists.txt && targets+=(console_bench)
  cmake --build "$build" -j2 --target "${targets[@]}"
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
import os, re, signal, subprocess, sys, time, pexpect
binary, run, cycles = sys.argv[1], sys.argv[2], int(sys.argv[3])

def cpu_ns(pid):
    # Time on a CPU so far, in nanoseconds (finer than utime and stime's ticks).
    return int(open("/proc/%s/schedstat" % pid).read().split()[0])

child = pexpect.spawn("/usr/bin/time", ["-v", "-o", run + "/time.txt", binary], cwd=run,
                      dimensions=(25, 80), timeout=20)
stamps = []
cpu = []
pid = None
while len(stamps) < cycles + 1:
    child.expect("Local Time: ")
    stamps.append(time.monotonic())
    if pid is None:
        pid = open("/proc/%d/task/%d/children" % (child.pid, child.pid)).read().split()[0]
    cpu.append(cpu_ns(pid))
# The program's own memory in the running cycle (the peak below also covers start-up).
status = dict(l.split(":", 1) for l in open("/proc/%s/status" % pid).read().splitlines())
child.send("\x1b")
child.expect(pexpect.EOF, timeout=20)
child.close()
intervals = [b - a for a, b in zip(stamps, stamps[1:])]
mean = sum(intervals) / len(intervals)
# The median as well: on a shared machine one cycle held up by another program moves the mean.
median = sorted(intervals)[len(intervals) // 2]
with open(run + "/cycles.txt", "w") as out:
    out.write("cycles %d\nmean_ms %.3f\nmin_ms %.3f\nmax_ms %.3f\noverhead_ms %.3f\n"
              "median_overhead_ms %.3f\n" % (
        len(intervals), mean * 1000, min(intervals) * 1000, max(intervals) * 1000,
        mean * 1000 - 950, median * 1000 - 950))
    out.write("cycle_VmRSS %s\n" % " ".join(status["VmRSS"].split()))
    out.write("terminal_cpu_ms_per_cycle %.3f\nterminal_cpu_share_percent %.4f\n" % (
        (cpu[-1] - cpu[0]) / 1e6 / len(intervals),
        100 * (cpu[-1] - cpu[0]) / 1e9 / (stamps[-1] - stamps[0])))
print("exit status", child.exitstatus)

# Headless (output to a file, as under a service manager): the CPU share over the same cycles.
with open(run + "/headless.log", "w") as log:
    station = subprocess.Popen([binary], cwd=run, stdin=subprocess.DEVNULL, stdout=log,
                               stderr=subprocess.STDOUT)
deadline = time.monotonic() + 30
while "login sent" not in open(run + "/headless.log").read() and time.monotonic() < deadline:
    time.sleep(0.1)
time.sleep(3)  # past the login's pause, into the cycle
t0, c0 = time.monotonic(), cpu_ns(station.pid)
time.sleep(cycles)
t1, c1 = time.monotonic(), cpu_ns(station.pid)
station.send_signal(signal.SIGTERM)
station.wait(timeout=20)
with open(run + "/cycles.txt", "a") as out:
    out.write("headless_cpu_ms_per_second %.3f\nheadless_cpu_share_percent %.4f\n" % (
        (c1 - c0) / 1e6 / (t1 - t0), 100 * (c1 - c0) / 1e9 / (t1 - t0)))

# System calls per cycle, from a shorter run under strace (which slows it; the figures above
# come from the run without it). A cycle is counted from one terminal write that carries the
# clock row to the next.
traced = min(cycles, 20)
child = pexpect.spawn("strace", ["-o", run + "/strace.txt", "-s", "65536", "-e", "trace=all",
                                 binary], cwd=run, dimensions=(25, 80), timeout=20)
for _ in range(traced + 2):
    child.expect("Local Time: ")
child.send("\x1b")
child.expect(pexpect.EOF, timeout=20)
child.close()
marks, calls, writes, written = [], 0, 0, 0
for line in open(run + "/strace.txt"):
    if not re.match(r"[a-z_0-9]+\(", line):
        continue  # signals, exits, resumed halves
    calls += 1
    m = re.match(r"write\(1, .* = (\d+)$", line.rstrip())
    if m:
        writes += 1
        written += int(m.group(1))
        if "Local Time: " in line:
            marks.append((calls, writes, written))
first, last = marks[1], marks[-1]
n = len(marks) - 2
with open(run + "/cycles.txt", "a") as out:
    out.write("traced_cycles %d\nterminal_writes_per_cycle %.2f\nterminal_bytes_per_cycle %.1f\n"
              "syscalls_per_cycle %.2f\n" % (n, (last[1] - first[1]) / n,
                                             (last[2] - first[2]) / n, (last[0] - first[0]) / n))
PY

"$build/bench/dbus_cycle_bench" --benchmark_min_time=3 >"$run/dbus_bench.txt" 2>&1
"$build/bench/cycle_bench" --benchmark_min_time=1 >"$run/cycle_bench.txt" 2>&1
if [ -x "$build/bench/console_bench" ]; then
  "$build/bench/console_bench" --benchmark_min_time=1 >"$run/console_bench.txt" 2>&1
fi

echo "== real run: $cycles cycles with sonde-sim and the listener =="
cat "$run/cycles.txt"
grep -E "Maximum resident set size|Elapsed" "$run/time.txt"
echo "lines received by the listener: $(wc -l <"$run/received.txt")"
[ -s "$run/nimbrix.err" ] && { echo "nimbrix.err:"; cat "$run/nimbrix.err"; }
echo "== ReadSondeSample over D-Bus (15 items from sonde-sim) =="
grep -E "^BM_" "$run/dbus_bench.txt"
echo "== the program's own work per cycle (fakes, no pause) =="
grep -E "^BM_" "$run/cycle_bench.txt"
if [ -s "$run/console_bench.txt" ]; then
  echo "== one drawn cycle into a pseudo-terminal (bytes and writes per cycle) =="
  grep -E "^BM_" "$run/console_bench.txt"
fi
