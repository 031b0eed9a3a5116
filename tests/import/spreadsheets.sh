#!/usr/bin/env bash
# trov-import on tables that LibreOffice Calc writes: a sheet made here (a flat XML file) is saved as
# CSV in an English locale (commas, decimal points) and in a German one (semicolons and tabs, decimal
# commas), each also with a UTF-8 byte-order mark, and as "Unicode text" (UTF-16) and Windows-1252 text;
# every table imported and run (trov40 reading the trov.options the import wrote, whose X title holds a
# non-ASCII letter) must give the trov.out of the clean data, and trov.json must tell the cases left out.
# Usage: spreadsheets.sh TROV_IMPORT TROV40 WORKDIR   (status 77: soffice is not installed)
set -u
import=$(readlink -f "$1") engine=$(readlink -f "$2") work=$3
command -v soffice >/dev/null || { echo "soffice not installed: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }

# 60 plants: survival (Yes/No) against mass; row 8 lacks its mass, row 21 has NA: lines 9 and 22 of the
# table (the header is line 1).
awk 'BEGIN {
  srand(7)
  print "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
  print "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet><table:table table:name=\"plants\">"
  s = "<table:table-cell office:value-type=\"string\"><text:p>%s</text:p></table:table-cell>"
  f = "<table:table-cell office:value-type=\"float\" office:value=\"%s\"/>"
  printf "<table:table-row>" s s "</table:table-row>\n", "survived", "mass (µg)"
  for (i = 1; i <= 60; i++) {
    mass = sprintf("%.2f", 2.4 + 55.2 * rand()); alive = rand() < mass / 60 ? "Yes" : "No"
    cell = i == 8 ? "<table:table-cell/>" : i == 21 ? sprintf(s, "NA") : sprintf(f, mass)
    printf "<table:table-row>" s cell "</table:table-row>\n", alive
    if (i != 8 && i != 21) print (alive == "Yes" ? 1 : 0), mass + 0 > "clean.dat"
  }
  print "</table:table></office:spreadsheet></office:body></office:document>"
}' > plants.fods

# LANG sets Calc's locale; the options: separator, quote, UTF-8, ..., cells as shown, ..., byte-order mark
# (written by LibreOffice 7.6 and later; added here for older ones, as a "CSV UTF-8" export holds it).
convert() {  # NAME LANG SEPARATOR [CHARSET: 76 UTF-8, 65535 UTF-16, 1 Windows-1252]
  LANG=$2 soffice -env:UserInstallation="file://$work/profile_$1" --headless \
    --convert-to "csv:Text - txt - csv (StarCalc):$3,34,${4:-76},1,,0,false,true,true,false,false,0,false,false" \
    --outdir "$1" plants.fods >/dev/null 2>&1 || fail "soffice could not convert in $2"
  [ -s "$1/plants.csv" ] || fail "soffice wrote no $1/plants.csv"
  cp "$1/plants.csv" "$1.csv"
  printf '\357\273\277' | cat - "$1.csv" > "$1_bom.csv"
}
convert english en_US.UTF-8 44
convert german de_DE.UTF-8 59
convert german_tab de_DE.UTF-8 9
convert unicode en_US.UTF-8 9 65535
convert latin1 en_US.UTF-8 44 1
grep -q '^Yes;[0-9]*,[0-9]' german.csv || fail "the German table holds no decimal commas: $(head -3 german.csv)"
[ "$(head -c 2 unicode.csv | od -An -tx1 | tr -d ' ')" = fffe ] || fail "the Unicode text is not UTF-16 LE"
LC_ALL=C grep -q 'mass (.g)' latin1.csv && ! grep -q 'mass (µg)' latin1.csv || fail "the Windows-1252 table: $(head -1 latin1.csv)"

run() {  # DATA: trov.out of a fixed-lambda binomial fit on it
  printf '10\n0\n0\n1\n2\n10\n5\n0.005\n2\n2\n0\n2387498\n%s\n' "$1" > trov.in
  "$engine" < trov.in > stdout.txt 2> stderr.txt || fail "trov40 failed on $1: $(cat stdout.txt stderr.txt)"
  [ -s stderr.txt ] && fail "trov40 warned on $1: $(cat stderr.txt)"
  true
}
run clean.dat && mv trov.out clean.out
for table in english english_bom german german_bom german_tab german_tab_bom unicode latin1; do
  "$import" $table.csv --y survived --x "mass (µg)" > said.txt || fail "trov-import refused $table.csv"
  grep -q "58 cases (Y survived, Yes = 1, No = 0; X mass (µg)); 2 cases left out for missing values (lines 9, 22)" \
    said.txt || fail "trov-import on $table.csv said: $(cat said.txt)"
  grep -qx 'x_label = "mass (µg)"' trov.options || fail "$table.csv: trov.options holds $(cat trov.options)"
  run $table.dat
  cmp -s trov.out clean.out || fail "$table.csv: trov.out differs from that of the clean data"
  grep -q '"left_out":{"table":"'$table'.csv","cases":2,"lines":\[9,22\]}' trov.json ||
    fail "$table.csv: trov.json does not tell what was left out"
done

# faults: status 2 and one line naming the line, column and text; a file trov-import did not write stays
sed 's/^Yes,/Yes,x/;3s/^\(.*\),.*$/\1,abc/' english.csv > typo.csv
"$import" typo.csv --y survived --x "mass (µg)" -o clean.dat 2> err.txt; status=$?
[ $status -eq 2 ] && [ "$(wc -l < err.txt)" -eq 1 ] || fail "a table with text: status $status, $(cat err.txt)"
grep -q "line 3, column 'mass (µg)': 'abc' is not a number" err.txt || fail "typo.csv: $(cat err.txt)"
"$import" english.csv --y survived --x "mass (µg)" -o clean.dat 2> err.txt
[ $? -eq 2 ] && grep -q "clean.dat exists and was not written by trov-import" err.txt || fail "clean.dat replaced"
cmp -s <(run clean.dat; cat trov.out) clean.out || fail "clean.dat changed"
# an output that is a file the import writes itself is refused before anything is written
rm -f trov.options
"$import" english.csv --y survived --x "mass (µg)" -o trov.options 2> err.txt
[ $? -eq 2 ] && [ ! -e trov.options ] && grep -q "it is trov.options, which the import writes" err.txt ||
  fail "-o trov.options: $(cat err.txt)"
echo "ok: 8 tables from LibreOffice imported"
