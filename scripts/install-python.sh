#!/usr/bin/env bash
# Builds trov's Python package for Debian's Python 3 (/usr/bin/python3) with pip (pyproject.toml) and
# installs it into the user's site-packages, which that Python reads without any setting (or, with
# --target DIR, into DIR, to be put on PYTHONPATH). pip writes into that folder alone (--target), so
# nothing of the system's Python is touched; NumPy is Debian's. In a virtual environment, use its pip
# instead: pip install --no-build-isolation . (README, "Use from Python").
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
mkdir -p "$target"
"$python" -m pip install --quiet --no-build-isolation --no-deps --no-index --upgrade --target "$target" .
echo "trov installed in $target/trov"
