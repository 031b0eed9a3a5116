# check_publication_figures STEM WIDTH_PT TEXT...: the figures a run writes for papers, read back: a PDF
# page WIDTH_PT wide with its fonts embedded and the TEXTs extractable, no file name or warning inside;
# an SVG as wide whose texts are <text> elements in a named font of at least 7 pt, with round tick labels
# and lines of at least 0.5 pt,
# rendered by librsvg; a PNG. Needs a fail function.
check_publication_figures() {
  local stem=$1 width=$2 text
  shift 2
  pdfinfo "$stem.pdf" >info.txt 2>&1 || fail "pdfinfo cannot read $stem.pdf"
  grep -q "^Page size: *$width x" info.txt || fail "$stem.pdf is not $width pt wide: $(grep 'Page size' info.txt)"
  pdffonts "$stem.pdf" | awk 'NR > 2 && $(NF-4) != "yes" { bad = 1 } END { exit bad }' ||
    fail "$stem.pdf has a font that is not embedded"
  pdftotext "$stem.pdf" text.txt || fail "pdftotext cannot read $stem.pdf"
  for text in "$@"; do grep -qF -- "$text" text.txt || fail "$stem.pdf lacks the text '$text'"; done
  grep -qiE '\.dat|warning' text.txt && fail "$stem.pdf holds a file name or a warning: $(cat text.txt)"
  local mm
  mm=$(awk -v pt="$width" 'BEGIN { printf "%.4g", pt * 25.4 / 72 }')
  grep -q "<svg [^>]*width=\"${mm}mm\"" "$stem.svg" || fail "$stem.svg is not $mm mm wide"
  grep -o '<text[^>]*>[^<]*</text>' "$stem.svg" >texts.txt || fail "$stem.svg has no <text> elements"
  grep -v 'font-family="[A-Za-z]' texts.txt && fail "an SVG text names no font"
  sed 's/.*font-size="\([0-9.]*\)".*/\1/' texts.txt | awk '$1 < 7 { bad = 1 } END { exit bad }' ||
    fail "an SVG text is smaller than 7 pt"
  grep -o 'stroke-width="[0-9.]*"' "$stem.svg" | tr -dc '0-9.\n' | awk '$1 < 0.5 { bad = 1 } END { exit bad }' ||
    fail "$stem.svg has a line thinner than 0.5 pt"
  sed 's/.*>\([^<]*\)<\/text>/\1/' texts.txt | grep -E '^-?[0-9.]+$' >ticks.txt || fail "no tick labels"
  grep -E '\.[0-9]*0$|^-0$' ticks.txt && fail "tick labels with trailing zeros"
  for text in "$@"; do grep -qF -- "$text" texts.txt || fail "$stem.svg lacks a text element with '$text'"; done
  rsvg-convert -b white "$stem.svg" -o svg.png || fail "librsvg cannot read $stem.svg"
  [ "$(convert "$stem.png" -format '%k' info:)" -gt 2 ] || fail "$stem.png is blank"
  png_dpi_is "$stem.png" 300
  [ "$(identify -format '%w' "$stem.png")" = "$(awk -v pt="$width" 'BEGIN { printf "%d", pt * 300 / 72 + 0.5 }')" ] ||
    fail "$stem.png is not $width pt at 300 dpi: $(identify -format '%w' "$stem.png") pixels wide"
}
# png_dpi_is PNG DPI: the resolution the PNG gives, as ImageMagick reads it (its pHYs chunk), is DPI.
png_dpi_is() {
  identify -format '%x %U\n' "$1" |
    awk -v dpi="$2" '$2 == "PixelsPerCentimeter" && ($1 * 2.54 - dpi) ^ 2 < 0.01 { ok = 1 } END { exit !ok }' ||
    fail "$1 does not give $2 dpi: $(identify -format '%x %U' "$1")"
}
# check_figure_scripts STEM: STEM.R and STEM.py run and write their PDFs, where R's ggplot2 and Python's
# matplotlib with pandas are installed. Needs a fail function.
check_figure_scripts() {
  local stem=$1
  if command -v Rscript >/dev/null && Rscript -e 'library(ggplot2)' >/dev/null 2>&1; then
    Rscript "$stem.R" >r.txt 2>&1 || fail "$stem.R: $(tail -5 r.txt)"
    [ -s "${stem}_ggplot.pdf" ] || fail "$stem.R wrote no figure"
  fi
  if /usr/bin/python3 -c 'import matplotlib, pandas' 2>/dev/null; then
    /usr/bin/python3 "$stem.py" >py.txt 2>&1 || fail "$stem.py: $(tail -5 py.txt)"
    [ -s "${stem}_matplotlib.pdf" ] || fail "$stem.py wrote no figure"
  fi
}
