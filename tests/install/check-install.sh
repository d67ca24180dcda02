#!/usr/bin/env bash
# Installs the build into a scratch folder twice, with --prefix and with DESTDIR, and checks
# that every program, manual page, document and systemd user unit is there (the units naming
# the programs where this install put them), and nothing of the tests.
#   check-install.sh BUILD_DIR "PROGRAMS" "MAN_PAGES"
set -euo pipefail
build=$1
read -r -a programs <<<"$2"
read -r -a pages <<<"$3"
units=(nimbrix sonde-bridge)  # systemd user units, each starting the program of its name
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# check_tree ROOT PREFIX: ROOT is where the files are, PREFIX where they will be run from.
check_tree() {
  local root=$1 prefix=$2 failed=0
  for p in "${programs[@]}"; do
    [ -x "$root/bin/$p" ] || { echo "missing: $root/bin/$p"; failed=1; }
  done
  for m in "${pages[@]}"; do
    [ -s "$root/share/man/man1/$m.1.gz" ] || { echo "missing: $root/share/man/man1/$m.1.gz"; failed=1; }
    gzip -t "$root/share/man/man1/$m.1.gz" 2>/dev/null || { echo "not gzip: $m.1.gz"; failed=1; }
  done
  for d in README.md decoder-dbus.xml NIMBRIX.INI.sample; do
    [ -s "$root/share/doc/nimbrix/$d" ] || { echo "missing: $root/share/doc/nimbrix/$d"; failed=1; }
  done
  for u in "${units[@]}"; do
    local unit=$root/lib/systemd/user/$u.service
    [ -s "$unit" ] || { echo "missing: $unit"; failed=1; continue; }
    grep -q "^ExecStart=$prefix/bin/$u\( \|$\)" "$unit" || {
      echo "$unit: ExecStart does not name $prefix/bin/$u:"; grep "^ExecStart=" "$unit"; failed=1; }
  done
  if find "$root" -name '*test*' -o -name '*.a' -o -name '*.h' | grep -q .; then
    echo "test programs or development files installed:"; find "$root" -name '*test*' -o -name '*.a' -o -name '*.h'
    failed=1
  fi
  return $failed
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_tree "$scratch/prefix" "$scratch/prefix"

DESTDIR="$scratch/stage" cmake --install "$build" --prefix /usr/local >/dev/null
check_tree "$scratch/stage/usr/local" /usr/local
[ ! -e /usr/local/bin/nimbrix ] || [ /usr/local/bin/nimbrix -ot "$scratch" ] || {
  echo "DESTDIR was not honoured: /usr/local/bin/nimbrix is new"; exit 1; }
echo "install rules: ok"
