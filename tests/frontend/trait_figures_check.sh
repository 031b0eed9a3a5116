#!/usr/bin/env bash
# The figures of several traits from trov.json fixtures (a binomial two-trait surface with a bootstrapped
# peak, the same without a peak inside the data, a normal additive model of two traits at the page
# size), read back by independent readers; the R and Python scripts run where ggplot2 and matplotlib are
# installed; a traits member that does not fit together is refused without any file.
# Usage: trait_figures_check.sh WRITE_RUN_FIGURES FIXTURES WORKDIR
set -u
writer=$(readlink -f "$1") fixtures=$(readlink -f "$2") work=$3
. "$(dirname "$(readlink -f "$0")")/../plotlib/figure_readers.sh"
fail() { echo "FAIL ($kind): $*"; exit 1; }
rm -rf "$work" && mkdir -p "$work" || exit 1

# run KIND FIXTURE [OPTIONS LINE]: the traits' figures of the fixture, their files and scripts
run() {
  kind=$1
  mkdir -p "$work/$kind" && cd "$work/$kind" || exit 1
  case $2 in /*) cp "$2" trov.json ;; *) cp "$fixtures/$2" trov.json ;; esac
  [ $# -gt 2 ] && printf '%s\n' "$3" >trov.options
  "$writer" --traits || fail "no figures"
  for f in trov_traits_caption.txt trov_traits_plot.csv trov_traits_plot.R trov_traits_plot.py; do
    [ -s $f ] || fail "no $f"
  done
  head -1 trov_traits_plot.csv | grep -qx 'series,trait,a,b,y,fitted,lower,upper,n' || fail "the CSV's header"
  check_figure_scripts trov_traits_plot
}
caption_has() { grep -qF -- "$1" trov_traits_caption.txt || fail "the caption lacks '$1': $(cat trov_traits_caption.txt)"; }

run surface traits_surface_binomial.json
check_publication_figures trov_traits 240.945 "wing" "tarsus" "peak" "survived" "died" "0.7"
caption_has "Fitness surface of wing and tarsus, binomial model, n = 150 individuals"
caption_has "ln(lambda) = -1.25 (wing) and 0.50 (tarsus)"
caption_has "The star marks the peak of the fitted function, at wing = 0.31 (95% limits -0.08 to 0.7), tarsus = -0.19"
caption_has "gamma[wing,tarsus] = 0.09 (95% limits 0.03 to 0.15), gamma[tarsus,tarsus] = -0.24"
caption_has "200 bootstrap replicates (cases resampled"
[ "$(grep -c '^surface,' trov_traits_plot.csv)" -eq 1681 ] || fail "the CSV's surface is not 41 x 41"
[ "$(grep -cE '^(survived|died),' trov_traits_plot.csv)" -eq 150 ] || fail "the CSV's individuals"
grep -q '^peak,NA,0.31,-0.19,NA,0.77,0.69,0.84,NA$' trov_traits_plot.csv || fail "the CSV's peak"

# no peak inside: no star, and the caption says so
sed 's/"inside":true,"location":{[^}]*},"height":{[^}]*}/"inside":false,"location":null,"height":null/' \
  "$fixtures/traits_surface_binomial.json" >"$work/no_peak.json"
run no_peak "$work/no_peak.json"
caption_has "The fitted function has no peak inside the data."
pdftotext trov_traits.pdf - | grep -qx peak && fail "a peak is drawn"
grep -q '^peak,' trov_traits_plot.csv && fail "the CSV has a peak"

run additive traits_additive_normal.json "figure_size = page"
check_publication_figures trov_traits 496.063 "mass" "bill" "Fitness"
caption_has "Additive fitness function of mass and bill, normal model, n = 100 individuals"
caption_has "bill: ln(lambda) = 9.50, edf 1 (a straight line: no curvature found)"
caption_has "The fitted function has no peak inside the data."
caption_has "beta[mass] = 0.01, beta[bill] = 0.5, gamma[mass,mass] = -0.16"
[ "$(grep -c '^curve,mass,' trov_traits_plot.csv)" -eq 101 ] || fail "the CSV's curve of mass"
[ "$(grep -c '^individual,bill,' trov_traits_plot.csv)" -eq 100 ] || fail "the CSV's individuals along bill"
# the panels side by side on one vertical scale: the same tick labels down both left axes
pdftotext -layout trov_traits.pdf - | grep -qE '^ *7 +7 *$' || fail "the panels' vertical scales differ"

# a curve shorter than its x: refused, nothing written
kind=misfit
mkdir -p "$work/misfit" && cd "$work/misfit" || exit 1
sed 's/"fitted":\[[-0-9.e]*,/"fitted":[/' "$fixtures/traits_additive_normal.json" >trov.json
"$writer" --traits 2>err.txt && fail "a misfit traits member was drawn"
grep -q "traits are not laid out as trovwin reads them" err.txt || fail "the refusal: $(cat err.txt)"
ls trov_traits* 2>/dev/null && fail "files of a misfit traits member"
echo PASS
