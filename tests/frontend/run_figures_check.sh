#!/usr/bin/env bash
# The figures, caption, plotted data and scripts of real engine runs on the examples (a grid, a fixed
# lambda, a bootstrap whose replicates choose their own lambda, a categorical covariate with the
# trov.options figure settings, with and without a bootstrap), read back by independent readers; the R
# and Python scripts run where R's ggplot2 and matplotlib are installed.
# Usage: run_figures_check.sh TROV40 WRITE_RUN_FIGURES EXAMPLES WORKDIR
set -u
trov40=$(readlink -f "$1") writer=$(readlink -f "$2") examples=$(readlink -f "$3") work=$4
. "$(dirname "$(readlink -f "$0")")/../plotlib/figure_readers.sh"
fail() { echo "FAIL ($kind): $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || exit 1

# run KIND LINE4 LINE5 LINE11 TROV.IN: the demo's trov.in (or covariate's) with those lines replaced
run() {
  kind=$1
  mkdir -p "$work/$kind" && cd "$work/$kind" || exit 1
  cp "$examples"/*.dat .
  sed -e "4s/^.\{10\}/$2/" -e "5s/^.\{10\}/$3/" -e "11s/^.\{10\}/$4/" "$examples/$5" >trov.in
  "$trov40" <trov.in >console.txt 2>&1 || fail "the engine failed: $(tail -3 console.txt)"
  head -c 300 /dev/urandom >trov.out  # the figures come from trov.json alone
  "$writer" || fail "no figures"
  for f in trov_caption.txt trov_plot.csv trov_plot.R trov_plot.py; do [ -s $f ] || fail "no $f"; done
  head -1 trov_plot.csv | grep -qx 'series,x,y,lower,upper,n,level' || fail "the CSV's header"
  check_figure_scripts trov_plot
}
column=240.945  # 85 mm in points

run grid " 21       " "-10       " "0         " demo1.in
check_publication_figures trov $column "ln(lambda)" "GCV (classic)" "OCV (classic)"
grep -q "^gcv_classic,-10," trov_plot.csv || fail "the CSV lacks the GCV scores"
grep -q "over a grid of 21 values of ln(lambda)" trov_caption.txt || fail "the caption: $(cat trov_caption.txt)"

run fixed "1         " "4         " "0         " demo1.in
check_publication_figures trov $column "Trait" "Survival probability"
grep -q "at ln(lambda) = 4 (" trov_caption.txt || fail "the caption's lambda is not as trov.in holds it: $(cat trov_caption.txt)"
grep -q "Standardized selection gradients: beta' = .*, gamma' = " trov_caption.txt || fail "no gradients in the caption"
[ "$(grep -c '^data,' trov_plot.csv)" -eq "$(grep -c '^fit,' trov_plot.csv)" ] || fail "the CSV's data and fit differ in length"

mkdir -p "$work/bootstrap" && echo "bootstrap_lambda = reselected" >"$work/bootstrap/trov.options"
run bootstrap "1         " "4         " "100       " demo1.in
check_publication_figures trov $column "Trait" "+/- 1 bootstrap SE" "data"
grep -q "from 100 bootstrap replicates, each choosing its own lambda by REML (median ln(lambda) " trov_caption.txt ||
  fail "the caption lacks the band's replicates and their lambdas: $(cat trov_caption.txt)"
grep -q "(SE .*, P = " trov_caption.txt || fail "the caption lacks the gradients' SE and P"
grep -q '^fit,[^,]*,[^,]*,[0-9.e-]*,[0-9.e-]*,' trov_plot.csv || fail "the CSV lacks the band"
# the counts N of the pooled points, from the data file (demo1.dat has points of 2 cases)
grep -q '^data,[^,]*,0.5,NA,NA,2,NA$' trov_plot.csv || fail "the CSV's data lack their counts N"
grep -q '^data,.*,NA,NA,NA,NA$' trov_plot.csv && fail "a data row of the CSV without N"
grep -q "their area growing with the number of cases" trov_caption.txt || fail "the caption: $(cat trov_caption.txt)"

mkdir -p "$work/covariate"
printf 'figure_size = page\nfigure_gradients = yes\nx_label = "Wing length (mm)"\ny_label = Survival\n' \
  >"$work/covariate/trov.options"
run covariate "1         " "2         " "0         " covariate.in
check_publication_figures trov 496.063 "Wing length (mm)" "Survival" "fitted, covariate = 1" "fitted, covariate = 2" "beta' = "
# the classic fits' warnings are the details', not the caption's
grep -qE "classic_differs|not_converged" trov_caption.txt && fail "the caption tells the classic fits' warnings"
grep -q '^fitted_uncorrected,' trov_plot.csv || fail "the CSV lacks the fitted values by level"

mkdir -p "$work/covariate_bootstrap"
cp "$work/covariate/trov.options" "$work/covariate_bootstrap/"
run covariate_bootstrap "1         " "2         " "20        " covariate.in
check_publication_figures trov 496.063 "Wing length (mm)" "+/- 1 bootstrap SE" "fitted, covariate = 1" "fitted, covariate = 2"
[ "$(grep -c '^fitted_uncorrected,' trov_plot.csv)" -eq "$(grep -c '^data,' trov_plot.csv)" ] ||
  fail "the CSV's fitted values by level are not one per point"
echo PASS
