#!/usr/bin/env bash
# Builds lobbykit and runs the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh libsdl2-dev  # the lobby's window, when there is a display
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DLOBBYKIT_TESTS=OFF -DLOBBYKIT_BENCH=OFF >/dev/null
cmake --build build/release
build/release/demo/lobbykit_titles
echo
exec build/release/demo/lobbykit_lobby
