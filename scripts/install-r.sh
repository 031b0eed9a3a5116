#!/usr/bin/env bash
# Installs trov's R package (r/) with what it needs: the Debian packages, then R CMD INSTALL, which
# compiles the engine from this repository. Arguments go to R CMD INSTALL (-l DIR: into library DIR).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --r
MAKEFLAGS="-j$(nproc)" R CMD INSTALL --preclean --clean "$@" r
