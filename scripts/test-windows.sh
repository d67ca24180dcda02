#!/usr/bin/env bash
# The Windows stage: cross-builds NIMBRIX with mingw-w64 (the `windows` preset) and runs every
# test under Wine through CTest: the unit tests of all folders, the win32 backends, and the
# end-to-end tests (nimbrix.exe in a tmux pane, sonde-sim.exe as the decoder's COM server).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-windows-deps.sh

cmake --preset windows
cmake --build --preset windows

# A fresh Wine prefix inside the build folder, fully started before the first test: without
# the wait for wineserver, the first RegisterActiveObject fails (RPC_S_SERVER_UNAVAILABLE).
prefix=$PWD/build/windows/wineprefix
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
[ -d "$prefix" ] && "$wineserver" -k 2>/dev/null || true
rm -rf "$prefix" "$prefix.lock"
cmake/wine-run.sh "$prefix" cmd /c exit 0

retries=build/windows/wine-retries.log
rm -f "$retries"
status=0
ctest --preset windows || status=$?
if [ -s "$retries" ]; then
  echo "Wine ended these test programs before they wrote anything; they were started again:"
  cat "$retries"
fi
# The test run keeps one wineserver alive; end it with the run.
"$wineserver" -k 2>/dev/null || true
[ $status -eq 0 ] || exit $status

# The ZIP for Windows stations: the programs, the README and the sample configuration.
rm -f build/windows/nimbrix-*-win64.zip
(cd build/windows && cpack -G ZIP)
/usr/bin/python3 - build/windows/nimbrix-*-win64.zip <<'PY'
import sys, zipfile
names = {n.split("/", 1)[1] for n in zipfile.ZipFile(sys.argv[1]).namelist() if "/" in n}
wanted = {"nimbrix.exe", "sonde-sim.exe", "sonde-bridge.exe", "README.md", "NIMBRIX.INI.sample", "decoder-dbus.xml"}
missing = wanted - names
extra = {n for n in names if n.endswith((".a", ".h")) or "test" in n}
if missing or extra:
    sys.exit(f"{sys.argv[1]}: missing {sorted(missing)}, not wanted {sorted(extra)}")
print(f"{sys.argv[1]}: {sorted(names)}")
PY
