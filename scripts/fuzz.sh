#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`, clang + ASan + UBSan) and runs each for SECONDS
# (default 30), one after the other. Fails on the first finding; the input that broke it is kept
# in build/fuzz/artifacts/. The grown corpora stay in build/fuzz/corpus/ and are reused next time.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 1800 fuzz_format
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_config fuzz_text_to_number fuzz_format fuzz_variant fuzz_reports fuzz_station
           fuzz_login_answer fuzz_bridge)
  # The receiver's, where it is built (its Debian libraries are there).
  if dpkg-query -W -f='${Status}' libliquid-dev 2>/dev/null | grep -q "install ok installed"; then
    targets+=(fuzz_rs41_frame fuzz_rtl_tcp fuzz_kind_detector)
  fi
fi

scripts/install-deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]}"

mkdir -p build/fuzz/artifacts
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
for t in "${targets[@]}"; do
  corpus="build/fuzz/corpus/$t"
  mkdir -p "$corpus"
  echo "== $t for ${seconds} s =="
  # -timeout: one input taking over 10 s counts as a hang; -rss_limit_mb: as a runaway.
  if ! "build/fuzz/fuzz/$t" "$corpus" "fuzz/corpus/$t" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$t-" \
       >"build/fuzz/$t.log" 2>&1; then
    tail -n 60 "build/fuzz/$t.log"
    echo "fuzz.sh: $t found a problem (log: build/fuzz/$t.log)" >&2
    exit 1
  fi
  grep -E "^Done|stat::number_of_executed_units" "build/fuzz/$t.log" || true
done
echo "fuzz.sh: no findings"
