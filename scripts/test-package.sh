#!/usr/bin/env bash
# The optimised build as a station gets it: builds Release with its tests and runs them (the
# end-to-end ones of the station's own road), makes
# the Debian package, installs it with apt, runs the installed nimbrix once in a pseudo-terminal
# (no decoder: the message and exit code 0), verifies its systemd user units, and removes the
# package again, checking that none of its files stay behind. Needs root (or sudo) for apt.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

build=build/package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build "$build"
# Every unit test at -O3; of the end-to-end tests, which the dev stage runs in full on the same
# code, those of the station's own road (relay, start-up, headless, the receiver's chain).
ctest --test-dir "$build" -j4 --output-on-failure --timeout 900 -E '^e2e-'
ctest --test-dir "$build" -j2 --output-on-failure --timeout 900 \
  -R '^e2e-(relay|startup|headless|receiver)$'

rm -f "$build"/nimbrix_*.deb
(cd "$build" && cpack -G DEB)
deb=$(ls "$build"/nimbrix_*.deb)
dpkg-deb --info "$deb"
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libc6 libcurl4 libsystemd0 libmicrohttpd12 libstdc++6 libproj25 proj-data; do
  grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends" >&2; exit 1; }
done

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
files=$(dpkg -L nimbrix)
for f in /usr/bin/nimbrix /usr/bin/sonde-sim /usr/bin/sonde-bridge /usr/share/man/man1/nimbrix.1.gz \
         /usr/share/man/man1/sonde-bridge.1.gz \
         /usr/lib/systemd/user/nimbrix.service /usr/lib/systemd/user/sonde-bridge.service \
         /usr/share/doc/nimbrix/NIMBRIX.INI.sample; do
  grep -qx "$f" <<<"$files" || { echo "the package lacks $f" >&2; exit 1; }
done
man -w nimbrix >/dev/null 2>&1 || [ ! -x /usr/bin/man ] || { echo "man nimbrix finds no page" >&2; exit 1; }
/usr/bin/python3 tests/package/run-installed.py /usr/bin/nimbrix
status=0
tests/install/verify-units.sh /usr/lib/systemd/user/nimbrix.service \
  /usr/lib/systemd/user/sonde-bridge.service || status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || exit $status

$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq nimbrix
if dpkg-query -W -f='${Status}' nimbrix 2>/dev/null | grep -q "ok installed"; then
  echo "nimbrix is still installed" >&2
  exit 1
fi
left=0
while read -r f; do
  [ -f "$f" ] && { echo "left behind: $f" >&2; left=1; }
done <<<"$files"
[ $left -eq 0 ]
echo "test-package.sh: $(basename "$deb") built, installed, run and removed"
