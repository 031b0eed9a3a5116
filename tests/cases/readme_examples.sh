#!/usr/bin/env bash
# Runs the README's R and Python examples that read trov.json, as the README shows them, on the
# engine's output of every kind of run they serve: a grid, a fixed lambda, a bootstrap, and with a
# covariate a grid, a fixed lambda and a bootstrap. Python is the system's own, which has pandas.
set -u
engine=$1
source_dir=$2
python=${PYTHON:-/usr/bin/python3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# the first ```r and ```python blocks after "Reading it from R"
awk -v dir="$work" '
  /^Reading it from R/ { on = 1 }
  on && /^```(r|python)$/ { lang = substr($0, 4)  # later blocks of a language seen are other examples
                            if (!(lang in seen)) { seen[lang] = 1; file = dir "/example." lang }; next }
  on && /^```$/ { file = "" }
  file != "" { print > file }' "$source_dir/README.md"
for f in example.r example.python; do
  [ -s "$work/$f" ] || { echo "no $f in the README"; exit 1; }
done

examples=$source_dir/examples
# name, parameter file, then sed edits of its lines (4 nstep, 5 lmin, 11 bootstrap replicates)
runs=(
  "grid demo1.in"
  "fixed demo1_fixed.in"
  "bootstrap demo1_boot.in -e 11s/.*/20/"
  "covariate_grid covariate.in -e 4s/.*/5/"
  "covariate_fixed covariate.in -e 4s/.*/1/ -e 5s/.*/0/"
  "covariate_bootstrap covariate.in -e 4s/.*/1/ -e 5s/.*/0/ -e 11s/.*/20/"
)
failed=0
for run in "${runs[@]}"; do
  read -r name parameters edits <<<"$run"
  dir=$work/$name
  mkdir "$dir"
  cp "$examples"/*.dat "$dir"/
  # shellcheck disable=SC2086
  sed -e '' $edits "$examples/$parameters" >"$dir/trov.in"
  (cd "$dir" && "$engine" <trov.in >stdout.txt 2>&1) || { echo "$name: the engine failed"; cat "$dir/stdout.txt"; failed=1; continue; }
  (cd "$dir" && Rscript ../example.r >r.txt 2>&1) || { echo "$name: the R example failed:"; cat "$dir/r.txt"; failed=1; }
  (cd "$dir" && "$python" ../example.python >python.txt 2>&1) ||
    { echo "$name: the Python example failed:"; cat "$dir/python.txt"; failed=1; }
done
exit $failed
