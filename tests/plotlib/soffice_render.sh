#!/bin/sh
# The office program renders the metafile with the page's aspect: the drawn page border, trimmed of the
# white around it, is 2970 by 2100 plot units.
# usage: soffice_render.sh WRITE_SAMPLE SOFFICE
set -eu
write_sample=$1
soffice=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$write_sample" fitted WMF "$work/plot.wmf" >/dev/null
"$soffice" -env:UserInstallation=file://"$work"/profile --headless --convert-to png --outdir "$work" \
  "$work/plot.wmf" >/dev/null 2>&1
test -s "$work/plot.png" || { echo "no PNG written"; exit 1; }
size=$(convert "$work/plot.png" -trim -format '%w %h' info:)
echo "drawn page: $size pixels"
if [ -n "${PLOT_KEEP:-}" ]; then cp "$work/plot.png" "$PLOT_KEEP"; fi
echo "$size" | awk '{ r = $1 / $2; want = 2970 / 2100;
  if ($1 < 300 || r < want * 0.98 || r > want * 1.02) { print "wrong aspect " r ", want " want; exit 1 } }'
