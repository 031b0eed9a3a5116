#!/usr/bin/env bash
# Builds the libFuzzer harnesses of the input readers (fuzz/: trov.in, the data file, trov.options, the
# table import) with clang, AddressSanitizer and UndefinedBehaviorSanitizer in build/fuzz, and runs each
# for SECONDS seconds (default 60) from its seeds: the trov.in and data files of tests/cases/ and
# examples/, and fuzz/corpus/<name>/. An input that makes a harness fail is saved in fuzz/corpus/<name>/ (crash-...):
# mend the fault and commit the input, which the tests then replay (fuzz_replay.<name>).
# Usage: scripts/fuzz.sh [SECONDS] [NAME...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --fuzz
seconds=${1:-60}
shift || true
names=("$@")
((${#names[@]})) || names=(settings data options import)
cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROV_FUZZ=ON \
  -DTROV_TESTS=OFF -DTROV_GUI=OFF -DTROV_BENCH=OFF >/dev/null
cmake --build build/fuzz -j2 --target "${names[@]/#/fuzz_}"
for name in "${names[@]}"; do
  seeds=build/fuzz/seeds/$name
  rm -rf "$seeds"
  mkdir -p "$seeds" "build/fuzz/corpus/$name"
  extra=()
  case $name in
  settings) for f in tests/cases/*/trov.in; do cp "$f" "$seeds/$(basename "$(dirname "$f")")"; done ;;
  data)
    for f in examples/*.dat tests/cases/*/data.dat; do cp "$f" "$seeds/$(echo "$f" | tr / _)"; done
    extra=(-max_len=8192)  # the seeds of 10000 cases would slow every input down to their size
    ;;
  esac
  echo "== fuzz_$name for $seconds s"
  # new inputs go to the first folder; standard output (the engine's console lines) is closed
  "build/fuzz/bin/fuzz_$name" -max_total_time="$seconds" -close_fd_mask=1 -artifact_prefix="fuzz/corpus/$name/" "${extra[@]}" \
    "build/fuzz/corpus/$name" "fuzz/corpus/$name" "$seeds"
done
