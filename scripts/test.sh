#!/usr/bin/env bash
# Builds lobbykit and runs every test (the demo's window screenshot under Xvfb among them): the
# debug build, a release build with its tests, the
# benchmarks and the demo, the ASan+UBSan build, the channel's tests under TSan, the fuzzers
# for a bounded time, the Windows build under Wine (scripts/test-windows.sh, with its install
# test), and hosts built against the installed tree and with lobbykit as a subproject
# (scripts/test-install.sh).
#   FUZZ_SECONDS=N           seconds per fuzz target (default 60)
#   LOBBYKIT_CHECK_FORMAT=0  skip the check of the sources' layout (scripts/check-format.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
# SDL2 for the demo's window; Xvfb and xwd for the screenshot tests (native and under Wine).
scripts/deps.sh libsdl2-dev xvfb x11-apps xauth
root=$PWD
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

step() { printf '\n=== %s\n' "$*"; }

build() {  # build DIR [cmake args...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

if [[ ${LOBBYKIT_CHECK_FORMAT:-1} == 1 ]]; then
  step "layout of the sources (.clang-format)"
  scripts/check-format.sh
fi

step "debug build, -Werror"
build build/debug -DCMAKE_BUILD_TYPE=Debug
(cd build/debug && ctest --output-on-failure -j "$jobs")

step "release build (tests, benchmarks, demo), -Werror, its tests and the demo"
build build/bench -DCMAKE_BUILD_TYPE=Release -DLOBBYKIT_TESTS=ON
(cd build/bench && ctest --output-on-failure -j "$jobs")
# In a namespace of its own: other lobbykit programs of this user may be running.
mkdir -p build/bench/runtime
DISPLAY= XDG_RUNTIME_DIR=$root/build/bench/runtime build/bench/demo/lobbykit_lobby >build/bench/demo.log 2>&1 ||
  { cat build/bench/demo.log; exit 1; }
grep -q "both games served" build/bench/demo.log

step "ASan + UBSan"
build build/asan -DCMAKE_BUILD_TYPE=Debug -DLOBBYKIT_SANITIZE=asan-ubsan -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_DEMO=OFF
(cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs")

step "TSan (channel)"
build build/tsan -DCMAKE_BUILD_TYPE=Debug -DLOBBYKIT_SANITIZE=tsan -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_DEMO=OFF
(cd build/tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L channel --no-tests=ignore)

step "fuzzers, ${fuzz_seconds}s each"
build build/fuzz -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
      -DLOBBYKIT_FUZZ=ON -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_DEMO=OFF
for f in build/fuzz/tests/fuzz/*Fuzz; do
  name=$(basename "$f")
  corpus=build/fuzz/corpus/$name; mkdir -p "$corpus"
  seeds=tests/fuzz/seeds/$name
  [ -d "$seeds" ] || seeds=
  built=build/fuzz/seeds/$name  # seeds the build generates
  [ -d "$built" ] || built=
  echo "fuzz: $name"
  "$f" -max_total_time="$fuzz_seconds" -artifact_prefix=build/fuzz/ "$corpus" $seeds $built 2>build/fuzz/$name.log \
    || { tail -40 build/fuzz/$name.log; exit 1; }
done

step "the Windows build under Wine"
scripts/test-windows.sh

step "hosts built against the installed tree, and lobbykit as a subproject"
scripts/test-install.sh native build/debug
scripts/test-install.sh subproject
# A game with its own epoll loop against the same install, served by the demo lobby: its
# notifications arrive through the queue descriptor, and 5 idle seconds cost it under 10 ms of CPU.
stage_lib=$(dirname "$(find build/stage -name 'liblobbykit.so.0' | head -1)")
cmake -S tests/install/epoll -B build/epoll-host -G Ninja -DCMAKE_PREFIX_PATH="$root/build/stage" >/dev/null
cmake --build build/epoll-host
mkdir -p build/epoll-host/runtime
LD_LIBRARY_PATH=$root/$stage_lib DISPLAY= XDG_RUNTIME_DIR=$root/build/epoll-host/runtime \
  build/debug/demo/lobbykit_lobby "$root/build/epoll-host/epoll_host" >build/epoll-host/run.log 2>&1 || true
grep -a "epoll host" build/epoll-host/run.log
[ "$(grep -ac 'epoll host .*: ok' build/epoll-host/run.log)" = 2 ] || { cat build/epoll-host/run.log; exit 1; }

step "Debian packages: lintian, apt-get install, hosts against /usr, purge"
scripts/test-install.sh deb

step "all tests passed"
