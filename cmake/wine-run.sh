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

exec "$wine" "$@"
