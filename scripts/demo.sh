#!/usr/bin/env bash
# The NIMBRIX demo on one machine: installs what is missing, builds, then runs the decoder
# stand-in (a simulated flight), a local APRS-IS listener and NIMBRIX itself. ESC ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev > /dev/null
cmake --build --preset dev
exec dbus-run-session -- scripts/demo-session.sh
