"""The Python package against trov40's golden trov.json files, and its own parts: predict, fitness_many,
missing values, pandas inputs, words and categories, errors, Ctrl-C."""

import json
import subprocess
import sys
import warnings
from pathlib import Path

import numpy as np
import pytest

import trov

CASES = Path(__file__).resolve().parents[2] / "tests" / "cases"


def golden(name, **extra):
    """The fitness call of a golden case (its trov.in, trov.options and data file) with the settings
    rounded to single precision as trov40 reads them, and the case's expected trov.json."""
    case = CASES / name
    lines = (case / "trov.in").read_text().splitlines()
    m, catcov, nstep, lmin, lmax, maxit, stop, model, icol, iboot, seed, data_file = (
        line.split()[0] for line in lines[1:13])
    single = lambda text: float(np.float32(text))
    columns = np.loadtxt(case / data_file, ndmin=2)
    covariate = columns[:, 2] if m == "1" else None
    n = columns[:, 2 + int(m)] if icol == "1" else None
    options = case / "trov.options"
    options = dict((part.strip() for part in line.split("#")[0].split("=")) for line in
                   options.read_text().splitlines() if "=" in line) if options.exists() else {}
    call = dict(model=["normal", "binomial", "poisson"][int(model) - 1], categorical=catcov == "1",
                maxit=int(maxit), stop=single(stop), bootstrap=int(iboot), seed=int(seed), classic=True,
                **options)
    if nstep == "1":
        call["lnlambda"] = single(lmin)
    else:
        call.update(lnlambda_min=single(lmin), lnlambda_max=single(lmax), grid_points=int(nstep),
                    fit_recommended=False)
    call.update(extra)
    expected = json.loads((case / "expected.trov.json").read_text())
    return trov.fitness(columns[:, 1], columns[:, 0], n, covariate, **call), expected


def same(actual, expected):
    """Equal to the last bit; trov.json's null is NaN."""
    expected = np.array([np.nan if v is None else v for v in expected], dtype=float)
    np.testing.assert_array_equal(np.asarray(actual, dtype=float), expected)


def same_report(fit, expected):
    report = fit.report
    # the library has no data file; its grid run has no bootstrap, which it writes as 1 replicate
    for key in ("data_file", "bootstrap_replicates"):
        report["settings"][key] = expected["settings"][key]
    assert report == expected


GRID_CASES = ["reml_binomial_grid", "reml_covariate_category_grid", "reml_normal_pooled_ml",
              "reml_linear_limit"]


@pytest.mark.parametrize("name", GRID_CASES)
def test_grid_is_trov40s(name):
    fit, expected = golden(name)
    rows = expected["grid"]
    same(fit.grid["lnlambda"], [r["lnlambda"] for r in rows])
    for ours, theirs in [("classic_edf", "trace"), ("classic_gcv", "gcv"), ("classic_ocv", "ocv")]:
        same(fit.grid[ours], [r[theirs] for r in rows])
    for key in ("edf", "gcv", "ocv", "ubre", "reml", "ml", "deviance"):
        same(fit.grid[key], [r["converged_fit"][key] for r in rows])
    assert fit.minima
    for criterion, minimum in fit.minima.items():
        refined = expected["minimum"]["converged_" + criterion]["refined"]
        assert minimum._replace(limit=minimum.limit or None) == (
            criterion, refined["lnlambda"], refined["score"], refined["edf"], refined["limit"])
    recommended = expected["minimum"]["recommended"]
    assert fit.recommended._replace(limit=fit.recommended.limit or None)._asdict() == recommended
    assert fit.warnings == expected["warnings"]
    same_report(fit, expected)


def test_fixed_fit_with_covariate_is_trov40s():
    fit, expected = golden("fit_cov_continuous_json")
    f, converged = expected["fit"], expected["fit"]["converged_points"]
    for ours, theirs in [("x", "x"), ("covariate", "c"), ("n", "n"), ("classic_fitted", "yhat")]:
        same(fit.points[ours], [p[theirs] for p in f["points"]])
    for ours, theirs in [("fitted", "yhat"), ("eta", "nu")]:
        same(fit.points[ours], [p[theirs] for p in converged])
    same(fit.coefficients, f["converged_coefficients"])
    s, g = expected["selection"], fit.gradients()
    same([g[name].value for name in ("beta", "gamma", "lande_arnold_beta", "lande_arnold_gamma")],
         [s["beta"], s["gamma"], s["lande_arnold"]["beta"], s["lande_arnold"]["gamma"]])
    assert (g["classic_beta"], g["classic_gamma"]) == (s["classic"]["beta"], s["classic"]["gamma"])
    same_report(fit, expected)
    # the fitted function with each point's own covariate value
    p = fit.points
    np.testing.assert_allclose(fit.predict(p["x"], p["covariate"]), p["fitted"], rtol=1e-12)


@pytest.fixture(scope="module")
def bootstrap_fit():
    return golden("boot_reselected_binomial")


def test_bootstrap_fit_and_gradients_are_trov40s(bootstrap_fit):
    fit, expected = bootstrap_fit
    points = expected["bootstrap"]["points"]
    for key in ("x", "lower", "upper"):
        same(fit.points[key], [p[key] for p in points])
    # the band's centre is the inverse link of the linear predictor, the fitted values are the fit's means
    np.testing.assert_allclose(fit.points["fitted"], [p["yhat"] for p in points], rtol=1e-15)
    s, g = expected["selection"], fit.gradients()
    for name in ("beta", "gamma", "beta_standardized", "gamma_standardized", "beta_mean_standardized",
                 "gamma_mean_standardized", "lande_arnold_beta", "lande_arnold_gamma"):
        value = s["lande_arnold"][name[len("lande_arnold_"):]] if name.startswith("lande") else s[name]
        spread = s["bootstrap"][name]
        same(g[name], [value, spread["se"], spread["p"], spread["lower"], spread["upper"]])
    for key in ("mean_fitness", "trait_mean", "trait_sd"):
        assert g[key] == s[key]
    b = expected["bootstrap"]
    counts = ("replicates", "type", "degenerate_draws", "not_converged", "failed_refits", "converged_failed")
    assert fit.bootstrap[:6] == tuple(b[key] for key in counts)
    same_report(fit, expected)
    assert "beta_standardized" in fit.summary() and fit.to_frame("gradients").shape == (8, 5)


def test_predict_is_the_fitted_function(bootstrap_fit):
    fit = bootstrap_fit[0]
    p = fit.points
    np.testing.assert_allclose(fit.predict(p["x"]), p["fitted"], rtol=1e-13)
    # between the points: the derivatives of predict, by central differences, give the engine's gradients
    g, h = fit.gradients(), 1e-3 * p["x"].std()
    slope = (fit.predict(p["x"] + h) - fit.predict(p["x"] - h)) / (2 * h)
    curvature = (fit.predict(p["x"] + h) - 2 * p["fitted"] + fit.predict(p["x"] - h)) / h**2
    mean = np.average(p["fitted"], weights=p["n"])
    assert np.average(slope, weights=p["n"]) / mean == pytest.approx(g["beta"].value, rel=1e-5)
    assert np.average(curvature, weights=p["n"]) / mean == pytest.approx(g["gamma"].value, rel=1e-4)
    # with a categorical covariate: each point's own level
    fit, _ = golden("reml_covariate_category_grid", fit_recommended=True)
    p = fit.points
    np.testing.assert_allclose(fit.predict(p["x"], p["covariate"]), p["fitted"], rtol=1e-12)


def demo():
    data = np.loadtxt(CASES / "reml_binomial_grid" / "demo1.dat")
    return data[:, 1], data[:, 0]


def same_fit(a, b):
    assert a.report_text == b.report_text
    for key in a.points:
        same(a.points[key], b.points[key])


def test_fitness_many_equals_single_runs():
    x, y = demo()
    with_missing = x.copy()
    with_missing[[3, 50]] = np.nan
    traits = {"mass": x, "log mass": np.log(x), "with missing": with_missing, "three values": np.round(x) % 3}
    told = []
    with pytest.warns(UserWarning) as caught:
        many = trov.fitness_many(traits, y, bootstrap=0, progress=lambda done, total: told.append((done, total)))
    assert [str(w.message).split(" ")[:3] for w in caught] == [["1", "of", "4"], ["1", "of", "4"]]
    assert told[-1] == (4, 4) and told == sorted(set(told))
    with pytest.raises(ZeroDivisionError), warnings.catch_warnings():  # the caller's error stops the scan
        warnings.simplefilter("ignore")
        trov.fitness_many(traits, y, progress=lambda done, total: 1 / 0)
    for name in ("mass", "log mass", "with missing"):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            same_fit(many[name], trov.fitness(traits[name], y))
    assert many["three values"].code == 7
    with pytest.raises(trov.TrovError), pytest.warns(UserWarning, match="miss values"):
        trov.fitness_many(traits, y, errors="raise")


def test_missing_values_are_left_out_with_a_warning():
    pandas = pytest.importorskip("pandas")
    x, y = demo()
    table = pandas.DataFrame({"x": x, "y": pandas.array(y.astype(int), dtype="Int64")})
    table.loc[[5, 9], "y"] = pandas.NA
    table.loc[9, "x"] = np.nan
    with pytest.warns(UserWarning, match=r"^2 of 300 cases left out for missing values \(x 1, y 2\)$"):
        fit = trov.fitness("x", "y", data=table)
    keep = np.ones(300, bool)
    keep[[5, 9]] = False
    same_fit(fit, trov.fitness(x[keep], y[keep]))
    assert fit.to_frame().shape[0] == fit.n_points


def test_refused_analyses():
    x, y = demo()
    with pytest.raises(trov.TrovError) as refused:
        trov.fitness(x, y * 2)
    assert refused.value.code == 6 and refused.value.text
    with pytest.raises(trov.TrovError) as refused:
        trov.fitness(x, y, grid_points=0)
    assert refused.value.code == 1
    with pytest.raises(TypeError, match="unknown option"):
        trov.fitness(x, y, bootstraps=10)
    with pytest.raises(ValueError, match="differ in length"):
        trov.fitness(x, y[1:])


def test_workers_are_a_whole_number_from_0_capped_to_the_processors():
    x, y = demo()
    for refused in (-5, 1.5, float("nan")):
        with pytest.raises(trov.TrovError, match="^workers must be a whole number from 0") as error:
            trov.fitness(x, y, workers=refused)
        assert error.value.code == 1
    for refused in ("2", True):
        with pytest.raises(TypeError, match="^workers must be"):
            trov.fitness(x, y, workers=refused)
    same_fit(trov.fitness(x, y, workers=1000), trov.fitness(x, y))


def test_pandas_inputs_pair_by_their_index():
    pandas = pytest.importorskip("pandas")
    x, y = demo()
    table = pandas.DataFrame({"mass": x, "survived": y}, index=np.arange(300) * 10)
    shuffled = table.sample(frac=1, random_state=1)
    ordered = trov.fitness(table["mass"], table["survived"])
    same_fit(trov.fitness(shuffled["mass"], table["survived"]), ordered)
    same_fit(trov.fitness_many({"mass": shuffled["mass"]}, table["survived"])["mass"], ordered)
    with pytest.raises(ValueError, match="index of y holds other labels than that of x"):
        trov.fitness(table["mass"], table["survived"].reset_index(drop=True))
    with pytest.raises(ValueError, match="^y='weight': data has no column 'weight'; its columns are 'mass', "
                                         "'survived'$"):
        trov.fitness("mass", "weight", data=table)


def test_words_categories_and_truth_values_as_responses():
    pandas = pytest.importorskip("pandas")
    x, y = demo()
    expected = trov.fitness(x, y, lnlambda=1)
    yes_no = np.where(y == 1, "yes", "No")
    reordered = pandas.Series(yes_no, dtype="category").cat.reorder_categories(["No", "yes"])
    for response, one in [(yes_no, None), (pandas.Categorical(np.where(y == 1, "Yes", "No")), None),
                          (reordered, None), (y == 1, None), (np.where(y == 1, "dead", "alive"), "dead")]:
        same_fit(trov.fitness(x, response, lnlambda=1, one=one), expected)
    words = np.where(y == 1, "dead", "alive")
    with pytest.raises(ValueError, match="holds the words 'alive', 'dead': say which is taken as 1"):
        trov.fitness(x, words)
    with pytest.raises(ValueError, match="does not hold the word 'gone'"):
        trov.fitness(x, words, one="gone")
    with pytest.raises(ValueError, match="more than two words"):
        trov.fitness(x, np.append(words[:-1], "gone"), one="dead")
    with pytest.raises(ValueError, match=r"words and missing values \(cases \[299\]\)"):
        trov.fitness(x, np.append(yes_no[:-1], None))


def test_categorical_covariate_levels_and_coefficients_are_a_regressions():
    pandas = pytest.importorskip("pandas")
    rng = np.random.default_rng(3)
    x = rng.uniform(0, 10, 200)
    race = rng.choice(["white", "black", "other"], 200)
    y = 1 + 0.3 * x + np.select([race == "black", race == "other"], [0.75, 0.55]) + rng.normal(0, 0.5, 200)
    # at a very large lambda the spline is a line: least squares on x and the levels, white the reference
    design = np.column_stack([np.ones(200), x, race == "black", race == "other"]).astype(float)
    b = np.linalg.lstsq(design, y, rcond=None)[0]
    categories = pandas.Categorical(race, categories=["white", "black", "other"])
    fit = trov.fitness(x, y, covariate=categories, model="normal", lnlambda=30)
    assert fit.levels == ["white", "black", "other"] and list(fit.coefficients) == fit.levels
    np.testing.assert_allclose(list(fit.coefficients.values()), [0, b[2], b[3]], atol=1e-6)
    np.testing.assert_allclose(fit.predict(x[:20], race[:20]), (design @ b)[:20], rtol=1e-6)
    words = trov.fitness(x, y, covariate=race, model="normal", lnlambda=30)  # strings: sorted levels
    assert list(words.coefficients) == ["black", "other", "white"]
    with pytest.raises(ValueError, match=r"no level of the fit: asian \(its levels: white, black, other\)"):
        fit.predict([1.0], ["asian"])
    # at infinite trait values: the limits of the fitted function
    assert list(fit.predict([-np.inf, np.inf], "black")) == [-np.inf, np.inf]
    survived = trov.fitness(x, y > 3.5, covariate=categories, lnlambda=5)
    far = survived.predict([-1e9, 1e9], "other", scale="link")
    assert list(survived.predict([-np.inf, np.inf], "other")) == list((far > 0).astype(float))


def test_an_analysis_without_a_fit_says_why():
    x = np.arange(20.0)
    separated = trov.fitness(x, x > 9.5)
    with pytest.raises(ValueError, match=r"failed at every ln\(lambda\) of the grid .* line separates"):
        separated.predict([3.0])
    with pytest.raises(ValueError, match=r"a grid only \(fit_recommended=False\)"):
        trov.fitness(*demo(), fit_recommended=False).gradients()
    assert trov.fitness_many({}, x > 9.5) == {}


def test_ctrl_c_stops_an_analysis_promptly():
    # in an interpreter of its own: a signal goes to the whole process, whose other threads (a cluster's
    # of an earlier test) are no part of this test
    child = f"""
import os, signal, threading, time
import numpy as np
import trov
data = np.loadtxt({str(CASES / "reml_binomial_grid" / "demo1.dat")!r})
# Python leaves SIGINT ignored where its parent ignored it (a job started in the background of a script)
signal.signal(signal.SIGINT, signal.default_int_handler)
threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT)).start()
started = time.monotonic()
try:
    fit = trov.fitness(data[:, 1], data[:, 0], bootstrap=100000, bootstrap_lambda="reselected")
    print("not interrupted after", time.monotonic() - started, "bootstrap", fit.bootstrap, fit.warnings)
except KeyboardInterrupt:
    print("interrupted after", time.monotonic() - started)
"""
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    words = done.stdout.split()
    assert words[:2] == ["interrupted", "after"], done.stdout
    assert float(words[2]) < 2.5


def test_version_is_the_r_packages():
    description = (Path(__file__).resolve().parents[2] / "r" / "DESCRIPTION").read_text()
    assert f"\nVersion: {trov.__version__}\n" in description


def test_plot_draws_on_the_given_axes_and_returns_them(bootstrap_fit):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    from matplotlib.figure import Figure

    ax = Figure().add_subplot()
    assert bootstrap_fit[0].plot(ax=ax) is ax
    assert len(ax.lines) == 1 and len(ax.collections) == 2  # the fit; the data and the band
