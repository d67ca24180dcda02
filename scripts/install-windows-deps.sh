#!/usr/bin/env bash
# Installs what the Windows stage needs on top of scripts/install-deps.sh: the mingw-w64 cross
# compiler, its zlib (linked statically), GoogleTest's sources, Wine (64-bit, without recommends)
# and tmux for the screen tests.
set -euo pipefail
cd "$(dirname "$0")"
exec ./install-deps.sh g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 tmux "$@"
