#!/usr/bin/env bash
# Drives settings_probe with xdotool; run under Xvfb (../xvfb_run.sh; no window manager).
# Usage: widgets_gui.sh CASE PROBE WM_CLOSE WORKDIR [SCREENSHOT]
set -u
case_name=$1 probe=$(readlink -f "$2") wm_close=$(readlink -f "$3") work=$4 shot=${5:+$(readlink -f "$5")}
mkdir -p "$work" && cd "$work" || exit 1
rm -f out.txt err.txt

fail() {
  echo "FAIL ($case_name): $* (display $DISPLAY)"
  echo "--- probe output:"; cat out.txt
  echo "--- probe errors:"; cat err.txt
  exit 1
}
expect() { grep -qxF -- "$1" out.txt || fail "missing line: $1"; }
expect_no() { ! grep -qF -- "$1" out.txt || fail "unexpected: $1"; }

# Waits (up to 30 s: the machine may be busy) until the probe printed the line.
wait_line() {
  for _ in $(seq 300); do grep -qxF -- "$1" out.txt && return 0; sleep 0.1; done
  fail "missing line: $1"
}
# Starts the probe and waits until its dialog is on the screen.
start() {
  "$probe" "$@" >out.txt 2>err.txt &
  pid=$!
  wid=
  for _ in $(seq 300); do
    wid=$(xdotool search --onlyvisible --name "User settings for TROV" 2>/dev/null | head -1)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || fail "no dialog window"
  sleep 0.5
}
# Geometry the probe printed: x y w h of a widget, in window coordinates.
geometry() { awk -v n="$1" '$1 == "geometry" && $2 == n {print $3, $4, $5, $6}' out.txt; }
# Clicks at row ROW (0-based, one line high) of a list.
click_list_item() {
  read -r x y w _ <<<"$(geometry "$1")"
  xdotool mousemove --window "$wid" $((x + w / 3)) $((y + 2 + $2 * line + line / 2)) click 1
  sleep 0.3
}
click() { xdotool mousemove --window "$wid" "$1" "$2" click 1; sleep 0.4; }
key() { xdotool key --window "$wid" "$@" 2>/dev/null; sleep 0.2; }  # the last key may close the window
type_text() { xdotool type --window "$wid" --delay 5 "$1"; sleep 0.2; }
# Waits for the probe to end and checks its exit status.
finish() {
  for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "dialog still open"; }
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "exit status $status"
}

case $case_name in
tab_order_and_ok)
  # Model item 4 of 3: the message, then item 1. Focus starts in the file field; Tab skips inactive
  # fields; 133 characters typed come back as 132; Return on the focused OK button ends with OK.
  start 4
  expect "message WGLIS: <<<< Selected list element out of range"
  for marker in a b c d e; do key Tab; type_text "$marker"; done
  key Tab
  type_text "$(printf 'y%.0s' $(seq 133))"
  key Tab
  key Return
  finish
  expect "returned"
  expect "option 2 model 1 covariate 1 structure 2"
  expect "smallest [a]"
  expect "largest [b]"
  expect "number [c]"
  expect "tolerance [d]"
  expect "iterations [e]"
  expect "output length 132"
  expect "fixed [-10]"
  expect "file [demo1.dat]"
  ;;
callbacks_and_pick)
  # Option "fixed lambda" greys the range fields (label and field); a model click runs its callback;
  # a picked file and a typed text come back with OK; Escape does not close.
  export PROBE_PICK=/tmp/picked.dat
  start
  line=$(geometry option | awk '{print int($4 / 3)}')
  key Escape
  click_list_item option 0
  wait_line "activate 1 fixed active/active smallest inactive/inactive"
  kill -0 "$pid" 2>/dev/null || fail "Escape closed the dialog"  # it came before the click
  click_list_item model 2
  wait_line "modelchange 3"
  read -r x y w h <<<"$(geometry output)"
  click $((x + w / 2)) $((y + h / 2))
  type_text "zzz"
  click 45 10                     # the "File" menu
  key Down
  key Return                      # its one entry: the chooser picks PROBE_PICK
  [ -n "$shot" ] && import -window root "$shot"
  read -r x y w h <<<"$(geometry ok)"
  click $((x + w / 2)) $((y + h / 2))
  finish
  expect "returned"
  expect "option 1 model 3 covariate 1 structure 2"
  expect "output [trov.outzzz]"
  expect "file [/tmp/picked.dat]"
  ;;
close_box)
  # The close box leaves the dialog as Quit does: wgfin returns Quit, nothing handed back.
  start
  type_text "zzz"
  "$wm_close" "$wid"
  finish
  expect "quit"
  expect_no "returned"
  ;;
return_in_field)
  # Return in an edit field presses OK.
  start
  type_text "x"
  key Return
  finish
  expect "returned"
  expect "file [demo1.datx]"
  ;;
quit_menu)
  start
  click 18 10                     # the "Exit" menu
  key Down
  key Down
  key Return                      # its second entry, Quit
  finish
  expect "quit"
  expect_no "returned"
  ;;
quit_button)
  start
  key shift+Tab                   # from the first field back round to the last button, Quit
  key Return
  finish
  expect "quit"
  expect_no "returned"
  ;;
screenshot)
  # Not a test: the dialog as it opens, saved to SCREENSHOT.
  start
  import -window "$wid" "$shot"
  "$wm_close" "$wid"
  finish
  ;;
*) fail "unknown case" ;;
esac
echo "PASS ($case_name)"
