#!/usr/bin/env bash
# The figure device's PNG, SVG and PDF read back by independent readers: the PDF's page and texts
# (poppler), the PNG's size and ink (ImageMagick), and the SVG rendered by librsvg, which must give
# the picture of the PNG.
# Usage: figures_check.sh WRITE_SAMPLE WORKDIR
set -u
write_sample=$(readlink -f "$1") work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }

for kind in fitted grid; do
  "$write_sample" "$kind" FIGS "$kind" >report.txt || fail "write_sample $kind"
  grep -q "Fileformat: FIGS" report.txt || fail "no end-of-plot report for $kind"
  grep -q "Warnings: 0 " report.txt || fail "warnings while drawing $kind"
  pdfinfo "$kind.pdf" >info.txt 2>&1 || fail "pdfinfo cannot read $kind.pdf"
  grep -q "^Pages: *1$" info.txt || fail "$kind.pdf is not one page"
  grep -q "^Page size: *841.89 x 595.276 pts" info.txt || fail "$kind.pdf is not landscape A4: $(grep 'Page size' info.txt)"
  pdftotext "$kind.pdf" text.txt || fail "pdftotext cannot read $kind.pdf"
  [ "$(identify -format '%wx%h' "$kind.png")" = 1754x1240 ] || fail "$kind.png is not 150 dpi A4"
  [ "$(convert "$kind.png" -format '%k' info:)" -gt 2 ] || fail "$kind.png is blank"
  rsvg-convert -w 1754 -h 1240 -b white "$kind.svg" -o svg.png || fail "librsvg cannot read $kind.svg"
  differing=$(compare -metric AE -fuzz 35% "$kind.png" svg.png null: 2>&1)
  [ "${differing%%.*}" -lt 20000 ] || fail "$kind.svg renders differently from $kind.png ($differing pixels)"
  case $kind in
  fitted) titles=("Fitness function with data points" "Trait (X)" "Fitness (Yhat)") ;;
  grid) titles=("Range of lambdas" "GCV score (solid) and OCV score (dotted)" "ln(lambda)" "Score") ;;
  esac
  for title in "${titles[@]}"; do grep -qF "$title" text.txt || fail "$kind.pdf lacks the text '$title'"; done
done
# A folder that cannot be written: the warning, and no end without it.
"$write_sample" fitted FIGS "no/such/dir/fig" >report.txt
grep -q "File error" report.txt || fail "no warning for a figure that cannot be written"
echo PASS
