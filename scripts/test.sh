#!/usr/bin/env bash
# Builds NIMBRIX with its tests and runs every test (unit, cycle, end-to-end) through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
