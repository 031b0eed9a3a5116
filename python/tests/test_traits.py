"""fitness of several traits: against mgcv's fit of the same data (mgcv_traits.R made the fixture), the
ways of giving the traits and covariates, the gradients' names and Lande and Arnold's regressions, the
refusals."""

import csv
import json
from pathlib import Path

import numpy as np
import pytest

import trov

HERE = Path(__file__).resolve().parent


@pytest.fixture(scope="module")
def table():
    with open(HERE / "mgcv_traits.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    t = {key: np.array([row[key] for row in rows]) for key in rows[0]}
    for key in ("a", "b", "age", "y", "fitted"):
        t[key] = t[key].astype(float)
    return t


@pytest.fixture(scope="module")
def fit(table):
    return trov.fitness(np.column_stack([table["a"], table["b"]]), table["y"], names=["a", "b"],
                        covariate={"site": table["site"], "age": table["age"]})


def test_additive_binomial_fit_is_mgcvs(table, fit):
    reference = json.loads((HERE / "mgcv_traits.json").read_text())
    assert fit.edf == pytest.approx(reference["edf"], rel=0.05)
    assert [s.edf for s in fit.smooths] == pytest.approx(reference["smooth_edf"], rel=0.05)
    np.testing.assert_allclose(fit.fitted, table["fitted"], atol=1e-4)
    assert list(fit.coefficients) == ["site[south]", "site[west]", "age"]  # north, the first level, the reference
    assert fit.shape == "additive" and fit.surface is None and len(fit.lnlambda) == 2
    assert "smooth of b" in fit.summary()


def same(a, b):
    np.testing.assert_array_equal(a.fitted, b.fitted)
    assert a.coefficients == b.coefficients and a.names == b.names


def test_tables_columns_and_missing_values_give_the_same_analysis(table, fit):
    a, b, y, site, age = (table[key] for key in ("a", "b", "y", "site", "age"))
    covariates = {"site": site, "age": age}
    same(trov.fitness([a, b], y, names=["a", "b"], covariate=covariates), fit)
    same(trov.fitness({"a": a, "b": b}, y, covariate=covariates), fit)
    assert trov.fitness(np.column_stack([a, b]), y).names == ["x1", "x2"]
    # a numeric covariate taken as levels by its name: its levels' codes in the coefficients' names
    codes = np.searchsorted(["north", "south", "west"], site).astype(float)
    coded = trov.fitness([a, b], y, names=["a", "b"], covariate={"site": codes, "age": age}, categorical=["site"])
    np.testing.assert_allclose(coded.fitted, fit.fitted, rtol=1e-12)
    assert list(coded.coefficients) == ["site[1]", "site[2]", "age"]
    # one column is one trait, as before
    one = trov.fitness(np.column_stack([a]), y)
    assert isinstance(one, trov.Fitness) and one.report_text == trov.fitness(a, y).report_text
    # a case missing a trait is left out, with a warning
    holed = a.copy()
    holed[7] = np.nan
    with pytest.warns(UserWarning, match=r"^1 of 300 cases left out for missing values \(trait a 1\)$"):
        left_out = trov.fitness([holed, b], y, names=["a", "b"], covariate=covariates)
    keep = np.arange(300) != 7
    same(left_out, trov.fitness([a[keep], b[keep]], y[keep], names=["a", "b"],
                                covariate={"site": site[keep], "age": age[keep]}))

    pandas = pytest.importorskip("pandas")
    frame = pandas.DataFrame({"a": a, "b": b, "site": site, "age": age, "y": y})
    same(trov.fitness(frame[["a", "b"]], frame["y"], covariate=frame[["site", "age"]]), fit)
    same(trov.fitness(["a", "b"], "y", covariate=["site", "age"], data=frame), fit)


def test_gradient_names_and_lande_arnold_regressions(table, fit):
    g = fit.gradients()
    families = [("beta", "gamma"), ("beta_standardized", "gamma_standardized"),
                ("beta_mean_standardized", "gamma_mean_standardized"), ("lande_arnold_beta", "lande_arnold_gamma")]
    expected = [name for beta, gamma in families
                for name in (f"{beta}[a]", f"{beta}[b]", f"{gamma}[a,a]", f"{gamma}[a,b]", f"{gamma}[b,b]")]
    assert list(g)[:len(expected)] == expected and set(g) - set(expected) == {"mean_fitness", "trait_mean", "trait_sd"}
    assert all(isinstance(g[name], trov.Estimate) for name in expected)
    assert np.isnan(g["beta[a]"].se)  # no bootstrap
    # relative fitness on 1, the standardized traits and the covariates' columns; then also their products
    z = [(table[t] - table[t].mean()) / table[t].std(ddof=1) for t in ("a", "b")]
    covariates = [table["site"] == "south", table["site"] == "west", table["age"]]
    w = table["y"] / table["y"].mean()
    linear = np.linalg.lstsq(np.column_stack([np.ones(300), *z, *covariates]), w, rcond=None)[0]
    quadratic = np.linalg.lstsq(np.column_stack([np.ones(300), *z, *covariates, z[0] ** 2, z[0] * z[1], z[1] ** 2]),
                                w, rcond=None)[0]
    found = [g[f"lande_arnold_{name}"].value for name in ("beta[a]", "beta[b]", "gamma[a,a]", "gamma[a,b]",
                                                          "gamma[b,b]")]
    np.testing.assert_allclose(found, [*linear[1:3], 2 * quadratic[6], quadratic[7], 2 * quadratic[8]], atol=1e-8)


def test_refusals(table):
    a, b, y = table["a"], table["b"], table["y"]
    with pytest.raises(ValueError, match="not an array of shape"):
        trov.fitness(np.zeros((300, 2, 2)), y)
    with pytest.raises(ValueError, match="names gives 3 names for 2 traits"):
        trov.fitness([a, b], y, names=["a", "b", "c"])
    with pytest.raises(ValueError, match="differ in length"):
        trov.fitness([a, b[1:]], y)
    with pytest.raises(ValueError, match="mixes columns and single values"):
        trov.fitness([a, 3.0], y)
    with pytest.raises(trov.TrovError, match="a surface takes exactly two traits") as refused:
        trov.fitness([a, b, a + b], y, surface=True)
    assert refused.value.code == 1
    with pytest.raises(ValueError, match="a surface takes exactly two traits"):
        trov.fitness(a, y, surface=True)
    with pytest.raises(trov.TrovError, match="criterion must be reml"):
        trov.fitness([a, b], y, criterion="gcv")
    with pytest.raises(TypeError, match="grid_points apply to one trait"):
        trov.fitness([a, b], y, grid_points=11)
    with pytest.raises(TypeError, match="knots and surface_knots are for several traits"):
        trov.fitness(a, y, knots=10)
    with pytest.raises(ValueError, match="categorical names 'sex', which is no covariate"):
        trov.fitness([a, b], y, covariate={"site": table["site"]}, categorical=["sex"])


def test_surface_grid_holds_the_fitted_function(table):
    surface = trov.fitness([table["a"], table["b"]], table["y"], names=["a", "b"], surface=True)
    assert surface.shape == "surface" and surface.smooths == [] and len(surface.lnlambda) == 2
    g = surface.surface
    # each case's fitted value at its nearest grid point: fitted[j, i] is at (grid_a[i], grid_b[j])
    i = np.abs(g["grid_a"][None, :] - table["a"][:, None]).argmin(axis=1)
    j = np.abs(g["grid_b"][None, :] - table["b"][:, None]).argmin(axis=1)
    np.testing.assert_allclose(g["fitted"][j, i], surface.fitted, atol=0.05)


def test_plot_draws_a_panel_per_trait(fit):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    from matplotlib.figure import Figure

    axes = Figure().subplots(1, 2)
    assert fit.plot(ax=axes) == list(axes)
    assert all(len(ax.lines) == 1 for ax in axes)
