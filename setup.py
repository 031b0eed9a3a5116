"""Builds trov's Python package (pyproject.toml holds its description): the module trov._core compiled
from python/src/module.cpp and the engine's library sources, beside the Python files of python/trov.

The library's sources are those the R package compiles (r/src/Makevars: TROV_FOLDERS less
TROV_PROGRAM_ONLY) and the version is the R package's (r/DESCRIPTION), so each has one source.
NPY_NUM_BUILD_JOBS sets the compile jobs (default: every processor); CC and CXX the compilers.
"""

import re
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup
from setuptools.command.build_py import build_py

ROOT = Path(__file__).resolve().parent


def _read(relative):
    path = ROOT / relative
    if not path.exists():
        raise SystemExit(f"trov's Python package builds from a whole trov repository: {relative} is missing")
    return path.read_text(encoding="utf-8")


def r_package_version():
    """The Version: field of r/DESCRIPTION."""
    found = re.search(r"^Version:\s*(\S+)\s*$", _read("r/DESCRIPTION"), re.MULTILINE)
    if not found:
        raise SystemExit("r/DESCRIPTION has no Version: line")
    return found.group(1)


def library_sources():
    """The library's C++ sources, relative to the repository's root, in r/src/Makevars' folders less its
    program-only files."""
    makevars = _read("r/src/Makevars")

    def words(name):
        found = re.search(rf"^{name}\s*=(.*)$", makevars, re.MULTILINE)
        if not found:
            raise SystemExit(f"r/src/Makevars has no {name} line")
        return found.group(1).replace("$(TROV_ROOT)/", "").split()

    program_only = set(words("TROV_PROGRAM_ONLY"))
    sources = [f"{folder}/{path.name}" for folder in words("TROV_FOLDERS")
               for path in sorted((ROOT / folder).glob("*.cpp"))]
    return [source for source in sources if source not in program_only]


def engine_headers():
    """The headers the module's sources may include: a change to one rebuilds the module (setuptools
    looks at the sources alone)."""
    return sorted(str(path.relative_to(ROOT)) for folder in ("common", "engine", "python/src")
                  for path in (ROOT / folder).rglob("*.h"))


class build_py_with_version(build_py):
    """Also writes trov/_version.py, the version the package reports as trov.__version__."""

    def run(self):
        super().run()
        target = Path(self.build_lib) / "trov" / "_version.py"
        target.write_text(f'__version__ = "{self.distribution.get_version()}"\n', encoding="utf-8")


ParallelCompile("NPY_NUM_BUILD_JOBS").install()

core = Pybind11Extension(
    "trov._core",
    ["python/src/module.cpp", *library_sources()],
    depends=engine_headers(),
    include_dirs=["."],  # the engine's includes are rooted at the repository: "engine/api/trov.h"
    cxx_std=20,
    # as the engine's CMake build: warnings on; the numerics never read errno, so sqrt is the
    # processor's instruction and the loops that hold it vectorize
    extra_compile_args=["-Wall", "-Wextra", "-fno-math-errno"],
)

setup(
    version=r_package_version(),
    packages=["trov"],
    package_dir={"": "python"},
    ext_modules=[core],
    cmdclass={"build_ext": build_ext, "build_py": build_py_with_version},
    # setuptools' build folders beside CMake's, in build/ (which git ignores)
    options={"build": {"build_base": "build/setuptools"}, "egg_info": {"egg_base": "build/setuptools"}},
)
