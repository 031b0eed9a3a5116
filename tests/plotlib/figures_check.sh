#!/usr/bin/env bash
# The figure device's PNG, SVG and PDF read back by independent readers (figure_readers.sh).
# Usage: figures_check.sh WRITE_SAMPLE WORKDIR
set -u
write_sample=$(readlink -f "$1") work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }
. "$(dirname "$(readlink -f "$0")")/figure_readers.sh"

for kind in fitted grid; do
  "$write_sample" "$kind" FIGS "$kind" >report.txt || fail "write_sample $kind"
  grep -q "Fileformat: FIGS" report.txt || fail "no end-of-plot report for $kind"
  grep -q "Warnings: 0 " report.txt || fail "warnings while drawing $kind"
  case $kind in
  fitted) check_figures "$kind" "Fitness function with data points" "Trait (X)" "Fitness (Yhat)" ;;
  grid) check_figures "$kind" "Range of lambdas" "GCV score (solid) and OCV score (dashed)" "ln(lambda)" "Score" ;;
  esac
done
# A folder that cannot be written: the warning, and no end without it.
"$write_sample" fitted FIGS "no/such/dir/fig" >report.txt
grep -q "File error" report.txt || fail "no warning for a figure that cannot be written"
echo PASS
