#!/usr/bin/env bash
# Runs image_bench natively (winport/posix's GDI) and the Windows build of it under Wine (Wine's
# GDI) on this machine, and prints both columns side by side.
#   bench/image/run-both.sh [NATIVE_BENCH [WINDOWS_BENCH [WINE_PREFIX]]] 
# Defaults: build/bench/bench/image/image_bench (the Release build of scripts/test.sh),
#           build/windows-release/bench/image/image_bench.exe (made by scripts/test-windows.sh;
#           else build/windows/...), build/windows/wineprefix.
#   REPETITIONS=N   repetitions of each operation on both sides (default 5; the fastest counts)
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/bench/bench/image/image_bench}
windows=${2:-build/windows-release/bench/image/image_bench.exe}
[[ -n ${2:-} || -f $windows ]] || windows=build/windows/bench/image/image_bench.exe
prefix=${3:-$PWD/build/windows/wineprefix}
reps=${REPETITIONS:-5}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$native" --benchmark_repetitions="$reps" >"$out/native.txt" 2>"$out/native.err"
cmake/wine-run.sh "$prefix" "$windows" "$reps" | tr -d '\r' >"$out/wine.txt"

# The summary rows: operation, us/op, x memcpy.
rows() { sed -n '/^== image_bench summary/,$p' "$1" | awk 'NF == 3 && $2 ~ /^[0-9.]+$/'; }
echo "image_bench on $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg); fastest of $reps repetitions, wall time"
printf '%-18s %12s %9s  %12s %9s  %14s\n' operation "native us" "x memcpy" "Wine us" "x memcpy" "Wine / native"
# In the native summary's order (memcpy first).
awk 'NR == FNR { us[$1] = $2; x[$1] = $3; next }
     ($1 in us) { printf "%-18s %12.1f %9.2f  %12.1f %9.2f  %14.2f\n", $1, $2, $3, us[$1], x[$1], us[$1] / $2 }' \
  <(rows "$out/wine.txt") <(rows "$out/native.txt")
grep '^target' "$out/native.txt" | sed 's/^/native: /'
