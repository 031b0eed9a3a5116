#!/bin/sh
# The plot window under Xvfb (1024x768): placed at the lower right, two thirds of the screen wide, the
# plot drawn, the prompt in the title; other keys and the left button do not end the wait, the right
# button does, and so do Return, Space, Escape and the close box. A resized window shows the plot at
# its new size.
# usage: run_plot_window.sh PLOT_WINDOW_DEMO CLOSE_WINDOW   (PLOT_SHOT=file keeps the screenshot)
set -u
demo=$1
close_window=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

prompt='PLOTLIB  1: click the right mouse button or press Return to continue'

# Starts the demo; sets pid and wid once the window asks for the click.
start_demo() {
  "$demo" "$1" >"$work/out.txt" 2>&1 &
  pid=$!
  wait_window
}

wait_window() {
  wid=
  for _ in $(seq 1 100); do
    wid=$(xdotool search --name "$prompt" 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { fail "no window titled '$prompt'"; kill "$pid"; exit 1; }
  sleep 0.5
}

# Waits up to 5 s for the demo to end; checks status 0 and that disfin returned $2 times.
expect_end() {
  for _ in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    fail "$1 did not end the wait"
    kill "$pid"
    return
  fi
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
  [ "$(grep -c '^disfin returned$' "$work/out.txt")" -eq "$2" ] || fail "$1: disfin did not return"
  grep -q 'END OF PLOTLIB / VERSION  7.3' "$work/out.txt" || fail "$1: no end-of-plot report"
}

start_demo fitted
[ "$(xdotool getwindowname "$wid")" = "$prompt" ] || fail "title"
geometry=$(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
  /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}')
echo "window: $geometry"
# 1024 * 2/3 = 682 wide, 682 * 2100/2970 = 482 high, touching the lower right corner
[ "$geometry" = "342 286 682 482" ] || fail "window geometry $geometry"

import -window root "$work/shot.png"
[ -n "${PLOT_SHOT:-}" ] && cp "$work/shot.png" "$PLOT_SHOT"
lit_inside=$(convert "$work/shot.png" -crop 682x482+342+286 +repage -threshold 50% -format '%[fx:int(mean*w*h)]' info:)
echo "lit pixels in the window: $lit_inside"
[ "$lit_inside" -gt 2000 ] || fail "the plot is not drawn ($lit_inside lit pixels)"

xdotool key --window "$wid" a Tab F1
xdotool mousemove --window "$wid" 300 200 click 1
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "another key or the left button ended the wait"
# a larger window: the page drawn again to fill it (lit pixels beyond the old right and lower edges)
xdotool windowmove "$wid" 0 0 windowsize "$wid" 1000 700
sleep 1
import -window "$wid" "$work/resized.png"
[ -n "${PLOT_SHOT:-}" ] && cp "$work/resized.png" "${PLOT_SHOT%.png}_resized.png"
[ "$(identify -format '%wx%h' "$work/resized.png")" = 1000x700 ] || fail "the window did not take the new size"
lit_beyond=$(convert "$work/resized.png" -crop 300x700+700+0 +repage -threshold 50% -format '%[fx:int(mean*w*h)]' info:)
[ "$lit_beyond" -gt 500 ] || fail "the plot was not drawn again at the new size ($lit_beyond lit pixels beyond x 700)"
xdotool mousemove --window "$wid" 300 200 click 3
expect_end "the right mouse button" 1

for key in Return space Escape; do
  start_demo fitted
  xdotool key --window "$wid" "$key"
  expect_end "the key $key" 1
done

# the close box ends the wait of the first plot; the second plot opens its own window
start_demo twice
"$close_window" "$wid"
sleep 0.5
grep -q '^disfin returned$' "$work/out.txt" || fail "the close box did not end the wait"
wait_window
xdotool mousemove --window "$wid" 300 200 click 3
expect_end "the close box, then the right mouse button" 2

[ "$failures" -eq 0 ] && echo "all plot window checks passed"
exit "$failures"
