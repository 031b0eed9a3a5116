#!/usr/bin/env bash
# Runs trovwin end to end on the demo data and drives it with xdotool, as a user would: fill the
# dialog, OK, look at the plot, dismiss it with a right click, check the files, Quit. Run it under
# Xvfb (../xvfb_run.sh; no window manager). trovwin runs in a new session unless a case gives it a
# terminal.
# Usage: trovwin_gui.sh CASE TROVWIN DIALOG_GEOMETRY WM_CLOSE EXAMPLES WORKDIR
# With SHOTS naming a folder, the screenshots of the dialog, the plots and the message boxes go there,
# and the PNG figure of each plot.
set -u
case_name=$1 trovwin=$(readlink -f "$2") geometry_tool=$(readlink -f "$3") wm_close=$(readlink -f "$4")
examples=$(readlink -f "$5") work=$6
. "$(dirname "$(readlink -f "$0")")/../../plotlib/figure_readers.sh"
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
cp "$examples/demo1.dat" "$examples/covariate.dat" "$examples/poisson.dat" .

pid= plots=0
# trovwin (or the program that starts it) leads its own process group: a stray engine goes with it.
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
shown() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
shot() { [ -n "${SHOTS:-}" ] && import -window "$1" "$SHOTS/${2}_$case_name.png"; }

# Where the dialog's widgets lie: "geometry NAME X Y W H", from the same dialog.
dialog_geometry() {
  timeout 30 "$geometry_tool" >geometry.txt 2>/dev/null || fail "dialog_geometry failed"
}
geometry_of() {
  local g
  g=$(awk -v n="$1" '$1 == "geometry" && $2 == n {print $3, $4, $5, $6}' geometry.txt)
  [ -n "$g" ] || fail "dialog_geometry names no widget '$1'"
  echo "$g"
}
centre() { geometry_of "$1" | awk '{print $1 + int($3 / 2), $2 + int($4 / 2)}'; }
# The option list holds two items and is one line higher than they are.
line_height() { geometry_of option_list | awk '{print int($4 / 3)}'; }

click_at() { xdotool mousemove --window "$dialog" "$1" "$2" click 1; sleep 0.3; }
click_widget() { click_at $(centre "$1"); }
# Row ROW (0-based) of a list.
click_list_item() {
  local x y w _ line
  read -r x y w _ <<<"$(geometry_of "$1")"
  line=$(line_height)
  click_at $((x + w / 3)) $((y + 2 + $2 * line + line / 2))
}
# Replaces the text of a field: focus it, select all, type ("--": a text may start with a minus sign).
set_field() {
  click_widget "$1"
  xdotool key --window "$dialog" ctrl+a 2>/dev/null
  sleep 0.1
  xdotool type --window "$dialog" --delay 10 -- "$2"
  sleep 0.2
}
key() { xdotool key --window "$dialog" "$@" 2>/dev/null; sleep 0.3; }

# Starts trovwin, or the command given that starts it (in a terminal, under a limit).
launch() {
  dialog_geometry
  if [ $# -eq 0 ]; then set -- "$trovwin"; fi
  setsid "$@" <"${keyboard:-/dev/null}" >out.txt 2>err.txt &
  pid=$! plots=0
}
start() {
  launch "$@"
  wait_dialog
  shot "$dialog" dialog
}
wait_dialog() { dialog=$(wait_window "User settings for TROV") || fail "no settings dialog"; }

# The plot window, a screenshot of it, a right click.
dismiss_plot() {
  local plot
  plot=$(wait_window "PLOTLIB" 90) || fail "no plot window"  # a bootstrap takes a while in a sanitizer build
  sleep 0.5
  import -window "$plot" plot.png || fail "no screenshot"
  plots=$((plots + 1))
  [ -n "${SHOTS:-}" ] && cp plot.png "$SHOTS/plot_${case_name}_$plots.png"
  # the plot has been drawn: the window is not all one colour
  [ "$(convert plot.png -format '%k' info:)" -gt 1 ] || fail "empty screen"
  xdotool mousemove --window "$plot" 300 300 click 3
}
# The plot, then the dialog is back, and with it the figures (the screen and the metafile each add an
# end-of-plot report to the console; the figures none).
expect_plot() {
  dismiss_plot
  wait_dialog
  wait_for_lines "END OF PLOTLIB" $((2 * plots))
  [ "$(grep -c "END OF PLOTLIB" out.txt)" -eq $((2 * plots)) ] || fail "more end-of-plot reports than plots"
  for f in trov.png trov.svg trov.pdf; do [ -s $f ] || fail "no $f after the plot"; done
  [ -n "${SHOTS:-}" ] && cp trov.png "$SHOTS/figure_${case_name}_$plots.png"
  true
}
ok_and_plot() {
  click_widget ok
  expect_plot
}

# The message box with this caption: a screenshot, then KEY (Return: OK, or "Run anyway" in a
# question; Escape: "Back to the dialog").
answer_box() {
  local box
  box=$(wait_window "^$1\$" "${3:-60}") || fail "no message box '$1'"
  shot "$box" "box_${1// /_}"
  xdotool key --window "$box" "$2"
  sleep 0.3
}
# OK refused with a message: the box, then the dialog again, and nothing run.
expect_refusal() {
  click_widget ok
  answer_box "$1" Return
  wait_dialog
  shown PLOTLIB && fail "a plot after a refusal"
  [ -e trov.in ] && fail "trov.in written after a refusal"
  true
}

# Waits until trovwin's output holds COUNT lines containing TEXT.
wait_for_lines() {
  for _ in $(seq 50); do
    [ "$(grep -c -- "$1" out.txt)" -ge "$2" ] && return 0
    sleep 0.1
  done
  fail "expected $2 lines with '$1' on trovwin's output"
}

# Waits for trovwin to end (up to 5 s) after WHAT and checks its exit status (default 0).
expect_end() {
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "trovwin still running after $1"
  wait "$pid"
  local status=$?
  pid=
  [ "$status" -eq "${2:-0}" ] || fail "exit status $status after $1"
}
quit() {
  click_widget quit
  expect_end Quit
}

# Line N of trov.in, trailing blanks removed.
in_line() { sed -n "${1}p" trov.in | sed 's/ *$//'; }
expect_in_line() { [ "$(in_line "$1")" = "$2" ] || fail "trov.in line $1 is '$(in_line "$1")', expected '$2'"; }
expect_out() { grep -qF -- "$1" trov.out || fail "trov.out lacks '$1'"; }

# trov.wmf read back by an independent reader: its lines, and its texts (drawn a character at a time)
# in the order drawn, blanks left out (in $drawn), holding each given title.
check_metafile() {
  [ -s trov.wmf ] || fail "no trov.wmf"
  wmf2svg -o metafile.svg trov.wmf 2>wmf2svg.txt || fail "wmf2svg cannot read trov.wmf"
  local lines texts
  lines=$(grep -c "<line" metafile.svg) texts=$(grep -c "<text" metafile.svg)
  [ "$lines" -gt 100 ] || fail "metafile.svg holds $lines lines"
  [ "$texts" -gt 20 ] || fail "metafile.svg holds $texts texts"
  drawn=$(tr -d '\n' <metafile.svg | grep -o '>[^<]*</text>' | sed 's/^>//; s/<\/text>$//' | tr -d ' \t\n')
  for title in "$@"; do
    [[ $drawn == *"${title// /}"* ]] || fail "trov.wmf lacks the text '$title' (it holds: $drawn)"
  done
}

# The top line of metafile.svg's text (its characters by position, blanks left out): what the plot
# shows first.
top_text() {
  tr -d '\n' <metafile.svg | grep -o 'matrix([^)]*)"[^>]*>[^<]*</text>' |
    sed -E 's/matrix\(([^ ]+) ([^ ]+) ([^ ]+) ([^ ]+) ([^ ]+) ([^)]+)\)"[^>]*>([^<]*)<\/text>/\6 \5 \7/' |
    sort -n -k1,1 -k2,2 | awk 'NR == 1 {y = $1} $1 == y {printf "%s", $3} END {print ""}'
}

# An engine run that stops on an error: the box that says so, no plot, no metafile, no copy.
expect_engine_stop() {
  click_widget ok
  answer_box "The engine stopped" Return "${1:-60}"
  wait_dialog
  [ "$plots" -eq 0 ] && shown PLOTLIB && fail "a plot after the engine stopped"
  [ -e trov.wmf ] && fail "trov.wmf written after the engine stopped"
  true
}

case $case_name in
defaults)
  # The grid search with every default: its minima marked and named, the fits that did not converge;
  # the results, the metafile, trov.json and the figures also copied under another name. Then "fixed
  # lambda" and OK fit the curve at the recommended (REML) lambda.
  start
  set_field output_file "results copy.txt"
  ok_and_plot
  cmp -s trov.in "$examples/demo1.in" || fail "trov.in differs from the defaults in demo1.in"
  expect_out " No. of grid steps =     21"
  [ "$(grep -cE '^ +-?[0-9]+\.[0-9]+ +[0-9.]+ +[0-9.E+-]+ +[0-9.E+-]+ +[0-9]+$' trov.out)" -eq 21 ] ||
    fail "trov.out lacks its 21 grid lines"
  # the answer first; the classic minima after it, and the classic fits' warnings in the details only
  minima=("REML chooses ln(lambda) = 1.14 (4.43 parameters)"
    "REML score of the converged fits (long dashes)"
    "Classic GCV minimum at ln(lambda) = 4.00 (2.62 parameters)" "Classic OCV minimum at ln(lambda) = 4.00 (2.62 parameters)")
  check_metafile "Range of lambdas" "GCV score (solid) and OCV score (dashed)" "ln(lambda)" "Score" "${minima[@]}"
  [ "$(top_text)" = "REMLchoosesln(lambda)=1.14(4.43parameters)" ] || fail "the plot's top line is $(top_text)"
  [[ $drawn == *maximumnumberofiterations* ]] && fail "the plot warns of the classic fits' iterations"
  check_publication_figures trov 240.945 "ln(lambda)" "GCV (classic)" "OCV (classic)" "REML (converged fits)" \
    "REML minimum, ln(lambda) = 1.14"
  cmp -s trov.out "results copy.txt" || fail "the copy differs from trov.out"
  for f in wmf json png svg pdf _caption.txt _plot.csv _plot.R _plot.py; do
    [ "${f#_}" = "$f" ] && f=.$f
    cmp -s "trov$f" "results copy$f" || fail "results copy$f differs from trov$f"
  done
  [ "$(ls -A | grep -vx .trov-written | grep -c '^\.')" -eq 0 ] || fail "a temporary file stayed: $(ls -A | grep '^\.')"
  # File > Details of the last run (Ctrl+D) tells the classic fits' warnings; Escape closes it
  xdotool key --window "$dialog" ctrl+d
  details=$(wait_window "^Details of the last run\$") || fail "no details window"
  shot "$details" details
  xdotool key --window "$details" Escape
  sleep 0.3
  shown "^Details of the last run\$" && fail "the details window is still open"
  # the fixed lambda offered is the recommended one; a name that is trov.out itself needs no copy
  shot "$dialog" dialog_after_grid
  echo stale >"results copy.txt"
  rm metafile.svg
  set_field output_file "./trov.out"
  click_list_item option_list 0
  ok_and_plot
  expect_in_line 5 "1.14      lmin = smallest ln(lambda) of search, or fixed ln(lambda)"
  expect_out " Fixed lambda =           1.14000"
  cmp -s trov.out "results copy.txt" && fail "the copy was made again under the old name"
  grep -q "ln(lambda) = 1.14 (4.43 effective parameters), the REML choice of the preceding grid search" \
    trov_caption.txt || fail "the caption does not say how lambda was chosen: $(cat trov_caption.txt)"
  check_metafile "Fitness function with data points" "demo1.dat, binomial model, ln(lambda) = 1.14, 4.43 parameters" \
    "Selection gradients: beta = 0.00981, gamma = -0.0184"
  quit
  ;;
grid_edge)
  # A grid from -15 to 15: the smallest classic GCV score at its end, a remark beside REML's choice.
  start
  set_field smallest_lambda "-15"
  set_field largest_lambda "15"
  ok_and_plot
  # the recommended lambda is no edge of the grid: the classic minimum there is a remark, not a warning
  check_metafile "Classic GCV minimum at ln(lambda) = -15.00 (114.42 parameters), at an end of the grid"
  [[ $drawn == *Warning* ]] && fail "the plot warns: $drawn"
  check_publication_figures trov 240.945 "ln(lambda)"
  # the edge is the classic score's, not the recommended criterion's: no warning of it
  grep -q "edge" trov_caption.txt && fail "the caption warns of the classic edge: $(cat trov_caption.txt)"
  quit
  ;;
fixed_lambda)
  # One fixed lambda, the range fields greyed: the fitted curve with the data points.
  start
  click_list_item option_list 0
  set_field fixed_lambda "4"
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
  click_list_item option_list 0
  set_field fixed_lambda "4"
  set_field bootstrap_replicates "100"
  # the settings of trov.options: GCV chooses lambda, every replicate is refitted at the fixed lambda
  # (re-chosen per replicate, the default, needs no line)
  click_list_item criterion_list 2
  click_list_item bootstrap_lambda_list 0
  ok_and_plot
  [ "$(grep -v '^#' trov.options)" = "$(printf 'criterion = gcv\nbootstrap_lambda = fixed')" ] ||
    fail "trov.options holds: $(cat trov.options)"
  expect_in_line 11 "100       iboot = Number of bootstrap replications to carry out"
  expect_in_line 12 "2387498   random number seed for bootstrapping"
  expect_out " Summary of bootstrap results"
  expect_out " Number of bootstrap replications =  100"
  check_metafile "Fitness function with data points" "dashed lines are +/- 1 standard error of prediction" \
    "demo1.dat, binomial model, ln(lambda) = 4.00, 2.62 parameters, 100 bootstrap replicates" \
    "Selection gradients: beta = 0.00919 (SE 0.0113), gamma = -0.00917 (SE 0.00195)"
  # back to the range option: the bootstrap field is written as 0 and the grid plotted, the seed kept
  click_list_item option_list 1
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
  click_list_item option_list 0
  click_list_item covariate_list 2
  set_field data_file "covariate.dat"
  set_field fixed_lambda "2"
  set_field x_title "Wing length (mm)"
  ok_and_plot
  grep -qx 'x_label = "Wing length (mm)"' trov.options || fail "trov.options holds: $(cat trov.options)"
  check_publication_figures trov 240.945 "Wing length (mm)" "Survival probability" "fitted, covariate = 1" "classic"
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
  # A data file that does not exist: the engine stops, a message box says so, the dialog comes back.
  start
  set_field data_file "nosuch.dat"
  expect_engine_stop
  grep -qF 'cannot open data file "nosuch.dat"' err.txt || fail "the engine's message is not on trovwin's error stream"
  [ ! -e trov.out ] || fail "trov.out exists after the failed run"
  shown "^The engine stopped$" && fail "the message box is still open"
  expect_in_line 13 "nosuch.dat"
  quit
  ;;
data_file_is_run_file)
  # Data kept under a name the run replaces: refused before anything is deleted, also under a second
  # name of the same file.
  cp demo1.dat trov.out
  ln trov.out linked.dat
  start
  for name in trov.out ./trov.out linked.dat; do
    set_field data_file "$name"
    expect_refusal "File names"
    cmp -s trov.out demo1.dat || fail "the data in trov.out changed after the data file name '$name'"
  done
  quit
  [ ! -e trov.in ] || fail "trov.in written"
  ;;
output_is_data_file)
  # An output name that is the data file, or a file of the run, is refused; a good one gets the copy
  # through a temporary file that does not stay behind; a failed copy is reported.
  cp demo1.dat keep.dat
  mkdir sub
  start
  for name in demo1.dat ./trov.in "$PWD/trov.wmf"; do
    set_field output_file "$name"
    expect_refusal "File names"
    cmp -s demo1.dat keep.dat || fail "the data file changed after the output name '$name'"
  done
  set_field output_file "sub/results.txt"
  ok_and_plot
  cmp -s trov.out sub/results.txt || fail "the copy differs from trov.out"
  [ "$(LC_ALL=C ls -A sub | grep -vx .trov-written | tr '\n' ' ')" = "results.json results.pdf results.png results.svg results.txt results.wmf results_caption.txt results_plot.R results_plot.csv results_plot.py " ] ||
    fail "sub holds $(LC_ALL=C ls -A sub | tr '\n' ' ')"
  set_field output_file "nosuch/results.txt"
  click_widget ok
  dismiss_plot
  answer_box "Copy of the results" Return
  wait_dialog
  [ ! -e nosuch ] || fail "nosuch was made"
  quit
  ;;
number_typos)
  # A number field that holds more than one number is refused with its label and the text, and
  # nothing runs; so is a fraction where the engine needs a whole number. Greyed fields are not read.
  start
  click_list_item option_list 0
  for typo in 1o 1,5 2x3 1.5.2 "1 2" 12345678901; do
    set_field fixed_lambda "$typo"
    expect_refusal "Check the settings"
  done
  set_field bootstrap_replicates "2.5"
  expect_refusal "Check the settings"
  set_field bootstrap_replicates "0"
  set_field fixed_lambda "x"  # greyed in the range option, so never checked
  click_list_item option_list 1
  set_field number_of_lambdas "21.5"
  expect_refusal "Check the settings"
  set_field number_of_lambdas " 11 "
  ok_and_plot
  expect_in_line 4 " 11       nstep = number of lambdas to search over"
  expect_out " No. of grid steps =     11"
  quit
  ;;
structure_question)
  # Two values a line read as "Y X [C] N": the question; back to the dialog writes nothing, run
  # anyway runs.
  start
  click_list_item model_list 2
  click_list_item structure_list 0
  set_field data_file "poisson.dat"
  click_widget ok
  answer_box "Data file structure" Escape
  wait_dialog
  [ ! -e trov.in ] || fail "trov.in written after 'Back to the dialog'"
  click_widget ok
  answer_box "Data file structure" Return  # the default goes back too
  wait_dialog
  [ ! -e trov.in ] || fail "trov.in written after Return, which goes back"
  click_widget ok
  answer_box "Data file structure" alt+r
  expect_plot
  expect_in_line 10 " 1        icol 1 =third data column has #replicates, 2=not"
  grep -qF "  100 cases read from file" out.txt || fail "the run did not read 100 cases"
  # the structure that fits asks nothing
  click_list_item structure_list 1
  ok_and_plot
  # every line holding two cases, read as "Y X [C]": each line gives one case; run anyway, and the plot
  # says so
  awk 'NR % 2 == 1 {first = $0; next} {print first, $0}' demo1.dat >pairs.dat
  set_field data_file "pairs.dat"
  click_list_item model_list 1
  click_widget ok
  answer_box "Data file structure" alt+r
  expect_plot
  check_metafile "Warning: every line of the data file holds 4 values where a case takes 2: each line is read as one case"
  grep -q '"structure_mismatch":{"values_per_line":4,"values_per_case":2}' trov.json ||
    fail "trov.json lacks the structure_mismatch diagnostic"
  # a case short of a value (an empty last cell) is asked about, naming the line; back writes nothing
  awk 'NR == 21 {print "0,"; next} {print}' demo1.dat > short.dat
  set_field data_file "short.dat"
  rm -f trov.in
  click_widget ok
  answer_box "Data file structure" Escape
  wait_dialog
  [ ! -e trov.in ] || fail "trov.in written after going back from the irregular lines"
  quit
  ;;
import_table)
  # File > Import table (Ctrl+T): a semicolon table with decimal commas, a header, Yes/No, NA and a
  # covariate of words becomes plants.dat with the axis titles, the words coded 1, 2 in sorted order and
  # the covariate categorical; the run's trov.json tells what was left out.
  printf 'survived;mass (g);site\r\n' > plants.csv
  awk 'NR <= 60 {printf "%s;%s;%s\r\n", $1 == 1 ? "Yes" : "No", NR == 7 ? "NA" : $2, NR % 3 ? "south" : "north"}' \
    demo1.dat | tr . , >> plants.csv
  start
  xdotool key --window "$dialog" ctrl+t
  table=$(wait_window "^Import table\$") || fail "no import window"
  xdotool type --window "$table" --delay 10 "plants.csv"
  xdotool key --window "$table" Return; sleep 0.5
  xdotool mousemove --window "$table" 200 317 click 1 key ctrl+a; sleep 0.2  # C (covariate)
  xdotool type --window "$table" --delay 10 "site"; sleep 0.3
  shot "$table" import_window
  xdotool key --window "$table" Return; sleep 0.5
  answer_box "Table imported" Return
  wait_dialog
  ok_and_plot
  expect_in_line 2 " 1        M = number of covariates (0 or 1)"
  expect_in_line 3 " 1        catcov = covariate is continuous (0) or category (1)"
  expect_in_line 13 "plants.dat"
  [ "$(awk 'NR <= 60 && NR != 7 {print $1 + 0, $2 + 0, NR % 3 ? 2 : 1}' demo1.dat)" = "$(cat plants.dat)" ] ||
    fail "plants.dat is not the table's data"
  grep -qF 'x_label = "mass (g)"' trov.options || fail "trov.options lacks the X title: $(cat trov.options)"
  grep -qxF 'import_levels = "north" "south"' trov.options || fail "trov.options lacks the levels: $(cat trov.options)"
  grep -qF '"left_out":{"table":"plants.csv","cases":1,"lines":[8]}' trov.json || fail "trov.json lacks left_out"
  # a second import over plants.dat, which trovwin wrote, asks nothing; over a file of the user's it does
  cp demo1.dat theirs.dat
  xdotool key --window "$dialog" ctrl+t
  table=$(wait_window "^Import table\$") || fail "no import window"
  xdotool type --window "$table" --delay 10 "plants.csv"
  xdotool key --window "$table" Return; sleep 0.5
  xdotool mousemove --window "$table" 300 412 click 1 key ctrl+a; sleep 0.2  # the data file field
  xdotool type --window "$table" --delay 10 "theirs.dat"
  xdotool key --window "$table" Return; sleep 0.5
  answer_box "Replace files" Return
  cmp -s demo1.dat theirs.dat || fail "theirs.dat replaced after No"
  xdotool key --window "$table" Escape; sleep 0.3
  wait_dialog
  quit
  ;;
import_traits)
  # Import with a further trait and the surface ticked: the data file, the traits table and trov.options
  # as trov-import --trait b --surface writes them; the run's trov.json holds the surface, which its
  # own window shows after the plot of the one trait. A later import of one trait drops the traits.
  awk 'BEGIN { srand(3); print "y,a,b"
    for (i = 0; i < 300; i++) { a = rand() * 4 - 2; b = rand() * 4 - 2
      printf "%d,%.3f,%.3f\n", rand() < 1 / (1 + exp(a * a + b * b - a * b - 1)), a, b } }' >traits.csv
  start
  xdotool key --window "$dialog" ctrl+t
  table=$(wait_window "^Import table\$") || fail "no import window"
  xdotool type --window "$table" --delay 10 "traits.csv"
  xdotool key --window "$table" Return; sleep 0.5
  xdotool mousemove --window "$table" 500 317 click 1; sleep 0.3  # further traits: b, the third row
  xdotool mousemove --window "$table" 345 377 click 1; sleep 0.3  # fit a surface
  shot "$table" import_window
  xdotool key --window "$table" Return; sleep 0.5
  answer_box "Table imported" Return
  wait_dialog
  click_widget ok
  dismiss_plot
  figure=$(wait_window "^trov: the surface of 2 traits" 90) || fail "no window of the surface"
  import -window "$figure" surface.png || fail "no screenshot of the surface"
  [ -n "${SHOTS:-}" ] && cp surface.png "$SHOTS/surface_$case_name.png"
  [ "$(convert surface.png -format '%k' info:)" -gt 100 ] || fail "the surface's window is not drawn"
  xdotool key --window "$figure" Return
  wait_dialog
  [ "$(head -1 traits_traits.csv)" = "y,n,a,b" ] || fail "traits_traits.csv begins $(head -1 traits_traits.csv)"
  [ "$(tail -n +2 traits_traits.csv | awk -F, '{print $1, $3}')" = "$(awk '{print $1 + 0, $2 + 0}' traits.dat)" ] ||
    fail "traits_traits.csv and traits.dat hold other cases"
  for line in 'traits_file = "traits_traits.csv"' 'traits = "a" "b"' 'surface = yes'; do
    grep -qxF "$line" trov.options || fail "trov.options lacks '$line': $(cat trov.options)"
  done
  python3 -c 'import json, sys; t = json.load(open("trov.json"))["traits"]
sys.exit(t["names"] != ["a", "b"] or t["shape"] != "surface" or len(t["surface"]["fitted"]) != 41)' ||
    fail "trov.json lacks the surface of a and b"
  xdotool key --window "$dialog" ctrl+t
  table=$(wait_window "^Import table\$") || fail "no import window"
  xdotool type --window "$table" --delay 10 "traits.csv"
  xdotool key --window "$table" Return; sleep 0.5
  xdotool key --window "$table" Return; sleep 0.5
  answer_box "Table imported" Return
  wait_dialog
  ok_and_plot
  grep -q "^traits\|^surface" trov.options && fail "trov.options keeps the traits: $(cat trov.options)"
  python3 -c 'import json, sys; sys.exit(json.load(open("trov.json")).get("traits") is not None)' ||
    fail "trov.json holds traits after an import of one trait"
  quit
  ;;
output_over_data)
  # An output name that would replace another data set, or a figure of the user's, asks first (No is
  # the default); after a Yes, the copies are trovwin's and are replaced without asking.
  cp covariate.dat keep.dat
  start
  set_field output_file "covariate.dat"
  click_widget ok
  answer_box "Replace files" Return
  wait_dialog
  cmp -s covariate.dat keep.dat || fail "covariate.dat replaced after No"
  [ ! -e trov.in ] || fail "trov.in written after No"
  click_widget ok
  answer_box "Replace files" alt+y
  expect_plot
  cmp -s trov.out covariate.dat || fail "covariate.dat is not the copy after Yes"
  ok_and_plot  # asks nothing
  quit
  ;;
engine_failure)
  # An engine ended by a signal (here the file size limit, as a full disk would, hits trov.out or
  # trov.json, which is written beside trov.out's table, whichever grows past it first): no plot, no
  # metafile, no copy.
  awk 'BEGIN { for (i = 1; i <= 2000; i++) printf "%.4f %.4f\n", sin(i / 300) + (i % 7) / 10, i / 100 }' >many.dat
  start bash -c 'ulimit -f 16; exec "$0"' "$trovwin"
  click_list_item option_list 0
  click_list_item model_list 0
  set_field data_file "many.dat"
  set_field output_file "copy.txt"
  set_field fixed_lambda "2"
  expect_engine_stop
  [ ! -e copy.txt ] || fail "trov.out copied after the engine was killed"
  quit
  ;;
terminal)
  # Started from a terminal, and in the background of a shell with job control: the engine's error
  # stop (binomial Y above 1) ends at once and the box tells, instead of a wait at the terminal. The
  # terminal's keyboard is a pipe that stays open and silent.
  mkfifo keyboard.fifo
  exec 3<>keyboard.fifo
  keyboard=keyboard.fifo
  for run in foreground background; do
    if [ $run = foreground ]; then
      start script -qec "$trovwin" /dev/null
    else
      start script -qec "bash -c 'set -m; \"$trovwin\" & wait \$!'" /dev/null
    fi
    set_field data_file "poisson.dat"
    expect_engine_stop 20
    quit
  done
  ;;
engine_messages)
  # A data file that starts with a header line: the engine's message box (its text without the pause
  # lines and with advice is in the screenshot; the unit tests check it).
  { echo "Y X"; cat demo1.dat; } >header.dat
  start
  set_field data_file "header.dat"
  expect_engine_stop
  grep -qF "PAUSE" err.txt || fail "the engine made no error stop"
  quit
  ;;
warnings)
  # The engine's warning (lmin and lmax exchanged) comes in a box before the plot.
  start
  set_field smallest_lambda "5"
  set_field largest_lambda "-5"
  click_widget ok
  answer_box "Warnings of the engine" Return
  shown "^Warnings of the engine$" && fail "the warning box is still open"
  expect_plot
  expect_out " No. of grid steps =     21"
  quit
  ;;
classic_stopped)
  # The classic table stops (a GLM weight vanishes) while the converged analysis goes on, as trov.json
  # tells: the plot shows the converged answer and says where trov.out stopped, for a grid and for a fixed
  # lambda; a bootstrap whose fit found no curvature shows gamma as the link's, and an overdispersed
  # response is named. An engine that writes the files of tests/frontend/fixtures stands in.
  fixtures=$(readlink -f "$(dirname "$(readlink -f "$0")")/../../frontend/fixtures")
  mkdir bin && cp "$trovwin" bin/trovwin || fail "no copy of trovwin"
  printf '#!/bin/sh\ncat >/dev/null\ncp "%s/$(cat fixture)" trov.json\necho " Program crashed (GLM weight is zero)" >trov.out\n' \
    "$fixtures" >bin/trov40
  printf 'grep -q classic_stopped trov.json && exit 1\nexit 0\n' >>bin/trov40
  chmod +x bin/trov40
  start "$PWD/bin/trovwin"
  echo grid_classic_stopped.json >fixture
  ok_and_plot
  check_metafile "The classic table of trov.out stopped at ln(lambda) = -4 (Program crashed (GLM weight is zero))"
  [[ "$(top_text)" == REMLfindsnocurvature* ]] || fail "the plot's top line is $(top_text)"
  grep -q "classic fits of trov.out stopped at ln(lambda) = -4" trov_caption.txt || fail "caption: $(cat trov_caption.txt)"
  echo fixed_classic_stopped.json >fixture
  click_list_item option_list 0
  ok_and_plot
  check_metafile "The classic table of trov.out stopped at ln(lambda) = 2"
  echo boot_linear_overdispersed.json >fixture
  ok_and_plot
  check_metafile "gamma = 0.0374: link only (no curvature found)" "Warning: overdispersed (Pearson dispersion 2.44)"
  grep -q "ln(lambda) = 2.96 " trov_caption.txt || fail "caption: $(cat trov_caption.txt)"
  quit
  ;;
cancel)
  # A long bootstrap: its window shows the progress and the program stays responsive; Cancel stops the
  # engine, which writes trov.json saying so and removes its temporary files; nothing is plotted or
  # copied, and the dialog comes back. The window's close box stops a run too.
  start
  click_list_item option_list 0
  set_field fixed_lambda "4"
  set_field bootstrap_replicates "100000"
  set_field output_file "copy.out"
  progress="^bootstrap: [0-9]* of 100000 replicates done"
  for stop in cancel close_box; do
    lines=$(grep -c "$progress" err.txt)
    click_widget ok
    run=$(wait_window "^Engine run\$") || fail "no window of the run"
    for _ in $(seq 100); do [ "$(grep -c "$progress" err.txt)" -gt "$lines" ] && break; sleep 0.1; done
    sleep 0.5
    import -window "$run" run.png || fail "no screenshot of the run"
    [ -n "${SHOTS:-}" ] && cp run.png "$SHOTS/run_window_${stop}.png"
    [ "$(convert run.png -format '%k' info:)" -gt 2 ] || fail "the run's window is not drawn"
    if [ $stop = cancel ]; then
      xdotool mousemove --window "$run" 470 96 click 1
    else
      "$wm_close" "$run"
    fi
    answer_box "Run cancelled" Return 20
    wait_dialog
    shown PLOTLIB && fail "a plot after Cancel"
    [ -e trov.wmf ] || [ -e copy.out ] && fail "results after Cancel"
    grep -q '"status":"error",.*"error_code":19}' trov.json || fail "trov.json after Cancel: $(head -c 300 trov.json)"
    ls trov.json.tmp* >/dev/null 2>&1 && fail "the engine left a temporary file"
  done
  quit
  ;;
close_box)
  # The dialog's close box ends trovwin as Quit does: nothing written, nothing run.
  start
  set_field fixed_lambda "3"
  "$wm_close" "$dialog"
  expect_end "the close box"
  [ ! -e trov.in ] && [ ! -e trov.out ] || fail "files written after the close box"
  ;;
no_metafile_name)
  # trov.wmf cannot be removed and its 999 numbered versions exist: after the screen, the one line on
  # standard output and status 1, before the figures or the copies.
  mkdir trov.wmf && touch trov.wmf/kept trov_{1..999}.wmf
  start
  set_field output_file "copy.out"
  click_widget ok
  dismiss_plot
  expect_end "a metafile without a free name" 1
  [ "$(tail -1 out.txt)" = "More than 999 file versions!" ] || fail "last line: $(tail -1 out.txt)"
  [ -e trov.png ] || [ -e copy.out ] && fail "figures or copies after the metafile's fault"
  true
  ;;
parameter_file)
  # A trov.in the engine reads (21.0 lambdas, a 1.9 taken as 1 covariate, an empty line, a hand-written
  # comment) opens the dialog with its values; one it cannot read gives the defaults and a box.
  printf '%s\n' "10 parameter lines" "1.9 covariate" "0" "21.0  lambdas" "-5.0" "" "2.5e0" "5.0" "0.01" \
    "2" "2" "0" "12345" "demo1.dat" >trov.in
  start
  click_list_item covariate_list 0
  ok_and_plot
  expect_in_line 4 " 21       nstep = number of lambdas to search over"
  expect_in_line 5 "-5        lmin = smallest ln(lambda) of search, or fixed ln(lambda)"
  expect_in_line 6 "2.5       lmax = largest ln(lambda) of search"
  expect_in_line 7 "5         maxit = max number of iterations for spline fit"
  expect_in_line 12 "12345     random number seed for bootstrapping"
  quit
  sed -i '5s/^-5 /abc/' trov.in
  launch
  answer_box "Settings of the last run" Return
  wait_dialog
  shown "^Settings of the last run$" && fail "the box is still open"
  [ "$(in_line 5 | cut -c1-3)" = abc ] || fail "trov.in changed before OK"
  ok_and_plot
  cmp -s trov.in "$examples/demo1.in" || fail "trov.in does not hold the defaults"
  quit
  ;;
keyboard)
  # Return in a field is OK, after the checks; Escape does nothing.
  start
  set_field largest_lambda "8"
  key Escape
  shown "User settings for TROV" || fail "Escape closed the dialog"
  [ ! -e trov.in ] || fail "trov.in written after Escape"
  set_field smallest_lambda "-8x"
  key Return
  answer_box "Check the settings" Return
  wait_dialog
  set_field smallest_lambda "-8"
  key Return
  expect_plot
  expect_in_line 5 "-8        lmin = smallest ln(lambda) of search, or fixed ln(lambda)"
  expect_in_line 6 "8         lmax = largest ln(lambda) of search"
  quit
  ;;
negative_values)
  # Negative values typed into the fields reach trov.in.
  start
  set_field smallest_lambda "-3"
  set_field largest_lambda "-1"
  set_field number_of_lambdas "5"
  ok_and_plot
  expect_in_line 5 "-3        lmin = smallest ln(lambda) of search, or fixed ln(lambda)"
  expect_in_line 6 "-1        lmax = largest ln(lambda) of search"
  expect_out " No. of grid steps =     5"
  quit
  ;;
json_only)
  # What trovwin shows comes from trov.json alone: an engine whose trov.out is garbled after its run
  # (a file named garble asks for it) gives the same plot, trov.wmf and figures, for a grid and for a
  # bootstrap at a fixed lambda.
  mkdir bin && cp "$trovwin" bin/trovwin || fail "no copy of trovwin"
  printf '#!/bin/sh\n"%s"\nstatus=$?\n[ -e garble ] && head -c 4000 /dev/urandom >trov.out\nexit $status\n' \
    "$(dirname "$trovwin")/trov40" >bin/trov40
  chmod +x bin/trov40
  start "$PWD/bin/trovwin"
  for option in 1 0; do
    if [ $option = 0 ]; then
      click_list_item option_list 0
      set_field fixed_lambda "4"
      set_field bootstrap_replicates "100"
    fi
    rm -f garble && ok_and_plot
    mkdir -p clean && cp plot.png trov.wmf trov.png trov.svg trov_plot.csv trov_caption.txt clean/
    touch garble && ok_and_plot
    grep -q "Number of bootstrap\|grid steps" trov.out && fail "trov.out was not garbled"
    for f in trov.wmf trov.png trov.svg trov_plot.csv trov_caption.txt; do
      cmp -s $f clean/$f || fail "$f differs after trov.out was garbled (option $option)"
    done
    [ "$(compare -metric AE plot.png clean/plot.png null: 2>&1)" = 0 ] || fail "the screen differs (option $option)"
  done
  quit
  ;;
*) fail "unknown case" ;;
esac
echo "PASS ($case_name)"
