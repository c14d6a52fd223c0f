#!/usr/bin/env bash
# Two demo lobbies started at once on the default channel name: one serves its two games as
# usual; the other says that a lobby of this user is live on that name and exits non-zero
# within a second.
#   two_lobbies.sh LOBBY
set -u
lobby=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
run() {  # run NAME: the lobby's output in NAME, then its exit code and end time in NAME.end
  "$lobby" >"$out/$1" 2>&1
  echo "$? $(now_ms)" >"$out/$1.end"
}
start=$(now_ms)
run a & pa=$!
run b & pb=$!
wait "$pa" "$pb"

served=0 refused=0 fail=0
for l in a b; do
  read -r rc end <"$out/$l.end"
  if grep -q "another lobby of this user is live" "$out/$l"; then
    refused=$((refused + 1))
    if ((rc == 0)); then echo "lobby $l: refused, but exit code 0"; fail=1; fi
    if ((end - start >= 1000)); then echo "lobby $l: refused after $((end - start)) ms"; fail=1; fi
  elif ((rc == 0)) && grep -q "both games served" "$out/$l"; then
    served=$((served + 1))
  fi
done
if ((served != 1 || refused != 1)); then
  echo "expected one lobby served and one refused, got $served served and $refused refused"
  fail=1
fi
if ((fail)); then
  for l in a b; do echo "--- lobby $l"; cat "$out/$l"; done
  exit 1
fi
echo "one lobby served both games; the other was refused at once"
