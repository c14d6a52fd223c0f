#!/usr/bin/env bash
# Runs a program of the Windows cross build under Wine: headless, quiet, and with the
# zh_CN.UTF-8 locale so that Wine's ANSI code page is 936 (GBK), as on the target systems.
# The cross build uses it as CMAKE_CROSSCOMPILING_EMULATOR, so ctest and test discovery go
# through here.
#   wine-run.sh [--path DIR]... PREFIX_DIR PROGRAM.exe [ARGS...]
# PREFIX_DIR is the Wine prefix (made with wineboot on first use). Each --path DIR is
# searched for DLLs (lobbykit.dll for the programs that load it), as PATH is on Windows.
# Environment:
#   LOBBYKIT_WINE_DISPLAY  an X display for the program's windows (default: none, headless)
#   LOBBYKIT_WINE_TIMEOUT  seconds before the program is killed (default 900): a backstop
#                          for a hung Wine; ctest's own test timeouts normally come first.
set -uo pipefail

dll_path=
while (($# >= 2)) && [[ $1 == --path ]]; do
  # Wine sees the Unix root as drive Z:.
  dir=${2//\//\\}
  dll_path+="${dll_path:+;}Z:$dir"
  shift 2
done
if (($# < 2)); then
  echo "usage: $0 [--path DIR]... PREFIX_DIR PROGRAM [ARGS...]" >&2
  exit 2
fi
prefix=$1
shift

die() { echo "wine-run: $*" >&2; exit 125; }

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# Headless unless a test names an X display for Wine's windows (LOBBYKIT_WINE_DISPLAY).
export DISPLAY=${LOBBYKIT_WINE_DISPLAY:-}
export WAYLAND_DISPLAY=
# No Mono/Gecko installers, no desktop menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=zh_CN.UTF-8
[[ -z $dll_path ]] || export WINEPATH="$dll_path${WINEPATH:+;$WINEPATH}"

# Debian's /usr/bin/wine wrapper complains about wine32 on every start; the 64-bit loader
# itself is all that 64-bit programs need.
wine=
for w in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
  if [[ -n $w && -x $w ]]; then wine=$w; break; fi
done
[[ -n $wine ]] || die "Wine is not installed (apt-get install wine wine64)"
wineserver=
for w in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver || true)"; do
  if [[ -n $w && -x $w ]]; then wineserver=$w; break; fi
done
[[ -n $wineserver ]] || die "wineserver is not installed (apt-get install wine64)"

# Without the locale Wine silently falls back to code page 1252 and every GBK test fails
# for the wrong reason. (grep reads all of its input: with pipefail, an early exit of
# grep -q could fail the pipeline.)
locale -a 2>/dev/null | grep -ix 'zh_CN\.utf-\?8' >/dev/null ||
  die "locale zh_CN.UTF-8 is missing (localedef -i zh_CN -f UTF-8 zh_CN.UTF-8)"

# Make the prefix once, and keep a warm server: a cold start of Wine takes about a second, a
# warm one a few hundredths, and ctest starts one program per test. The server and Wine's
# own background processes are started here with their output on /dev/null: started by a
# test, they would inherit its output pipe, and ctest waits until every holder of that
# pipe has gone. The server leaves 30 s after its last program. ctest may start several
# programs at once, hence the lock.
mkdir -p "$(dirname "$prefix")" || die "cannot create $(dirname "$prefix")"
exec 9>"$prefix.lock"
flock -w 600 9 || die "waited 10 minutes for $prefix.lock (a stray Wine process of an earlier run may hold it)"
if [[ ! -f $prefix/system.reg ]]; then
  timeout --kill-after=10 300 "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  # The server writes the registry files when it leaves; it is not the persistent one
  # below either.
  timeout 60 "$wineserver" -w </dev/null >/dev/null 2>&1 9>&- || true
  [[ -f $prefix/system.reg ]] || die "wineboot could not set up the prefix $prefix"
fi
if "$wineserver" -p30 </dev/null >/dev/null 2>&1 9>&-; then
  timeout --kill-after=10 120 "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- ||
    die "Wine does not start programs (WINEPREFIX=$prefix)"
fi
exec 9>&-

limit=${LOBBYKIT_WINE_TIMEOUT:-900}
# msvcrt writes text-mode "\r\n"; CMake's test discovery reads names line by line and
# would keep the "\r" in every test name.
for a in "$@"; do
  if [[ $a == --gtest_list_tests ]]; then
    timeout --kill-after=10 "$limit" "$wine" "$@" | tr -d '\r'
    exit "${PIPESTATUS[0]}"
  fi
done
exec timeout --kill-after=10 "$limit" "$wine" "$@"
