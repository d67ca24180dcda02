#!/usr/bin/env bash
# Measures sonde-receiver in real runs against the band simulator (rtl-tcp-standin, on
# loopback, in real time at 2.048 MS/s): the receiver's share of one core and its peak resident
# memory while it only scans, with one sonde and with four sondes decoding in one span, and the
# time from its start to a sonde's first frame for sondes across the band. The simulator runs on
# the same machine and is not counted. The DSP's own cost per stream is in receiver_bench
# (Google Benchmark): build/release/bench/receiver_bench.
#
#   scripts/measure-receiver.sh [SECONDS]      (default 40 s per run; the release build)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-40}"
build=${NIMBRIX_BUILD_DIR:-build/release}
if [ -z "${NIMBRIX_BUILD_DIR:-}" ]; then
  cmake --preset release > /dev/null
  cmake --build --preset release --target sonde-receiver rtl-tcp-standin receiver_bench > /dev/null
fi
receiver="$build/tools/sonde-receiver/app/sonde-receiver"
standin="$build/tools/rtl-tcp-standin/rtl-tcp-standin"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

# run NAME SECONDS STANDIN-ARGS...: the receiver's CPU share, peak memory and first frames.
run() {
  local name=$1 length=$2
  shift 2
  "$standin" --port 0 --seed 11 --snr 20 "$@" > "$work/standin.out" 2> /dev/null &
  local sim=$!
  for _ in $(seq 50); do grep -q listening "$work/standin.out" && break; sleep 0.1; done
  local port
  port=$(sed -n 's/^listening on \([0-9]*\).*/\1/p' "$work/standin.out")
  local start
  start=$(date +%s.%N)
  : > "$work/log"
  "$receiver" --rtl-tcp "127.0.0.1:$port" > "$work/frames" 2> "$work/log" &
  local rx=$!
  # The log lines are timed as they come, for the first frames.
  : > "$work/timed"
  local seen=0 t=0
  while [ "$t" -lt $((length * 10)) ]; do
    local n
    n=$(wc -l < "$work/log")
    if [ "$n" -gt "$seen" ]; then
      tail -n +$((seen + 1)) "$work/log" | head -n $((n - seen)) |
        sed "s/^/$(date +%s.%N) /" >> "$work/timed"
      seen=$n
    fi
    sleep 0.1
    t=$((t + 1))
  done
  # CPU time (user + system, clock ticks) and peak resident memory, read before it ends.
  local ticks rss
  ticks=$(awk '{ print $14 + $15 }' "/proc/$rx/stat")
  local elapsed
  elapsed=$(awk -v s="$start" -v n="$(date +%s.%N)" 'BEGIN { print n - s }')
  rss=$(awk '/^VmHWM/ { print $2 }' "/proc/$rx/status")
  kill -TERM "$rx"; wait "$rx" || true
  kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true
  local share
  share=$(awk -v t="$ticks" -v hz="$(getconf CLK_TCK)" -v l="$elapsed" 'BEGIN { print t / hz * 100 / l }')
  local firsts
  firsts=$(awk -v s="$start" '/first frame/ { printf "%s%.1f s", sep, $1 - s; sep=", " }' \
           "$work/timed")
  printf '%-30s %5.1f %% of a core  %6d kB peak RSS  %4d frames  first frames after: %s\n' \
    "$name" "$share" "$rss" "$(grep -c '^{' "$work/frames" || true)" "${firsts:-none}"
}

echo "sonde-receiver, ${seconds} s per run, against rtl-tcp-standin at 2.048 MS/s:"
run "scanning (no sonde)" "$seconds" --cw 401.25 --fm-voice 403.1
run "one RS41" "$seconds" --rs41 403.500:S2410203
run "four RS41 in one span" "$seconds" --rs41 402.100:S2410201 --rs41 402.250:S2410202 \
  --rs41 402.400:S2410203 --rs41 402.550:S2410204
for mhz in 400.400 401.900 403.700 405.600; do
  run "first frame at $mhz MHz" 25 --ppm 25 --rs41 "$mhz:S3000001"
done
if [ -x "$build/bench/receiver_bench" ]; then
  echo "The DSP per stream (receiver_bench):"
  "$build/bench/receiver_bench" --benchmark_min_time=0.2 2>/dev/null | grep -E "^BM_" || true
fi
