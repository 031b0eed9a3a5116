#!/usr/bin/env bash
# Runs trovwin end to end on the demo data and drives it with xdotool, as a user would: fill the
# dialog, OK, look at the plot, dismiss it with a right click, check the files, Quit. Run it under
# Xvfb (../xvfb_run.sh; no window manager). trovwin runs in a new session, so an engine that stops on an error
# finds no terminal to wait at.
# Usage: trovwin_gui.sh CASE TROVWIN DIALOG_GEOMETRY EXAMPLES WORKDIR
# With SHOTS naming a folder, the screenshots of the dialog, the plots and the message box go there.
set -u
case_name=$1 trovwin=$(readlink -f "$2") geometry_tool=$(readlink -f "$3") examples=$(readlink -f "$4") work=$5
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cp "$examples/demo1.dat" "$examples/covariate.dat" .

pid= plots=0
# trovwin leads its own process group: a stray engine goes with it.
cleanup() { [ -n "$pid" ] && kill -- -"$pid" 2>/dev/null; }
trap cleanup EXIT

fail() {
  echo "FAIL ($case_name): $*"
  for f in out.txt err.txt; do [ -f "$f" ] && { echo "--- trovwin $f:"; tail -40 "$f"; }; done
  exit 1
}

# Waits for a visible window whose title matches (up to SECONDS, default 20); prints its id.
wait_window() {
  local id
  for _ in $(seq $((${2:-20} * 10))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { sleep 0.3; echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# Where the dialog's widgets lie: "geometry ID X Y W H" for every widget, from the same dialog.
dialog_geometry() {
  timeout 30 "$geometry_tool" >geometry.txt 2>/dev/null || fail "dialog_geometry failed"
}
# Centre of widget ID, in window coordinates.
centre() { awk -v n="$1" '$1 == "geometry" && $2 == n {print $3 + int($5 / 2), $4 + int($6 / 2)}' geometry.txt; }
line_height() { awk '$1 == "geometry" && $2 == 4 {print $6}' geometry.txt; }

# Widget identifiers of the settings dialog, in creation order.
OPTION=5 MODEL=7 COVARIATE=9 DATA_FILE=11 STRUCTURE=13 FIXED=15 SMALLEST=17 LARGEST=19 NUMBER=21
BOOT=23 SEED=25 TOLERANCE=28 ITERATIONS=30 OUTPUT=32 OK=33 QUIT=34

click_at() { xdotool mousemove --window "$dialog" "$1" "$2" click 1; sleep 0.3; }
click_widget() { click_at $(centre "$1"); }
# Row ROW (0-based) of a list.
click_list_item() {
  local x y w _
  read -r x y w _ <<<"$(awk -v n="$1" '$1 == "geometry" && $2 == n {print $3, $4, $5, $6}' geometry.txt)"
  local line
  line=$(line_height)
  click_at $((x + w / 3)) $((y + 2 + $2 * line + line / 2))
}
# Replaces the text of a field: focus it, select all, type.
set_field() {
  click_widget "$1"
  xdotool key --window "$dialog" ctrl+a 2>/dev/null
  sleep 0.1
  xdotool type --window "$dialog" --delay 10 "$2"
  sleep 0.2
}

start() {
  dialog_geometry
  setsid "$trovwin" >out.txt 2>err.txt &
  pid=$!
  dialog=$(wait_window "User settings for TROV") || fail "no settings dialog"
  [ -n "${SHOTS:-}" ] && import -window "$dialog" "$SHOTS/dialog_$case_name.png"
}

# OK, the plot window, a screenshot of it, a right click; then the dialog is back.
ok_and_plot() {
  click_widget $OK
  local plot
  plot=$(wait_window "PLOTLIB" 90) || fail "no plot window"  # a bootstrap takes a while in a sanitizer build
  sleep 0.5
  import -window "$plot" plot.png || fail "no screenshot"
  plots=$((plots + 1))
  [ -n "${SHOTS:-}" ] && cp plot.png "$SHOTS/plot_${case_name}_$plots.png"
  # the plot has been drawn: the window is not all one colour
  [ "$(convert plot.png -format '%k' info:)" -gt 1 ] || fail "empty screen"
  xdotool mousemove --window "$plot" 300 300 click 3
  dialog=$(wait_window "User settings for TROV") || fail "the dialog did not come back after the plot"
  wait_for_lines "END OF PLOTLIB" 2
}

# Waits until trovwin's output holds COUNT lines containing TEXT.
wait_for_lines() {
  for _ in $(seq 50); do
    [ "$(grep -c -- "$1" out.txt)" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "expected $2 lines with '$1' on trovwin's output"
}

quit() {
  click_widget $QUIT
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "trovwin still running after Quit"
  wait "$pid"
  local status=$?
  pid=
  [ "$status" -eq 0 ] || fail "exit status $status after Quit"
}

# Line N of trov.in, trailing blanks removed.
in_line() { sed -n "${1}p" trov.in | sed 's/ *$//'; }
expect_in_line() { [ "$(in_line "$1")" = "$2" ] || fail "trov.in line $1 is '$(in_line "$1")', expected '$2'"; }
expect_out() { grep -qF -- "$1" trov.out || fail "trov.out lacks '$1'"; }

# trov.wmf read back by an independent reader: its lines, and its texts (drawn a character at a time)
# in the order drawn, blanks left out, holding each given title.
check_metafile() {
  [ -s trov.wmf ] || fail "no trov.wmf"
  wmf2svg -o trov.svg trov.wmf 2>wmf2svg.txt || fail "wmf2svg cannot read trov.wmf"
  local lines texts
  lines=$(grep -c "<line" trov.svg) texts=$(grep -c "<text" trov.svg)
  [ "$lines" -gt 100 ] || fail "trov.svg holds $lines lines"
  [ "$texts" -gt 20 ] || fail "trov.svg holds $texts texts"
  local drawn
  drawn=$(tr -d '\n' <trov.svg | grep -o '>[^<]*</text>' | sed 's/^>//; s/<\/text>$//' | tr -d ' \t\n')
  for title in "$@"; do
    [[ $drawn == *"${title// /}"* ]] || fail "trov.wmf lacks the text '$title' (it holds: $drawn)"
  done
}

case $case_name in
defaults)
  # The grid search with every default; the results are also copied under another name.
  start
  set_field $OUTPUT "results copy.txt"
  ok_and_plot
  cmp -s trov.in "$examples/demo1.in" || fail "trov.in differs from the defaults in demo1.in"
  expect_out " No. of grid steps =     21"
  [ "$(grep -cE '^ +-?[0-9]+\.[0-9]+ +[0-9.]+ +[0-9.E+-]+ +[0-9.E+-]+ +[0-9]+$' trov.out)" -eq 21 ] ||
    fail "trov.out lacks its 21 grid lines"
  cmp -s trov.out "results copy.txt" || fail "the copy differs from trov.out"
  check_metafile "Range of lambdas" "GCV score (solid) and OCV score (dotted)" "ln(lambda)" "Score"
  # a second run replaces the copy and trov.wmf; a name that is trov.out itself needs no copy
  echo stale >"results copy.txt"
  rm trov.svg
  set_field $OUTPUT "./trov.out"
  ok_and_plot
  cmp -s trov.out "results copy.txt" && fail "the copy was made again under the old name"
  check_metafile "Range of lambdas"
  quit
  ;;
fixed_lambda)
  # One fixed lambda, the range fields greyed: the fitted curve with the data points.
  start
  click_list_item $OPTION 0
  set_field $FIXED "4"
  ok_and_plot
  expect_in_line 4 "1         nstep = number of lambdas to search over"
  expect_in_line 5 "4         lmin = smallest ln(lambda) of search, or fixed ln(lambda)"
  expect_in_line 6 " 10       lmax = largest ln(lambda) of search"
  expect_in_line 11 "0         iboot = Number of bootstrap replications to carry out"
  expect_out " Fixed lambda =           4.00000"
  expect_out "         Y          X        N        Yhat   ln Yhat/(1-Yhat)"
  [ -e trov.out ] && [ ! -e "results copy.txt" ] || fail "a copy was made though the output name is trov.out"
  check_metafile "Fitness function with data points" "Trait (X)" "Fitness (Yhat)"
  quit
  ;;
bootstrap)
  # A fixed lambda with 100 bootstrap replicates: the curve, its dashed band and the points.
  start
  click_list_item $OPTION 0
  set_field $FIXED "4"
  set_field $BOOT "100"
  ok_and_plot
  expect_in_line 11 "100       iboot = Number of bootstrap replications to carry out"
  expect_in_line 12 "2387498   random number seed for bootstrapping"
  expect_out " Summary of bootstrap results"
  expect_out " Number of bootstrap replications =  100"
  check_metafile "Fitness function with data points" "dotted lines are +/- 1 standard error of prediction"
  # back to the range option: the bootstrap field is written as 0 and the grid plotted, the seed kept
  click_list_item $OPTION 1
  ok_and_plot
  # the range fields were built for the fixed option: the number of lambdas shows "21"
  expect_in_line 4 "21        nstep = number of lambdas to search over"
  expect_in_line 11 "0         iboot = Number of bootstrap replications to carry out"
  expect_in_line 12 "2387498   random number seed for bootstrapping"
  check_metafile "Range of lambdas"
  quit
  ;;
category)
  # A categorical covariate at a fixed lambda: the corrected curve, the uncorrected values as symbols.
  start
  click_list_item $OPTION 0
  click_list_item $COVARIATE 2
  set_field $DATA_FILE "covariate.dat"
  set_field $FIXED "2"
  ok_and_plot
  expect_in_line 2 " 1        M = number of covariates (0 or 1)"
  expect_in_line 3 " 1        catcov = covariate is continuous (0) or category (1)"
  expect_in_line 13 "covariate.dat"
  expect_out " Levels of the covariate =  2.  1."
  expect_out "     Fitted values ->"
  check_metafile "Fitness function corrected for covariate" "Symbols are uncorrected predicted values" \
    "Corrected fitness (YhatC)"
  quit
  ;;
missing_data)
  # A data file that does not exist: the engine stops, a message box says why nothing is plotted,
  # and the dialog comes back.
  start
  set_field $DATA_FILE "nosuch.dat"
  click_widget $OK
  box=$(wait_window "^trovwin$" 60) || fail "no message box"
  import -window root box.png
  [ -n "${SHOTS:-}" ] && cp box.png "$SHOTS/box_$case_name.png"
  grep -qF 'cannot open data file "nosuch.dat"' err.txt || fail "the engine's message is not on trovwin's error stream"
  [ ! -e trov.out ] && [ ! -e trov.wmf ] || fail "trov.out or trov.wmf exists after the failed run"
  xdotool key --window "$box" Return
  dialog=$(wait_window "User settings for TROV") || fail "the dialog did not come back after the message"
  xdotool search --onlyvisible --name "^trovwin$" >/dev/null 2>&1 && fail "the message box is still open"
  expect_in_line 13 "nosuch.dat"
  quit
  ;;
*) fail "unknown case" ;;
esac
echo "PASS ($case_name)"
