#!/usr/bin/env bash
# Runs image_ops_bench natively (CImage over winport/posix's GDI) and the Windows build of it
# under Wine (CImage over Wine's GDI) one after the other on this machine, and prints both
# columns, the ratio native / Wine and the targets.
#   bench/image/run-image-ops.sh [NATIVE_BENCH [WINDOWS_BENCH [WINE_PREFIX]]]
# Defaults: build/bench/bench/image/image_ops_bench (the Release build of scripts/test.sh),
#           build/windows-release/bench/image/image_ops_bench.exe (the Release build of
#           scripts/test-windows.sh), build/windows/wineprefix.
#   REPETITIONS=N   repetitions of each operation on both sides (default 5)
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/bench/bench/image/image_ops_bench}
windows=${2:-build/windows-release/bench/image/image_ops_bench.exe}
prefix=${3:-$PWD/build/windows/wineprefix}
reps=${REPETITIONS:-5}

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
"$native" --benchmark_repetitions="$reps" >"$out/native.txt"
# lobbykit.dll is in the top folder of the Windows build.
cmake/wine-run.sh --path "$(cd "$(dirname "$windows")/../.." && pwd)" "$prefix" "$windows" "$reps" | tr -d '\r' >"$out/wine.txt"
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"

# The summary rows: operation, repetitions, best calls/s, median calls/s.
rows() { sed -n '/^== image_ops_bench summary/,$p' "$1" | awk 'NF == 4 && $3 ~ /^[0-9.]+$/'; }
echo "image_ops_bench on $(nproc) CPUs; $reps repetitions each side, wall time; calls per second"
printf '%-20s %11s %11s  %11s %11s  %13s %13s  %s\n' operation "native best" "native med" \
  "Wine best" "Wine med" "best: n/Wine" "median: n/W" target
# Targets as ratios native / Wine, judged on the medians: every operation at least 1;
# TransBitBlt 1:1 at least 1.5; CreateRotateBitmap at least 10, also against Wine's turn by
# GetPixel/SetPixel per pixel (TurnPerPixel, the plain way of turning).
join <(rows "$out/native.txt" | sort) <(rows "$out/wine.txt" | sort) |
  awk '{
    t = 1
    if ($1 == "TransBitBlt1to1") t = 1.5
    if ($1 == "CreateRotateBitmap") { t = 10; turnBest = $3; turnMed = $4 }
    if ($1 == "TurnPerPixel") { plainBest = $6; plainMed = $7; t = 0 }
    rb = $3 / $6; rm = $4 / $7
    printf "%-20s %11.1f %11.1f  %11.1f %11.1f  %13.2f %13.2f  ", $1, $3, $4, $6, $7, rb, rm
    if (t > 0) printf ">= %-4s %s\n", t, (rm >= t ? "met" : "MISSED"); else printf "(baseline)\n"
  }
  END {
    if (turnMed > 0 && plainMed > 0)
      printf "%-20s %11.1f %11.1f  %11.1f %11.1f  %13.2f %13.2f  >= 10   %s\n", "Rotate/WinePerPixel",
             turnBest, turnMed, plainBest, plainMed, turnBest / plainBest, turnMed / plainMed,
             (turnMed / plainMed >= 10 ? "met" : "MISSED")
  }'
