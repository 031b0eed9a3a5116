# check_figures STEM TITLE...: STEM.pdf, STEM.png and STEM.svg read back by independent readers: the
# PDF's page and texts (poppler), the PNG's size and ink (ImageMagick), and the SVG rendered by librsvg,
# which must give the picture of the PNG. The PDF's text must hold each title. Needs a fail function.
check_figures() {
  local stem=$1 title differing
  shift
  pdfinfo "$stem.pdf" >info.txt 2>&1 || fail "pdfinfo cannot read $stem.pdf"
  grep -q "^Pages: *1$" info.txt || fail "$stem.pdf is not one page"
  grep -q "^Page size: *841.89 x 595.276 pts" info.txt || fail "$stem.pdf is not landscape A4: $(grep 'Page size' info.txt)"
  pdftotext "$stem.pdf" text.txt || fail "pdftotext cannot read $stem.pdf"
  [ "$(identify -format '%wx%h' "$stem.png")" = 1754x1240 ] || fail "$stem.png is not 150 dpi A4"
  [ "$(convert "$stem.png" -format '%k' info:)" -gt 2 ] || fail "$stem.png is blank"
  rsvg-convert -w 1754 -h 1240 -b white "$stem.svg" -o svg.png || fail "librsvg cannot read $stem.svg"
  differing=$(compare -metric AE -fuzz 35% "$stem.png" svg.png null: 2>&1)
  [ "${differing%%.*}" -lt 20000 ] || fail "$stem.svg renders differently from $stem.png ($differing pixels)"
  for title in "$@"; do grep -qF -- "$title" text.txt || fail "$stem.pdf lacks the text '$title'"; done
}
