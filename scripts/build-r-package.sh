#!/usr/bin/env bash
# Builds trov's R package as its users install it: DIR/trov_VERSION.tar.gz, a source tarball that holds
# the engine's sources it compiles (in its src/trov, as the repository lays them out) and the golden
# cases its tests compare with (in tests/testthat/repository), so that `R CMD INSTALL` and
# `R CMD check` take it on a machine without this repository. R CMD build installs the package once
# to build the vignette. Needs the Debian packages of `scripts/install-deps.sh --r`.
# --no-vignettes: the vignette's sources only, not built (nothing is compiled: what the test command
# takes, which installs the tarball next).
set -euo pipefail
build_flags=()
if [ "${1:-}" = --no-vignettes ]; then
  build_flags=(--no-build-vignettes)
  shift
fi
[ $# -eq 1 ] || { echo "usage: $0 [--no-vignettes] DIR (the folder that receives trov_VERSION.tar.gz)" >&2; exit 2; }
repo=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
package=$stage/trov
cp -r "$repo/r" "$package"
rm -f "$package"/src/*.o "$package"/src/*.so "$package"/src/.gitignore
# the folders and the program-only files are the Makevars' own, so that the two never disagree
makevars_value() {
  make -s -C "$repo/r/src" -f Makevars -f - print <<<"print: ; @echo \$($1)"
}
program_only=" $(makevars_value TROV_PROGRAM_ONLY) "
for folder in $(makevars_value TROV_FOLDERS); do
  mkdir -p "$package/src/trov/$folder"
  for file in "$repo/$folder"/*.h "$repo/$folder"/*.cpp; do
    [[ $program_only == *" $folder/$(basename "$file") "* ]] || cp "$file" "$package/src/trov/$folder/"
  done
done
# the repository's files the tests read: each case folder of tests/cases, and each file of examples/,
# that a test names
copies=$package/tests/testthat/repository
mkdir -p "$copies/tests/cases" "$copies/examples"
named=$(grep -ohE '"[A-Za-z0-9_][A-Za-z0-9_.-]*"' "$repo"/r/tests/testthat/*.R | tr -d '"' | sort -u)
for name in $named; do
  if [ -f "$repo/tests/cases/$name/expected.trov.json" ]; then cp -r "$repo/tests/cases/$name" "$copies/tests/cases/"; fi
  if [ -f "$repo/examples/$name" ]; then cp "$repo/examples/$name" "$copies/examples/"; fi
done
cd "$out"
R CMD build "${build_flags[@]}" "$package"
