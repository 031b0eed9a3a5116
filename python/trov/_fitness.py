"""The calls: fitness (one trait) and fitness_many (one response, many traits)."""

import operator
import warnings
from collections.abc import Mapping

import numpy as np

from . import _core
from ._result import Fitness, TrovError

# The options of an analysis and their defaults (the library's).
_OPTIONS = {
    "categorical": False,  # the covariate is categorical: each value (or label) a level
    "lnlambda_min": -10.0,  # the grid of ln(lambda) when lnlambda is None
    "lnlambda_max": 10.0,
    "grid_points": 21,
    "fit_recommended": True,  # after the grid, fit at the recommended lambda
    "criterion": "reml",  # reml, ml, gcv, ubre, ocv: chooses the recommended lambda
    "bootstrap": 0,  # replicates (none below 2)
    "bootstrap_lambda": "fixed",  # or "reselected": each replicate chooses its own lambda
    "seed": 1,  # 1 to 2147483646
    "maxit": 100,  # the classic fit's iterations and tolerance
    "stop": 1e-6,
    "workers": 0,  # threads; 0: every processor this process may use
}
_NONE = np.empty(0)


def _enum(kind, value, name):
    try:
        return kind.__members__[value]
    except (KeyError, TypeError):
        raise ValueError(f"{name} must be one of {', '.join(kind.__members__)}, not {value!r}") from None


def _settings(model, lnlambda, options):
    unknown = set(options) - set(_OPTIONS)
    if unknown:
        raise TypeError(f"unknown option {', '.join(sorted(unknown))}; the options are {', '.join(_OPTIONS)}")
    o = {**_OPTIONS, **options}
    s = _core.Settings()
    s.model = _enum(_core.Model, model, "model")
    s.criterion = _enum(_core.Criterion, o["criterion"], "criterion")
    s.bootstrap_lambda = _enum(_core.BootstrapLambda, o["bootstrap_lambda"], "bootstrap_lambda")
    s.categorical, s.fit_recommended = bool(o["categorical"]), bool(o["fit_recommended"])
    s.lnlambda = None if lnlambda is None else float(lnlambda)
    for key in ("lnlambda_min", "lnlambda_max", "stop"):
        setattr(s, key, float(o[key]))
    for key in ("grid_points", "bootstrap", "seed", "maxit"):
        value = operator.index(o[key])  # a whole number: 2.5 replicates is a mistake, not 2
        if not -(2**31) <= value < 2**31:
            raise ValueError(f"{key} = {value} is out of range")
        setattr(s, key, value)
    return s, int(o["workers"])


def _values(values, data, name):
    """A column as a 1-D float64 array: a column name of `data`, a NumPy array, a pandas Series or any
    sequence of numbers; missing values (None, NaN, pandas NA) become NaN."""
    if isinstance(values, str):
        if data is None:
            raise TypeError(f"{name}={values!r} names a column: give the table as data=")
        values = data[values]
    if hasattr(values, "to_numpy"):  # pandas: NA becomes NaN
        values = values.to_numpy(dtype=float, na_value=np.nan)
    array = np.asarray(values, dtype=float)  # None becomes NaN
    if array.ndim != 1:
        raise ValueError(f"{name} must be one column of values, not an array of shape {array.shape}")
    return array


def _levels(values, data):
    """A categorical covariate's labels (strings or any values) as codes 0, 1, ... in the sorted order
    of the labels, NaN where missing; and the labels."""
    if isinstance(values, str):
        values = data[values]
    missing = values.isna().to_numpy() if hasattr(values, "isna") else None
    labels = np.asarray(values.to_numpy(dtype=object) if hasattr(values, "to_numpy") else values, object)
    if missing is None:
        missing = np.array([v is None or (isinstance(v, float) and v != v) for v in labels], dtype=bool)
    names, codes = np.unique(labels[~missing].astype(str), return_inverse=True)
    array = np.full(len(labels), np.nan)
    array[~missing] = codes
    return array, list(names)


def _columns(columns, data, categorical):
    """The used columns (name: values or None) as float arrays of one length; the covariate's labels
    when a categorical covariate has labels that are not numbers."""
    arrays, labels = {}, None
    for name, values in columns.items():
        if values is None:
            continue
        try:
            arrays[name] = _values(values, data, name)
        except (TypeError, ValueError):
            if name != "covariate" or not categorical:
                raise
            arrays[name], labels = _levels(values, data)
    lengths = {name: len(a) for name, a in arrays.items()}
    if len(set(lengths.values())) > 1:
        raise ValueError("the columns differ in length: " + ", ".join(f"{k} {v}" for k, v in lengths.items()))
    return arrays, labels


def _drop_missing(arrays):
    """The columns without the cases that miss a value in any of them, with a warning saying how many."""
    missing = {name: np.isnan(a) for name, a in arrays.items()}
    dropped = np.logical_or.reduce(list(missing.values()))
    count = int(dropped.sum())
    if count:
        where = ", ".join(f"{name} {int(m.sum())}" for name, m in missing.items() if m.any())
        warnings.warn(f"{count} of {dropped.size} cases left out for missing values ({where})", stacklevel=3)
        arrays = {name: a[~dropped] for name, a in arrays.items()}
    return arrays


def _outcome(outcome, description):
    if isinstance(outcome, tuple):
        return TrovError(*outcome)
    return Fitness(outcome, **description)


def fitness(x, y, n=None, covariate=None, model="binomial", lnlambda=None, *, data=None, **options):
    """The fitness function of one trait.

    x, y: the trait and the response per case (NumPy arrays, pandas Series, sequences, or column names
    of the table `data`). n: the count of each case, a whole number from 1 (binomial: trials, y then
    the proportion that survived; otherwise a weight); None for 1 each. covariate: one value per case
    (with categorical=True, any labels). model: "binomial", "normal" or "poisson". lnlambda: None for the
    recommended choice over the grid (lnlambda_min, lnlambda_max, grid_points), then a fit at it; a
    number for one fit at that ln(lambda). Options: categorical, lnlambda_min, lnlambda_max,
    grid_points, fit_recommended, criterion, bootstrap, bootstrap_lambda, seed, maxit, stop, workers.

    Cases with a missing value in a used column are left out, with a warning saying how many. A
    refused analysis raises TrovError. Returns a Fitness.
    """
    settings, workers = _settings(model, lnlambda, options)
    arrays, labels = _columns({"x": x, "y": y, "n": n, "covariate": covariate}, data, settings.categorical)
    arrays = _drop_missing(arrays)
    outcome = _core.analyse(
        arrays["x"], arrays["y"], arrays.get("n", _NONE), arrays.get("covariate", _NONE), settings, workers
    )
    result = _outcome(outcome, {"settings": settings, "levels": labels})
    if isinstance(result, TrovError):
        raise result
    return result


def _traits(traits, data):
    """The traits' names and columns: a DataFrame's columns, a mapping's items, column names of `data`,
    or the columns of a 2-D array (named 0, 1, ...)."""
    if hasattr(traits, "columns") and hasattr(traits, "iloc"):
        return list(traits.columns), [traits[name] for name in traits.columns]
    if isinstance(traits, Mapping):
        return list(traits), list(traits.values())
    if data is not None and all(isinstance(name, str) for name in traits):
        return list(traits), [data[name] for name in traits]
    array = np.asarray(traits, dtype=float)
    if array.ndim != 2:
        raise ValueError(f"traits must be a table of columns (a 2-D array or a DataFrame), not {array.shape}")
    return list(range(array.shape[1])), list(array.T)


def fitness_many(traits, y, n=None, covariate=None, model="binomial", lnlambda=None, *, data=None,
                 errors="warn", **options):
    """The fitness function of each of many traits against one response: each trait analysed on its own
    exactly as fitness(trait, y, n, covariate, ...) would, the traits spread over the workers.

    traits: a DataFrame (its columns), a dict of columns, a 2-D array (its columns, named 0, 1, ...) or
    column names of `data`. The other arguments and options are those of fitness. Cases that miss y, n
    or the covariate are left out of every trait; a trait's own missing values only out of that trait.
    Returns a dict: trait name -> Fitness, or the TrovError of a refused trait (errors="warn", with a
    warning saying how many) unless errors="raise", which raises the first.
    """
    if errors not in ("warn", "raise"):
        raise ValueError(f'errors must be "warn" or "raise", not {errors!r}')
    settings, workers = _settings(model, lnlambda, options)
    names, columns = _traits(traits, data)
    shared, labels = _columns({"y": y, "n": n, "covariate": covariate}, data, settings.categorical)
    traits_array = np.empty((len(names), len(shared["y"])))
    for k, column in enumerate(columns):
        values = _values(column, None, f"trait {names[k]!r}")
        if len(values) != traits_array.shape[1]:
            raise ValueError(f"trait {names[k]!r} has {len(values)} values, y {traits_array.shape[1]}")
        traits_array[k] = values
    keep = ~np.logical_or.reduce([np.isnan(a) for a in shared.values()])
    if not keep.all():
        warnings.warn(f"{int((~keep).sum())} of {keep.size} cases left out of every trait for missing values "
                      "of the response, counts or covariate", stacklevel=2)
    shared = {name: a[keep] for name, a in shared.items()}
    traits_array = traits_array[:, keep]
    args = (shared["y"], shared.get("n", _NONE), shared.get("covariate", _NONE), settings, workers)

    complete = ~np.isnan(traits_array).any(axis=1)
    outcomes = dict(zip(np.flatnonzero(complete), _core.analyse_many(list(traits_array[complete]), *args)))
    incomplete = np.flatnonzero(~complete)
    if incomplete.size:
        warnings.warn(f"{incomplete.size} of {len(names)} traits miss values: each is analysed without its "
                      "cases that miss it", stacklevel=2)
    for k in incomplete:
        own = ~np.isnan(traits_array[k])
        y_k, n_k, c_k = (a[own] if a.size else a for a in args[:3])
        outcomes[k] = _core.analyse(traits_array[k][own], y_k, n_k, c_k, settings, workers)

    description = {"settings": settings, "levels": labels}
    results = {name: _outcome(outcomes[k], description) for k, name in enumerate(names)}
    failed = [name for name, r in results.items() if isinstance(r, TrovError)]
    if failed and errors == "raise":
        raise results[failed[0]]
    if failed:
        warnings.warn(f"{len(failed)} of {len(names)} traits refused (their values are TrovError): "
                      f"{', '.join(map(str, failed[:10]))}{' ...' if len(failed) > 10 else ''}", stacklevel=2)
    return results
