#!/usr/bin/env bash
# Installs what the arm64 and armhf stage needs on top of scripts/install-deps.sh: Debian's cross
# compilers, qemu-user to run the programs, GoogleTest's sources, and the target's own copies of
# the libraries the programs link (multiarch packages of the foreign architecture).
#   install-arm-deps.sh [ARCH...]        (default: arm64 armhf)
# Exits with 75 when the package lists of an architecture cannot be fetched from the mirror
# (nothing of it is installed then), with another non-zero code on any other failure.
set -euo pipefail
cd "$(dirname "$0")"

# The libraries the programs link, as Debian's -dev packages; each is installed for every
# target architecture (name:arch). A new library dependency of the programs goes here too.
target_libraries=(libsystemd-dev libcurl4-openssl-dev zlib1g-dev libproj-dev libmicrohttpd-dev libstdc++6
                  libliquid-dev libfftw3-dev libfec-dev librtlsdr-dev)

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(arm64 armhf)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# A foreign architecture needs its package lists before anything of it can be installed. A
# mirror in the middle of a sync can fail one update: it is tried again after a pause.
# If they cannot be had, the architectures are taken out again, so that apt on this machine is
# left working. Every list apt has for this machine's own architecture, it must have for the target too: the
# Multi-Arch libraries of both must come in the same versions (security updates included).
lists_complete() {
  local host list
  host=$(dpkg --print-architecture)
  for list in /var/lib/apt/lists/*_binary-"${host}"_Packages*; do
    compgen -G "${list%%_binary-"${host}"_Packages*}_binary-$1_Packages*" >/dev/null || return 1
  done
}
stale=0
for arch in "${archs[@]}"; do
  dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch"
  lists_complete "$arch" || stale=1
done
if [ $stale -eq 1 ]; then
  for attempt in 1 2 3 4; do
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq && break
    incomplete=0
    for arch in "${archs[@]}"; do lists_complete "$arch" || incomplete=1; done
    [ $incomplete -eq 0 ] && break
    if [ $attempt -eq 4 ]; then
      echo "install-arm-deps.sh: the package lists of ${archs[*]} could not all be fetched; without" \
        "them the target's libraries cannot match the versions installed here" >&2
      # An architecture of which nothing is installed is taken out again, even when an
      # earlier run added it (dpkg keeps any that still has packages).
      for arch in "${archs[@]}"; do $SUDO dpkg --remove-architecture "$arch" 2>/dev/null || true; done
      ./apt-update.sh
      exit 75
    fi
    sleep 30
  done
fi

packages=(qemu-user googletest)
for arch in "${archs[@]}"; do
  packages+=("crossbuild-essential-$arch" "pkg-config:$arch")
  for lib in "${target_libraries[@]}"; do
    packages+=("$lib:$arch")
  done
done
exec ./install-deps.sh "${packages[@]}"
