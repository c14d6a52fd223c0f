#!/usr/bin/env bash
# The lobby's window as a person sees it: starts a virtual X display (Xvfb), runs the lobby
# there with its window held open, takes a screenshot of the screen (xwd) and compares the
# window's corner of it with the scene file the lobby saved, pixel for pixel.
#   window_screenshot.sh COMPARER [RUNNER...] LOBBY
# COMPARER: tests/demo/compare_screenshot.py; RUNNER: how a program of the build is started
# (Wine's runner for the Windows build, which gets the display as LOBBYKIT_WINE_DISPLAY).
set -u
compare=$1
shift
lobby=${!#}
out=$(mktemp -d)
xvfb_pid= lobby_pid=
cleanup() {
  [[ -z $lobby_pid ]] || kill "$lobby_pid" 2>/dev/null
  [[ -z $xvfb_pid ]] || kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$out"
}
trap cleanup EXIT
fail() { echo "window_screenshot: $*"; [[ -f $out/lobby.log ]] && cat "$out/lobby.log"; exit 1; }

# A display of our own: the first number whose lock Xvfb can take.
for n in $(seq 71 99); do
  [[ -e /tmp/.X$n-lock ]] && continue
  Xvfb ":$n" -screen 0 640x400x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do
    [[ -S /tmp/.X11-unix/X$n ]] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ -S /tmp/.X11-unix/X$n ]] && kill -0 "$xvfb_pid" 2>/dev/null; then display=:$n; break; fi
  kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; xvfb_pid=
done
[[ -n $xvfb_pid ]] || fail "no X display could be started (Xvfb: $(cat "$out/xvfb.log"))"

DISPLAY=$display LOBBYKIT_WINE_DISPLAY=$display "$@" --hold 20 >"$out/lobby.log" 2>&1 &
lobby_pid=$!
for _ in $(seq 900); do
  grep -q "scene window held" "$out/lobby.log" && break
  kill -0 "$lobby_pid" 2>/dev/null || fail "the lobby ended without holding its window"
  sleep 0.1
done
grep -q "scene window held" "$out/lobby.log" || fail "the lobby did not hold its window within 90 s"
grep -q "the scene is shown live in" "$out/lobby.log" || fail "the lobby opened no window"
sleep 1  # its last paint
DISPLAY=$display xwd -root -silent -out "$out/shot.xwd" || fail "xwd could not take the screenshot"
scene=$(dirname "$lobby")/lobbykit_scene.bmp
python3 "$compare" "$out/shot.xwd" "$scene" || fail "the window does not show the scene"
