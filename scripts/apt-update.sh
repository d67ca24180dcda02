#!/usr/bin/env bash
# Refreshes apt's package lists, as root or through sudo. A mirror in the middle of a sync fails
# a list now and then (seen: a foreign architecture's security index of the wrong size): the
# update is tried again after a pause, and if a list still fails, apt goes on with the lists it
# has and a warning says so. An install that then lacks a package fails loudly by itself.
set -uo pipefail

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
attempts=3
for attempt in $(seq 1 $attempts); do
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update -qq && exit 0
  [ "$attempt" -lt $attempts ] && sleep 15
done
echo "apt-update.sh: some package lists could not be refreshed; going on with those apt has" >&2
exit 0
