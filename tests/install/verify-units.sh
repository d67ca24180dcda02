#!/usr/bin/env bash
# `systemd-analyze --user verify` on systemd user units: a sound unit gives no output at all (an
# unknown key or a bad value is only a warning there, with exit code 0, so any output fails).
# It checks too that ExecStart names programs that exist, and that `man` finds the pages of
# Documentation= (on MANPATH, when set). Exit code 77, with the reason, where systemd-analyze is
# missing or cannot work at all, as in some containers.
#   verify-units.sh UNIT_FILE...
set -euo pipefail
command -v systemd-analyze >/dev/null || {
  echo "skipped: systemd-analyze is not installed (Debian package systemd)"; exit 77; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime" "$scratch/home"
export XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch/home

# A unit known to be sound: if it does not pass, systemd-analyze cannot work here.
printf '[Service]\nExecStart=/bin/true\n' >"$scratch/sound.service"
if ! said=$(systemd-analyze --user verify --man=no "$scratch/sound.service" 2>&1) || [ -n "$said" ]; then
  echo "skipped: systemd-analyze cannot verify units here: $said"
  exit 77
fi

man_check=()
command -v man >/dev/null || man_check=(--man=no)
status=0
said=$(systemd-analyze --user verify "${man_check[@]}" "$@" 2>&1) || status=$?
if [ $status -ne 0 ] || [ -n "$said" ]; then
  printf '%s\n' "$said"
  echo "systemd-analyze verify: exit code $status"
  exit 1
fi
echo "systemd-analyze verify: $* sound"
