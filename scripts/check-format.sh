#!/usr/bin/env bash
# Checks that the C++ sources are laid out as .clang-format says (clang-format 14, Debian 12).
#   scripts/check-format.sh          list the files that differ, exit 1 if any
#   scripts/check-format.sh --fix    reformat them in place
# scripts/test.sh runs the check when LOBBYKIT_CHECK_FORMAT=1.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh clang-format
cf=$(command -v clang-format-14 || command -v clang-format)
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ ${1:-} == --fix ]]; then
  "$cf" -i "${files[@]}"
  exit 0
fi
differ=()
for f in "${files[@]}"; do
  "$cf" --dry-run --Werror "$f" >/dev/null 2>&1 || differ+=("$f")
done
if ((${#differ[@]})); then
  printf 'check-format: %d of %d files differ from .clang-format (scripts/check-format.sh --fix):\n' \
    "${#differ[@]}" "${#files[@]}" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as .clang-format lays them out"
