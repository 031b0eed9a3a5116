#!/usr/bin/env bash
# Installs what is missing, builds trov three times (Release; AddressSanitizer + UndefinedBehaviorSanitizer;
# ThreadSanitizer, engine only) and runs the tests in each build; after the Release build also builds the
# R package's tarball and installs it into a temporary library, and installs the Python package with pip
# into a temporary virtual environment, as their users install them, and runs their tests there.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
jobs=$(nproc)
# the sanitizers' reports need functions and lines, not variables: the least debug information builds
# faster; -O1 keeps every access the sanitizers check and compiles in two thirds of the time of -O2
lines_only="-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
for build in release sanitize thread; do
  case $build in
  release) flags=(-DCMAKE_BUILD_TYPE=Release -DTROV_TESTS=ON -DTROV_BENCH=ON) ;;
  sanitize) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "$lines_only" -DTROV_SANITIZE=ON -DTROV_TESTS=ON -DTROV_BENCH=OFF) ;;
  thread) flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "$lines_only" -DTROV_TSAN=ON -DTROV_GUI=OFF -DTROV_TESTS=ON -DTROV_BENCH=OFF) ;;
  esac
  cmake -S . -B "build/$build" "${flags[@]}" >/dev/null
  cmake --build "build/$build" -j "$jobs"
  echo "== tests, $build build"
  # twice as many tests as cores: most of them wait (on windows, on the programs they start), and the
  # GUI tests have X servers of their own
  ctest --test-dir "build/$build" --output-on-failure -j "$((2 * jobs))"
  if [ "$build" = release ]; then
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    echo "== tests, R package (its tarball built, and installed into a temporary library as users install it)"
    rlib=$scratch/r
    mkdir "$rlib"
    MAKEFLAGS="-j$jobs" scripts/build-r-package.sh --no-vignettes "$scratch/tarball" >"$rlib/build.log" 2>&1 ||
      { cat "$rlib/build.log"; exit 1; }
    MAKEFLAGS="-j$jobs" R CMD INSTALL -l "$rlib" "$scratch"/tarball/trov_*.tar.gz >"$rlib/install.log" 2>&1 ||
      { cat "$rlib/install.log"; exit 1; }
    scripts/check-module-symbols.sh "$rlib/trov/libs/trov.so"
    R_LIBS="$rlib" Rscript -e 'testthat::test_dir("r/tests/testthat", package = "trov", load_package = "installed",
                                                  stop_on_failure = TRUE)'
    echo "== the README's R example"
    awk '/^## Use from R/ { on = 1 } on && /^```$/ { exit } on && started { print } on && /^```R$/ { started = 1 }' \
      README.md >"$rlib/example.R"
    (cd "$rlib" && R_LIBS="$rlib" Rscript example.R >example.txt 2>&1) || { cat "$rlib/example.txt"; exit 1; }
    echo "== tests, Python package (installed with pip into a virtual environment, tested from outside)"
    venv=$scratch/python
    /usr/bin/python3 -m venv --system-site-packages "$venv"
    NPY_NUM_BUILD_JOBS=$jobs "$venv/bin/pip" install --quiet --no-build-isolation --no-index .
    scripts/check-module-symbols.sh "$venv"/lib/python3*/site-packages/trov/_core*.so
    tests=$PWD/python/tests
    (cd "$scratch" && PYTHONDONTWRITEBYTECODE=1 "$venv/bin/python" -m pytest -q -p no:cacheprovider "$tests")
  fi
done
