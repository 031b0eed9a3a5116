#!/usr/bin/env bash
# Builds trov's Python package for Debian's Python 3 (/usr/bin/python3) and copies it into the user's
# site-packages, which that Python reads without any setting (or, with --target DIR, into DIR, to be put
# on PYTHONPATH). No pip and no virtual environment: nothing of the system's Python is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
python=/usr/bin/python3
target=
case "${1:-}" in
--target) target=${2:?--target needs a folder} ;;
"") target=$("$python" -m site --user-site) ;;
*) echo "usage: scripts/install-python.sh [--target DIR]" >&2; exit 2 ;;
esac
scripts/install-deps.sh --python
cmake -S . -B build/python -DCMAKE_BUILD_TYPE=Release -DTROV_PYTHON=ON -DTROV_GUI=OFF -DTROV_TESTS=OFF \
  -DTROV_BENCH=OFF -DPython_EXECUTABLE="$python" >/dev/null
cmake --build build/python -j "$(nproc)" --target trov_python
mkdir -p "$target"
rm -rf "$target/trov"
cp -r build/python/python/trov "$target/trov"
echo "trov installed in $target/trov"
