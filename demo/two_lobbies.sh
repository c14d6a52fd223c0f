#!/usr/bin/env bash
# Two demo lobbies started at once on the default channel name: one serves its two games as
# usual; the other says that a lobby of this user is live on that name and exits non-zero
# within LIMIT_MS (default 1000; under Wine this also holds Wine's start of a program). Two
# that did not overlap after all (the first was done before the second began, as a slow
# start under Wine can make it) both serve, rightly: that round is run again, up to five.
#   two_lobbies.sh [RUNNER...] LOBBY    RUNNER: how a program of the build is started
set -u
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
run() {  # run NAME COMMAND...: the output in NAME, then the exit code and end time in NAME.end
  local name=$1; shift
  "$@" >"$out/$name" 2>&1
  echo "$? $(now_ms)" >"$out/$name.end"
}
fail() { echo "$*"; for l in a b; do echo "--- lobby $l"; cat "$out/$l"; done; exit 1; }

for round in 1 2 3 4 5; do
  start=$(now_ms)
  run a "$@" & pa=$!
  run b "$@" & pb=$!
  wait "$pa" "$pb"
  served=0 refused=0
  for l in a b; do
    read -r rc end <"$out/$l.end"
    if grep -q "another lobby of this user is live" "$out/$l"; then
      refused=$((refused + 1)) ms=$((end - start))
      ((rc != 0)) || fail "lobby $l: refused, but exit code 0"
      ((ms < ${LIMIT_MS:-1000})) || fail "lobby $l: refused after $ms ms"
    elif ((rc == 0)) && grep -q "both games served" "$out/$l"; then
      served=$((served + 1))
    fi
  done
  if ((served == 1 && refused == 1)); then
    echo "round $round: one lobby served both games, the other was refused after $ms ms"
    exit 0
  fi
  ((served == 2)) || fail "round $round: $served lobbies served, $refused refused"
  echo "round $round: the lobbies did not overlap (both served); again"
done
fail "the two lobbies never ran at the same time in five rounds"
