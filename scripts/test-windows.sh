#!/usr/bin/env bash
# The Windows build: cross-compiles lobbykit with mingw-w64 (build/windows), runs its tests
# under Wine (headless, code page 936; the demo's window test gives Wine a virtual X
# display of its own), and runs the differential suite, which compares
# winport/posix (a native probe, build/windows-native) with the real Win32 API under Wine.
# It also builds the Release DLL (build/windows-release), the one a Windows user ships; its
# code is the Debug build's, so its tests are not run a second time; instead it is installed
# and the install test's hosts are built against it and run (scripts/test-install.sh).
# Installs what is missing (Debian 12, apt-get) and generates the zh_CN.UTF-8 locale.
#   WINDOWS_TEST_SECONDS=N   limit for the whole ctest run under Wine (default 2400)
#   WINDOWS_TEST_TIMEOUT=N   limit for one test (default 300)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
build=build/windows
native=build/windows-native
prefix=$root/$build/wineprefix

step() { printf '\n=== %s\n' "$*"; }
die() { printf 'test-windows: %s\n' "$*" >&2; exit 1; }

step "Windows build: dependencies"
# Xvfb and xwd: the lobby's Win32 window is screenshot under Wine in a virtual display.
scripts/deps.sh wine wine64 g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix locales googletest xvfb x11-apps xauth
# Wine's ANSI code page follows the locale; zh_CN.UTF-8 makes it 936 (GBK).
if ! locale -a 2>/dev/null | grep -ix 'zh_CN\.utf-\?8' >/dev/null; then
  echo "generating the zh_CN.UTF-8 locale"
  SUDO=; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  # Listed in /etc/locale.gen too, so that a later locale-gen keeps it.
  $SUDO sed -i 's/^# *\(zh_CN\.UTF-8 UTF-8\)/\1/' /etc/locale.gen 2>/dev/null || true
  $SUDO localedef -i zh_CN -f UTF-8 zh_CN.UTF-8 || die "localedef could not make zh_CN.UTF-8"
fi

step "Windows build: native differential probe ($native)"
cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_DEMO=OFF >/dev/null
cmake --build "$native" -j "$jobs" --target differential_probe

step "Windows build: mingw-w64 cross build ($build)"
# Benchmarks are Linux-only (their baselines are Unix sockets, raw SQLite, ...).
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake \
      -DLOBBYKIT_BENCH=OFF \
      -DLOBBYKIT_WINEPREFIX="$prefix" \
      -DLOBBYKIT_DIFF_NATIVE_PROBE="$root/$native/tests/bin/differential_probe" >/dev/null

# Wine is needed from here on (test discovery runs the test programs at build time).
wine_run=(cmake/wine-run.sh "$prefix")
stop_wine() {
  local ws
  for ws in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver || true)"; do
    if [[ -n $ws && -x $ws ]]; then WINEPREFIX=$prefix "$ws" -k >/dev/null 2>&1 || true; return; fi
  done
}
trap stop_wine EXIT
echo "starting Wine (prefix $prefix)"
if ! out=$(LOBBYKIT_WINE_TIMEOUT=120 "${wine_run[@]}" cmd.exe /c echo lobbykit-wine-ok 2>&1) ||
   [[ $out != *lobbykit-wine-ok* ]]; then
  printf '%s\n' "$out" >&2
  die "Wine does not start (see above); is wine64 installed and the prefix $prefix writable?"
fi

cmake --build "$build" -j "$jobs"

step "Windows build: Release DLL (build/windows-release)"
cmake -S . -B build/windows-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake \
      -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_TESTS=OFF >/dev/null
cmake --build build/windows-release -j "$jobs"

step "Windows build: tests under Wine"
# A test that fails is run once more: under parallel load Wine has been seen to hang a
# program at its exit (once, a demo lobby after its last line) or end one at its start with
# no output; a test that fails twice fails the run. ctest's output shows every first failure.
(cd "$build" && timeout --kill-after=30 "${WINDOWS_TEST_SECONDS:-2400}" \
   ctest --output-on-failure -j "$jobs" --timeout "${WINDOWS_TEST_TIMEOUT:-300}" --repeat until-pass:2) ||
  die "tests failed under Wine (or the run passed ${WINDOWS_TEST_SECONDS:-2400} s)"

# The Release DLL as users get it: installed (DLL, import library, headers, CMake package),
# a lobby and a game built against the install with mingw-w64 and run under Wine.
scripts/test-install.sh windows build/windows-release "$prefix"

step "Windows build: all tests passed"
