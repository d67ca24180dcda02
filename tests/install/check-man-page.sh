#!/usr/bin/env bash
# A manual page that groff formats without a single warning, and man shows as a page.
set -euo pipefail
page=$1
warnings=$(groff -ww -b -man -z "$page" 2>&1)
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
if command -v man >/dev/null; then
  shown=$(MANWIDTH=80 man -l "$page" 2>&1 >/dev/null)
  [ -z "$shown" ] || { printf '%s\n' "$shown"; exit 1; }
  name=$(basename "$page" .1)
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "^NAME" || { echo "$page: no NAME section"; exit 1; }
  MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "$name" || { echo "$page: does not name $name"; exit 1; }
fi
