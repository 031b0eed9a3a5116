#!/usr/bin/env bash
# Runs trov40 on one golden case and compares what it wrote with the expected files.
# A case folder holds trov.in and its data, and the expected results:
#   expected.stdout   standard output                     (required)
#   expected.status   exit status                         (required)
#   expected.trov.out the results file; when absent, the run must leave no trov.out
#   expected.stderr   standard error                      (optional)
#   expected.trov.json trov.json, byte for byte             (optional; REGENERATE rewrites it where it is)
# A run that writes trov.json must agree with its trov.out (the checker named as third argument). The
# run is made again on one processor (taskset -c 0): every file and line must be the same.
# To make the expected files of a new case from the current engine, run with REGENERATE=1 and
# check every line by hand before committing them.
set -u
engine=$1
case_dir=$(cd "$2" && pwd)
checker=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$case_dir"/. "$work"/
rm -f "$work"/expected.*
mkdir "$work/one_processor"
cp -r "$case_dir"/. "$work/one_processor"/
rm -f "$work"/one_processor/expected.*
cd "$work"
# setsid: no controlling terminal, so an error stop ends at once instead of waiting for an answer
setsid -w "$engine" < trov.in > stdout.txt 2> stderr.txt
echo $? > status.txt
(cd one_processor && taskset -c 0 setsid -w "$engine" < trov.in > stdout.txt 2> stderr.txt; echo $? > status.txt)
# the progress lines of a long bootstrap come by the clock, not by the run
sed -i '/^bootstrap: [0-9]* of [0-9]* replicates done$/d' stderr.txt one_processor/stderr.txt

if [ "${REGENERATE:-0}" = 1 ]; then
  cp stdout.txt "$case_dir/expected.stdout"
  cp status.txt "$case_dir/expected.status"
  if [ -f trov.out ]; then cp trov.out "$case_dir/expected.trov.out"; else rm -f "$case_dir/expected.trov.out"; fi
  if [ -f "$case_dir/expected.trov.json" ]; then cp trov.json "$case_dir/expected.trov.json"; fi
  echo "regenerated $case_dir"
  exit 0
fi

failed=0
compare() {  # expected actual label
  if [ ! -f "$1" ]; then
    echo "missing golden file $1: make it with REGENERATE=1 ctest -R <case> and check it by hand"
    failed=1
  elif ! cmp -s "$1" "$2"; then
    echo "$3 differs from $(basename "$1") (first differing lines, expected then actual):"
    diff "$1" "$2" | head -n 12 | cut -c1-400
    failed=1
  fi
}
compare "$case_dir/expected.stdout" stdout.txt "standard output"
compare "$case_dir/expected.status" status.txt "exit status"
[ -f "$case_dir/expected.stderr" ] && compare "$case_dir/expected.stderr" stderr.txt "standard error"
[ -f "$case_dir/expected.trov.json" ] && compare "$case_dir/expected.trov.json" trov.json "trov.json"
if [ -f "$case_dir/expected.trov.out" ]; then
  compare "$case_dir/expected.trov.out" trov.out "trov.out"
elif [ -f trov.out ]; then
  echo "the run left a trov.out where none was expected"
  failed=1
fi
for file in stdout.txt stderr.txt status.txt trov.out trov.json; do
  if [ -f "$file" ] || [ -f "one_processor/$file" ]; then
    cmp -s "$file" "one_processor/$file" || { echo "$file differs on one processor"; failed=1; }
  fi
done
# every run leaves its own trov.json, "ok" or "error"
if [ -n "$checker" ]; then
  if [ -f trov.json ]; then
    cat stdout.txt stderr.txt > console.txt
    "$checker" trov.out trov.json console.txt "$(cat status.txt)" || failed=1
  else
    echo "the run left no trov.json"
    failed=1
  fi
fi
exit $failed
