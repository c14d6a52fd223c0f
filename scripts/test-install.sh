#!/usr/bin/env bash
# Hosts built outside lobbykit's tree, as its users build them: the install test's lobby
# and game (tests/install/hosts) against an installed lobbykit, then run: the lobby starts
# the game with CreateProcessA, they exchange packets, the game leaves, and a game that ends
# before it connects is noticed through its process handle within a second.
#   scripts/test-install.sh native BUILD_DIR    install BUILD_DIR into build/stage; hosts
#                                               built with the CMake package and with
#                                               pkg-config, and the older tests/install/host
#   scripts/test-install.sh subproject          lobbykit taken in with FetchContent
#   scripts/test-install.sh deb                 the Debian packages: a Release build for /usr
#                                               with Debian's build flags, cpack, lintian,
#                                               apt-get install ./...deb, hosts built against
#                                               /usr and run, then both packages purged
#   scripts/test-install.sh windows BUILD_DIR WINE_PREFIX
#                                               the Windows build installed into
#                                               build/stage-windows, hosts built with
#                                               mingw-w64 against it, run under Wine
# Run from scripts/test.sh and scripts/test-windows.sh, which build BUILD_DIR first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
hosts=$root/tests/install/hosts

step() { printf '\n=== install: %s\n' "$*"; }
die() { printf 'test-install: %s\n' "$*" >&2; exit 1; }

# Runs the lobby with the game's path in a namespace of its own (other lobbykit programs of
# this user may be running) and shows what both said.
run_hosts() {  # run_hosts LABEL LOBBY GAME [runner...]
  local label=$1 lobby=$2 game=$3
  shift 3
  local rt
  rt=$(mktemp -d "$root/build/install-rt.XXXXXX")
  echo "-- $label"
  # The library's trace (Debug builds) goes to stderr: kept, and shown if the run fails.
  if ! XDG_RUNTIME_DIR=$rt timeout 120 "$@" "$lobby" "$game" 2>"$rt.trace"; then
    tail -40 "$rt.trace"
    rm -rf "$rt" "$rt.trace"
    die "$label: the lobby and its game failed (see above)"
  fi
  rm -rf "$rt" "$rt.trace"
}

native() {
  local build=$1 stage=$root/build/stage
  step "install $build into $stage"
  rm -rf "$stage"
  cmake --install "$build" --prefix "$stage" >/dev/null
  local libdir
  libdir=$(dirname "$(find "$stage" -name 'liblobbykit.so.0' | head -1)")
  [[ -d $libdir ]] || die "no liblobbykit.so.0 in $stage"

  step "hosts with the CMake package (find_package(lobbykit))"
  cmake -S "$hosts" -B build/install-cmake -G Ninja -DCMAKE_PREFIX_PATH="$stage" >/dev/null
  cmake --build build/install-cmake
  # The build tree's run path names the stage: no LD_LIBRARY_PATH.
  run_hosts "CMake package" build/install-cmake/install_lobby "$root/build/install-cmake/install_game"

  step "hosts with pkg-config"
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  local cflags libs
  cflags=$(pkg-config --cflags lobbykit)
  libs="$(pkg-config --libs lobbykit) -Wl,-rpath,$(pkg-config --variable=libdir lobbykit)"
  [[ $(pkg-config --static --libs lobbykit) == *-lsqlite3* ]] || die "lobbykit.pc: no -lsqlite3 in Libs.private"
  [[ $(pkg-config --libs lobbykit) != *-lsqlite3* ]] || die "lobbykit.pc: -lsqlite3 outside Libs.private"
  mkdir -p build/install-pc
  # shellcheck disable=SC2086  # the flags are words
  g++ -std=c++17 -Wall -Wextra -Werror $cflags "$hosts/lobby.cpp" -o build/install-pc/install_lobby $libs
  # shellcheck disable=SC2086
  g++ -std=c++17 -Wall -Wextra -Werror $cflags "$hosts/game.cpp" -o build/install-pc/install_game $libs
  run_hosts "pkg-config" build/install-pc/install_lobby "$root/build/install-pc/install_game"

  step "the level-title host (tests/install/host)"
  cmake -S tests/install/host -B build/host -G Ninja -DCMAKE_PREFIX_PATH="$stage" >/dev/null
  cmake --build build/host
  build/host/host
  # shellcheck disable=SC2086
  g++ -std=c++17 tests/install/host/host.cpp -o build/host/host-pc $cflags $libs
  build/host/host-pc
  unset PKG_CONFIG_PATH
}

subproject() {
  local dir=build/install-sub
  step "lobbykit as a subproject (FetchContent), built with -Werror and ASan+UBSan for itself"
  cmake -S tests/install/subproject -B "$dir" -G Ninja -DLOBBYKIT_SOURCE_DIR="$root" \
        -DLOBBYKIT_WERROR=ON -DLOBBYKIT_SANITIZE=asan-ubsan -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
  # lobbykit's own objects get its flags, the parent's hosts none of them.
  python3 - "$dir/compile_commands.json" <<'EOF'
import json, sys
bad = []
seen = {"lobbykit": 0, "host": 0}
for c in json.load(open(sys.argv[1])):
    host = "/tests/install/hosts/" in c["file"]
    kind = "host" if host else "lobbykit"
    seen[kind] += 1
    flags = {f: f in c["command"] for f in ("-Werror", "-fsanitize=address", "-Wall")}
    if host and any(flags.values()) or not host and not all(flags.values()):
        bad.append(f"{c['file']}: {flags}")
if bad or not all(seen.values()):
    sys.exit("flags in the wrong place:\n  " + "\n  ".join(bad) + f"\n  compiled: {seen}")
print(f"flags: lobbykit's {seen['lobbykit']} sources have them, the parent's {seen['host']} do not")
EOF
  cmake --build "$dir"
  for exe in install_lobby install_game; do
    ! ninja -C "$dir" -t commands "$exe" | tail -1 | grep -q -- -fsanitize ||
      die "the parent's $exe is linked with lobbykit's sanitizer flags"
  done
  # The library carries the sanitizers, the hosts do not: the runtime goes first.
  run_hosts "subproject" "$dir/install_lobby" "$root/$dir/install_game" \
    env LD_PRELOAD="$(g++ -print-file-name=libasan.so)" ASAN_OPTIONS=detect_leaks=1
}

deb() {
  local build=build/deb
  step "Debian packages: a Release build for /usr with dpkg-buildflags, then cpack"
  scripts/deps.sh lintian dpkg-dev fakeroot
  # Debian's hardening, bindnow included, as lintian expects of a library.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  local cppflags
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  rm -rf "$build"
  CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
  LDFLAGS=$(dpkg-buildflags --get LDFLAGS) \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
          -DLOBBYKIT_TESTS=OFF -DLOBBYKIT_BENCH=OFF -DLOBBYKIT_DEMO=OFF >/dev/null
  cmake --build "$build"
  (cd "$build" && cpack -G DEB >/dev/null)
  local version debs
  version=$(sed -n 's/^project(lobbykit VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  debs=("$root/$build/liblobbykit0_${version}_amd64.deb" "$root/$build/liblobbykit-dev_${version}_amd64.deb")
  for d in "${debs[@]}"; do [[ -f $d ]] || die "cpack made no $d"; done

  step "lintian"
  # Clean: the two tags the packages mean are overridden inside them, each with its reason
  # (cmake/debian/*.lintian-overrides: -fPIC in lobbykit.pc, the empty maintainer scripts).
  lintian --fail-on error,warning "${debs[@]}"
  lintian --show-overrides "${debs[@]}" 2>/dev/null | grep '^O:' || true

  step "apt-get install the packages"
  local SUDO=
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  purge() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq liblobbykit-dev liblobbykit0 >/dev/null 2>&1 || true; }
  purge
  trap purge EXIT
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${debs[@]}" >/dev/null
  dpkg-query -W liblobbykit0 liblobbykit-dev
  lobbykit-reg --version
  man -w lobbykit-reg >/dev/null 2>&1 || [[ -f /usr/share/man/man1/lobbykit-reg.1.gz ]] ||
    die "no manual page for lobbykit-reg"

  step "hosts built against /usr (CMake package and pkg-config), and run"
  rm -rf build/install-deb
  cmake -S "$hosts" -B build/install-deb -G Ninja >/dev/null
  cmake --build build/install-deb
  grep -qx 'lobbykit_DIR:PATH=/usr/lib/x86_64-linux-gnu/cmake/lobbykit' build/install-deb/CMakeCache.txt ||
    die "the hosts did not find the package in /usr"
  run_hosts "Debian packages, CMake" build/install-deb/install_lobby "$root/build/install-deb/install_game"
  # shellcheck disable=SC2046  # the flags are words
  g++ -std=c++17 -Wall -Wextra -Werror "$hosts/lobby.cpp" -o build/install-deb/pc_lobby $(pkg-config --cflags --libs lobbykit)
  # shellcheck disable=SC2046
  g++ -std=c++17 -Wall -Wextra -Werror "$hosts/game.cpp" -o build/install-deb/pc_game $(pkg-config --cflags --libs lobbykit)
  run_hosts "Debian packages, pkg-config" build/install-deb/pc_lobby "$root/build/install-deb/pc_game"

  step "purge the packages"
  trap - EXIT
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -qq liblobbykit-dev liblobbykit0 >/dev/null
  ! dpkg-query -W -f='${Status}\n' liblobbykit0 liblobbykit-dev 2>/dev/null | grep -q installed ||
    die "the packages are still installed"
  for f in /usr/include/lobbykit /usr/lib/x86_64-linux-gnu/liblobbykit.so.0 /usr/bin/lobbykit-reg \
           /usr/lib/x86_64-linux-gnu/cmake/lobbykit /usr/share/doc/liblobbykit0; do
    [[ ! -e $f ]] || die "$f is left after the purge"
  done
  echo "removed"
}

windows() {
  local build=$1 prefix=$2 stage=$root/build/stage-windows
  step "install $build into $stage"
  rm -rf "$stage"
  cmake --install "$build" --prefix "$stage" >/dev/null
  for f in bin/lobbykit.dll lib/liblobbykit.dll.a include/lobbykit/GameLink.h \
           include/lobbykit/ipc/MapIPC.h lib/cmake/lobbykit/lobbykitConfig.cmake; do
    [[ -f $stage/$f ]] || die "the Windows install has no $f"
  done

  step "hosts with mingw-w64 against the Windows install"
  # The toolchain searches packages only below mingw's root: the package is named directly.
  cmake -S "$hosts" -B build/install-windows -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-w64.cmake" \
        -Dlobbykit_DIR="$stage/lib/cmake/lobbykit" >/dev/null
  cmake --build build/install-windows

  step "the hosts under Wine"
  # The game is named as Windows finds it: beside the lobby (the application's folder).
  (cd build/install-windows &&
   run_hosts "Windows install under Wine" install_lobby.exe install_game.exe \
     "$root/cmake/wine-run.sh" --path "$stage/bin" "$prefix")
}

case ${1:-} in
  native) native "${2:?build dir}" ;;
  subproject) subproject ;;
  deb) deb ;;
  windows) windows "${2:?build dir}" "${3:?Wine prefix}" ;;
  *) die "usage: $0 native BUILD_DIR | subproject | deb | windows BUILD_DIR WINE_PREFIX" ;;
esac
step "passed"
