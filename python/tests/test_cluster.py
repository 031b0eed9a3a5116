"""fitness_many over a dask.distributed cluster of two worker processes, results sent back by pickling,
and the notebook-style example (examples/fitness_analysis.py) run as a notebook runs it."""

import pickle
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest

import trov

distributed = pytest.importorskip("distributed")
REPOSITORY = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, processes=True, threads_per_worker=1,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        yield client


def scan_data():
    data = np.loadtxt(REPOSITORY / "tests" / "cases" / "reml_binomial_grid" / "demo1.dat")
    x, y = data[:, 1], data[:, 0]
    with_missing = x.copy()
    with_missing[[3, 50]] = np.nan
    sex = np.where(np.arange(len(x)) % 3 == 0, "female", "male")
    traits = {"mass": x, "log mass": np.log(x), "with missing": with_missing, "three values": np.round(x) % 3}
    return traits, y, sex


def same_result(a, b):
    assert type(a) is type(b)
    if isinstance(a, trov.TrovError):
        assert (a.code, a.text, str(a)) == (b.code, b.text, str(b))
        return
    assert a.report_text == b.report_text and a.levels == b.levels  # the report: grid, fit, gradients
    assert repr(a.coefficients) == repr(b.coefficients)
    for key in a.points:
        np.testing.assert_array_equal(a.points[key], b.points[key])


def test_a_cluster_scan_is_the_serial_one_to_the_bit(client):
    traits, y, sex = scan_data()
    told = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        serial = trov.fitness_many(traits, y, covariate=sex, bootstrap=10, seed=7)
        spread = trov.fitness_many(traits, y, covariate=sex, bootstrap=10, seed=7, client=client,
                                   progress=lambda done, total: told.append((done, total)))
    assert told == [(k, 4) for k in range(1, 5)]
    assert list(spread) == list(traits) and spread["three values"].code == 7
    for name in traits:
        same_result(spread[name], serial[name])
        same_result(pickle.loads(pickle.dumps(serial[name])), serial[name])
    assert trov.fitness_many({}, y, client=client) == {}


def break_trait_with_42():
    """On a worker: the library's analyse fails (as a worker out of memory would) for traits holding 42."""
    import trov._cluster

    library = trov._core

    class Failing:
        def __getattr__(self, name):
            return getattr(library, name)

        @staticmethod
        def analyse(x, *rest):
            if 42.0 in x:
                raise MemoryError("no memory for this trait")
            return library.analyse(x, *rest)

    trov._cluster._core = Failing()


def mend():
    import trov._cluster

    trov._cluster._core = trov._core


def test_a_failed_task_gives_its_trait_its_error_and_the_others_go_on(client):
    traits, y, _ = scan_data()
    broken = traits["mass"].copy()
    broken[0] = 42.0
    client.run(break_trait_with_42)
    try:
        with pytest.warns(UserWarning, match="^1 of 2 traits gave no analysis .*: broken$"):
            results = trov.fitness_many({"mass": traits["mass"], "broken": broken}, y, client=client)
        with pytest.raises(MemoryError, match="no memory"):
            trov.fitness_many({"mass": traits["mass"], "broken": broken}, y, client=client, errors="raise")
    finally:
        client.run(mend)
    assert isinstance(results["broken"], MemoryError)
    same_result(results["mass"], trov.fitness(traits["mass"], y))


def test_the_example_runs_as_a_notebook(tmp_path):
    # cell after cell in one namespace and no main file, as a notebook's kernel runs them
    example = REPOSITORY / "examples" / "fitness_analysis.py"
    run = f"exec(compile(open({str(example)!r}).read(), {str(example)!r}, 'exec'))"
    done = subprocess.run([sys.executable, "-c", run], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert "selection gradients" in done.stdout and "22 of 22 traits" in done.stdout
    assert (tmp_path / "fitness.png").stat().st_size > 10000
