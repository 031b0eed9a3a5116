#!/usr/bin/env bash
# Installs the Debian packages that building and running trov need, when any is missing; with --tests
# also those that building and running the tests and benchmarks need; with --fuzz those of the fuzzers;
# with --python those of the Python package; with --r those of the R package (r/), and with --r-check also
# those of R CMD check --as-cran on its tarball.
set -euo pipefail
packages=(g++ cmake make libfltk1.3-dev nlohmann-json3-dev libcairo2-dev zlib1g-dev)
# the Python package: built by pip with setuptools and pybind11's helpers (pyproject.toml, setup.py)
python_packages=(python3-dev pybind11-dev python3-pybind11 python3-setuptools python3-wheel python3-pip
                 python3-venv python3-numpy python3-distributed)
if [ "${1:-}" = --tests ]; then
  packages+=(libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils imagemagick libwmf-bin gsfonts
             fonts-dejavu-core fonts-liberation libreoffice-draw-nogui libreoffice-calc-nogui poppler-utils
             librsvg2-bin r-base-core r-cran-ggplot2 r-cran-jsonlite python3-matplotlib python3-pandas
             "${python_packages[@]}" python3-pytest)
fi
if [ "${1:-}" = --python ]; then
  packages=(g++ nlohmann-json3-dev "${python_packages[@]}")
fi
if [ "${1:-}" = --r ] || [ "${1:-}" = --r-check ] || [ "${1:-}" = --tests ]; then
  # knitr, rmarkdown and pandoc build the package's vignette (scripts/build-r-package.sh)
  packages+=(r-base-dev r-cran-rcpp r-cran-testthat r-cran-jsonlite r-cran-mass r-cran-ggplot2 r-cran-knitr
             r-cran-rmarkdown pandoc)
fi
if [ "${1:-}" = --r-check ]; then
  # the PDF manual (LaTeX), the HTML manual's validation and the PDFs' sizes
  packages+=(texlive-latex-base texlive-latex-recommended texlive-fonts-recommended tidy qpdf)
fi
if [ "${1:-}" = --fuzz ]; then
  packages+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
