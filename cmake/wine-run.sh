#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's own prefix, creating the prefix on first use.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY ftp_proxy \
  FTP_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

wine=$(command -v wine64 || command -v wine || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -n "$wine" ] || { echo "wine-run.sh: wine is not installed" >&2; exit 127; }

# Tests run in parallel: one of them prepares the prefix, the others wait for it.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/.nimbrix-ready" ]; then
    rm -rf "$prefix"
    "$wine" wineboot -i >/dev/null 2>&1 || true
    # Without this wait the first RegisterActiveObject fails with RPC_S_SERVER_UNAVAILABLE.
    "$wineserver" -w
    touch "$prefix/.nimbrix-ready"
  fi
) 9>"$prefix.lock"

# Keep one wineserver for the whole test run (it ends 30 s after the last program): starting
# one for every test costs seconds, reusing it milliseconds.
"$wineserver" -p30 >/dev/null 2>&1 || true

# A test program that ends with an error before it has written anything never got to run:
# GoogleTest writes its banner first. On freshly installed machines one start in the first test
# run has ended that way (no output, a few milliseconds); such a start is tried once more, and the
# retry is noted in the build folder, where the Windows stage reports it.
case "$(basename "$1")" in
  *_test.exe)
    out=$(mktemp)
    trap 'rm -f "$out"' EXIT
    for attempt in 1 2; do
      status=0
      "$wine" "$@" >"$out" 2>&1 || status=$?
      [ $status -eq 0 ] || [ -s "$out" ] || [ $attempt -eq 2 ] || {
        echo "$(date -u +%FT%TZ) $* ended with $status before writing anything; started again" \
          >>"$(dirname "$prefix")/wine-retries.log"
        continue
      }
      break
    done
    cat "$out"
    exit $status
    ;;
esac
exec "$wine" "$@"
