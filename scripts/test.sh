#!/usr/bin/env bash
# Installs what is missing, builds trov three times (Release; AddressSanitizer + UndefinedBehaviorSanitizer;
# ThreadSanitizer, engine only) and runs the tests in each build; after the Release build also installs
# the Python package into a temporary folder and runs its tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
jobs=$(nproc)
for build in release sanitize thread; do
  case $build in
  release) flags=(-DCMAKE_BUILD_TYPE=Release -DTROV_TESTS=ON -DTROV_BENCH=ON) ;;
  sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROV_SANITIZE=ON -DTROV_TESTS=ON -DTROV_BENCH=OFF) ;;
  thread) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTROV_TSAN=ON -DTROV_GUI=OFF -DTROV_TESTS=ON -DTROV_BENCH=OFF) ;;
  esac
  cmake -S . -B "build/$build" "${flags[@]}" >/dev/null
  cmake --build "build/$build" -j "$jobs"
  echo "== tests, $build build"
  ctest --test-dir "build/$build" --output-on-failure -j "$jobs"
  if [ "$build" = release ]; then
    echo "== tests, Python package"
    python_dir=$(mktemp -d)
    trap 'rm -rf "$python_dir"' EXIT
    scripts/install-python.sh --target "$python_dir"
    PYTHONPATH="$python_dir" PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests
  fi
done
