#!/usr/bin/env bash
# Installs what is missing, builds trov twice (Release, and AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs every test in both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
jobs=$(nproc)
for build in release sanitize; do
  if [ "$build" = release ]; then flags=(-DCMAKE_BUILD_TYPE=Release -DTROV_TESTS=ON -DTROV_BENCH=ON); else
    flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROV_SANITIZE=ON -DTROV_TESTS=ON -DTROV_BENCH=OFF); fi
  cmake -S . -B "build/$build" "${flags[@]}" >/dev/null
  cmake --build "build/$build" -j "$jobs"
  echo "== tests, $build build"
  ctest --test-dir "build/$build" --output-on-failure -j "$jobs"
done
