#!/usr/bin/env bash
# Runs differential_probe natively (winport/posix) and under Wine (the real Win32 API) and
# compares the transcripts (differential_probe --compare).
#   compare.sh NATIVE_PROBE WINDOWS_PROBE RUNNER [RUNNER_ARGS...]
# RUNNER starts a Windows program (the build's wine-run.sh and its prefix).
set -uo pipefail

if (($# < 3)); then
  echo "usage: $0 NATIVE_PROBE WINDOWS_PROBE RUNNER [RUNNER_ARGS...]" >&2
  exit 2
fi
native=$1
windows=$2
shift 2

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The native registry scenarios get a store of their own, not the user's.
mkdir -p "$out/config"
XDG_CONFIG_HOME=$out/config "$native" >"$out/winport.txt" 2>"$out/winport.err"
native_rc=$?
"$@" "$windows" >"$out/windows.txt" 2>"$out/windows.err"
windows_rc=$?

if ((native_rc != 0)); then
  echo "native probe failed (exit $native_rc):"; cat "$out/winport.err"
  exit 1
fi
if ((windows_rc != 0)); then
  echo "Windows probe failed under Wine (exit $windows_rc):"; cat "$out/windows.err"
  exit 1
fi
"$native" --compare "$out/winport.txt" "$out/windows.txt"
