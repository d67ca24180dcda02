#!/usr/bin/env bash
# Installs the Debian packages NIMBRIX needs to build, test and run its demo (only the missing ones).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libsystemd-dev libcurl4-openssl-dev ca-certificates rapidjson-dev zlib1g-dev libmicrohttpd-dev
  libproj-dev proj-data proj-bin
  libliquid-dev libfftw3-dev libfec-dev librtlsdr-dev rtl-sdr
  dbus dbus-daemon systemd
  python3 python3-pytest python3-pyte python3-pexpect
  chromium chromium-driver python3-selenium
  tmux time faketime procps strace
  nftables iproute2
  groff-base man-db dpkg-dev file
  direwolf
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
"$(dirname "$0")/apt-update.sh"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
