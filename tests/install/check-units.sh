#!/usr/bin/env bash
# The systemd user units as the build installs them (into a scratch prefix), checked by
# verify-units.sh with the installed manual pages on MANPATH.
#   check-units.sh BUILD_DIR
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
units=("$scratch/prefix/lib/systemd/user/"*.service)
[ -e "${units[0]}" ] || { echo "no units installed in $scratch/prefix/lib/systemd/user"; exit 1; }
MANPATH=$scratch/prefix/share/man "$(dirname "$0")/verify-units.sh" "${units[@]}"
