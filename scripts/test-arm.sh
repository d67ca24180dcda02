#!/usr/bin/env bash
# The Raspberry Pi stage: cross-builds NIMBRIX for arm64 and armhf (Release, the `arm64` and
# `armhf` presets) with Debian's cross compilers and runs its tests under qemu-user through
# CTest: the unit tests for both, for arm64 the end-to-end tests of the station's own road, the
# bridge and the demo as well (through scripts that start each program under the emulator).
# Then makes nimbrix_<version>_<arch>.deb for each, checks its architecture, its programs and its Depends, unpacks it into a scratch root and runs
# the unpacked nimbrix once under qemu (no decoder: "SondeMonitor not found! Exiting...", exit
# code 0). A test that the emulator cannot run is skipped by the test itself, and the reasons
# are listed here.
#   test-arm.sh [ARCH...]        (default: arm64 armhf)
set -euo pipefail
cd "$(dirname "$0")/.."

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(arm64 armhf)
# Each architecture on its own: a mirror that cannot give one architecture's package lists
# (seen: a stale security index for armhf) costs that architecture, loudly, not the other.
ready=()
unavailable=()
for arch in "${archs[@]}"; do
  status=0
  scripts/install-arm-deps.sh "$arch" || status=$?
  case $status in
    0) ready+=("$arch") ;;
    75) unavailable+=("$arch") ;;
    *) exit $status ;;
  esac
done
[ ${#ready[@]} -gt 0 ] || { echo "test-arm.sh: no architecture could be installed" >&2; exit 1; }
archs=("${ready[@]}")

# The end-to-end tests take minutes under the emulator: they run for one architecture.
e2e_arch=arm64
# The update check of the test build asks a local stand-in, as in the dev preset, so that the
# update tests run; the package is built afterwards for the real update service.
stand_in=(-DNIMBRIX_UPDATE_SCHEME=http -DNIMBRIX_UPDATE_HOST=127.0.0.1:47831
          -DNIMBRIX_DOWNLOAD_PAGE=http://127.0.0.1:47831/nimbrix)
real_service=(-U 'NIMBRIX_UPDATE_*' -U NIMBRIX_DOWNLOAD_PAGE)

declare -A machine=([arm64]="ARM aarch64" [armhf]="ARM, EABI5")
declare -A qemu=([arm64]=qemu-aarch64 [armhf]=qemu-arm)

check_package() {
  local arch=$1 build=$2 deb
  deb=$(ls "$build"/nimbrix_*_"$arch".deb)
  dpkg-deb --info "$deb"
  [ "$(dpkg-deb --field "$deb" Architecture)" = "$arch" ] || {
    echo "$deb: Architecture is not $arch" >&2; return 1; }
  local depends
  depends=$(dpkg-deb --field "$deb" Depends)
  for lib in libc6 libcurl4 libsystemd0 libstdc++6 libproj25 proj-data; do
    grep -q "$lib" <<<"$depends" || { echo "Depends lacks $lib: $depends" >&2; return 1; }
  done
  # Depends as dpkg-shlibdeps found them for this architecture: apt can meet them with the
  # architecture's own libraries.
  apt-get install --simulate --no-install-recommends "./$deb" >/dev/null || {
    echo "$deb: apt cannot meet its Depends for $arch: $depends" >&2; return 1; }

  local root=$build/package-root
  rm -rf "$root"
  dpkg-deb -x "$deb" "$root"
  for f in usr/bin/nimbrix usr/bin/sonde-sim usr/bin/sonde-bridge usr/share/man/man1/nimbrix.1.gz \
           usr/lib/systemd/user/nimbrix.service usr/lib/systemd/user/sonde-bridge.service \
           usr/share/doc/nimbrix/NIMBRIX.INI.sample; do
    [ -s "$root/$f" ] || { echo "$deb lacks /$f" >&2; return 1; }
  done
  for p in nimbrix sonde-sim sonde-bridge; do
    file -b "$root/usr/bin/$p" | grep -q "${machine[$arch]}" || {
      echo "/usr/bin/$p is not for $arch: $(file -b "$root/usr/bin/$p")" >&2; return 1; }
  done
  printf '#!/bin/sh\nexec %s "%s" "$@"\n' "${qemu[$arch]}" "$PWD/$root/usr/bin/nimbrix" \
    >"$root/nimbrix-under-qemu"
  chmod +x "$root/nimbrix-under-qemu"
  /usr/bin/python3 tests/package/run-installed.py "$PWD/$root/nimbrix-under-qemu"
}

for arch in "${archs[@]}"; do
  started=$SECONDS
  build=build/$arch
  echo "== $arch: build and tests under ${qemu[$arch]} =="
  if [ "$arch" = "$e2e_arch" ]; then
    cmake --preset "$arch" "${stand_in[@]}"
  else
    cmake --preset "$arch" "${real_service[@]}"
  fi
  cmake --build --preset "$arch"
  ctest --preset "$arch" -E '^e2e-'
  # Of the end-to-end tests, which the dev stage runs in full on the same code, those that show
  # the programs work on the Pi: the station's own road, the bridge, the demo.
  if [ "$arch" = "$e2e_arch" ]; then
    ctest --preset "$arch" -R '^e2e-(relay|startup|headless|bridge|demo|every_sonde)$'
  fi
  skipped=$(grep -h "^SKIPPED \[" "$build"/Testing/Temporary/LastTest*.log 2>/dev/null || true)
  [ -z "$skipped" ] || { echo "Skipped under ${qemu[$arch]}:"; printf '%s\n' "$skipped"; }

  echo "== $arch: the Debian package =="
  if [ "$arch" = "$e2e_arch" ]; then
    cmake --preset "$arch" "${real_service[@]}" >/dev/null
    cmake --build --preset "$arch"
  fi
  rm -f "$build"/nimbrix_*.deb
  (cd "$build" && cpack -G DEB)
  check_package "$arch" "$build"
  echo "test-arm.sh: $arch built, tested, packaged and run in $((SECONDS - started)) s"
done
if [ ${#unavailable[@]} -gt 0 ]; then
  echo "test-arm.sh: SKIPPED ${unavailable[*]}: the package mirror could not give that" \
    "architecture's package lists, so its libraries could not be installed (see above)"
fi
