"""The calls: fitness (one trait) and fitness_many (one response, many traits)."""

import numbers
import operator
import warnings
from collections.abc import Mapping

import numpy as np

from . import _core
from ._result import Fitness, TrovError

# The options of an analysis and their defaults, the library's own (those of its default Settings).
_DEFAULT = _core.Settings()
_OPTIONS = {
    "categorical": None,  # the covariate is categorical (each value a level); None: where it holds labels
    "lnlambda_min": _DEFAULT.lnlambda_min,  # the grid of ln(lambda) when lnlambda is None
    "lnlambda_max": _DEFAULT.lnlambda_max,
    "grid_points": _DEFAULT.grid_points,
    "fit_recommended": _DEFAULT.fit_recommended,  # after the grid, fit at the recommended lambda
    "classic": _DEFAULT.classic,  # also the classic fits, to compare with earlier runs (never the answer's)
    "criterion": _DEFAULT.criterion.name,  # reml, ml, gcv, ubre, ocv: chooses the recommended lambda
    "bootstrap": _DEFAULT.bootstrap,  # replicates (none below 2)
    "bootstrap_lambda": _DEFAULT.bootstrap_lambda.name,  # reselected (each replicate its own lambda) or fixed
    "bootstrap_type": _DEFAULT.bootstrap_type.name,  # parametric, or cases: drawn with replacement (overdispersion)
    "seed": _DEFAULT.seed,  # 1 to 2147483646
    "maxit": _DEFAULT.maxit,  # the classic fit's iterations and tolerance
    "stop": _DEFAULT.stop,
    "workers": 0,  # threads, a whole number; 0 (or more than there are): every processor this process may use
}
_NONE = np.empty(0)


def _enum(kind, value, name):
    try:
        return kind.__members__[value]
    except (KeyError, TypeError):
        raise ValueError(f"{name} must be one of {', '.join(kind.__members__)}, not {value!r}") from None


def _settings(model, lnlambda, options):
    """The library's settings of a call, its worker threads, and `categorical` as given (None: by the
    covariate's kind)."""
    unknown = set(options) - set(_OPTIONS)
    if unknown:
        raise TypeError(f"unknown option {', '.join(sorted(unknown))}; the options are {', '.join(_OPTIONS)}")
    o = {**_OPTIONS, **options}
    s = _core.Settings()
    s.model = _enum(_core.Model, model, "model")
    s.criterion = _enum(_core.Criterion, o["criterion"], "criterion")
    s.bootstrap_lambda = _enum(_core.BootstrapLambda, o["bootstrap_lambda"], "bootstrap_lambda")
    s.bootstrap_type = _enum(_core.BootstrapType, o["bootstrap_type"], "bootstrap_type")
    s.categorical, s.fit_recommended = bool(o["categorical"]), bool(o["fit_recommended"])
    s.classic = bool(o["classic"])
    asked_categorical = o["categorical"]
    s.lnlambda = None if lnlambda is None else float(lnlambda)
    for key in ("lnlambda_min", "lnlambda_max", "stop"):
        setattr(s, key, float(o[key]))
    for key in ("grid_points", "bootstrap", "seed", "maxit"):
        value = operator.index(o[key])  # a whole number: 2.5 replicates is a mistake, not 2
        if not -(2**31) <= value < 2**31:
            raise ValueError(f"{key} = {value} is out of range")
        setattr(s, key, value)
    workers = o["workers"]
    if isinstance(workers, bool) or not isinstance(workers, numbers.Real):
        raise TypeError(f"workers must be a whole number from 0 (0: every processor), not {workers!r}")
    threads = _core.worker_threads(float(workers))
    if isinstance(threads, tuple):
        raise TrovError(*threads)
    return s, threads, asked_categorical


def _column_names(data):
    if hasattr(data, "columns"):
        return list(data.columns)
    if isinstance(data, Mapping):
        return list(data)
    return list(getattr(getattr(data, "dtype", None), "names", None) or [])


def _column(data, name, what):
    """The column `name` of the table `data`, given as the argument `what`."""
    if data is None:
        raise TypeError(f"{what}={name!r} names a column: give the table as data=")
    names = _column_names(data)
    if name not in names:
        raise ValueError(f"{what}={name!r}: data has no column {name!r}; its columns are "
                         f"{', '.join(map(repr, names))}")
    return data[name]


def _is_series(values):
    return hasattr(values, "index") and hasattr(values, "to_numpy") and getattr(values, "ndim", 0) == 1


def _aligned(columns):
    """The columns (name: values) with pandas Series paired by their index labels: each in the order of
    the first Series' index, one whose labels differ from those refused. Arrays and sequences pair by
    position."""
    series = [(name, v) for name, v in columns.items() if _is_series(v)]
    if len(series) < 2:
        return columns
    (first, reference), *others = series
    index, columns = reference.index, dict(columns)
    for name, values in others:
        if values.index.equals(index):
            continue
        if not (index.is_unique and values.index.is_unique and len(values.index) == len(index)
                and values.index.isin(index).all()):
            raise ValueError(f"the pandas index of {name} holds other labels than that of {first}: pandas "
                             "inputs are paired by their index, so give them the same labels (arrays pair "
                             "by position)")
        columns[name] = values.reindex(index)
    return columns


def _numbers(values, name):
    """A column as a 1-D float64 array; missing values (None, NaN, pandas NA) become NaN."""
    try:
        if hasattr(values, "to_numpy"):  # pandas: NA becomes NaN
            values = values.to_numpy(dtype=float, na_value=np.nan)
        array = np.asarray(values, dtype=float)  # None becomes NaN
    except (TypeError, ValueError) as error:
        raise ValueError(f"{name} must hold numbers ({error})") from None
    if array.ndim != 1:
        raise ValueError(f"{name} must be one column of values, not an array of shape {array.shape}")
    return array


def _missing(labels):
    try:
        import pandas
    except ImportError:  # then no pandas NA either
        return np.array([v is None or (isinstance(v, float) and v != v) for v in labels], dtype=bool)
    return np.asarray(pandas.isna(labels), dtype=bool)


def _labels(values, name):
    """A column of labels: a pandas Categorical (in a Series or bare), or words (strings). Returns the
    labels as an object array, where they are missing, and a Categorical's categories (None for words);
    None for a column of numbers or truth values."""
    categorical = getattr(getattr(values, "dtype", None), "name", None) == "category"
    if categorical:
        categories = values.cat.categories if hasattr(values, "cat") else values.categories
        codes = np.asarray(values.cat.codes if hasattr(values, "cat") else values.codes)
        labels = np.empty(len(codes), dtype=object)
        labels[codes >= 0] = np.asarray(categories, dtype=object)[codes[codes >= 0]]
        return labels, codes < 0, list(categories)
    if isinstance(values, str) or getattr(getattr(values, "dtype", None), "kind", "O") not in "OUS":
        return None
    labels = values.to_numpy(dtype=object) if hasattr(values, "to_numpy") else values
    labels = np.asarray(labels, dtype=object)
    if labels.ndim != 1:
        return None
    missing = _missing(labels)
    kinds = {isinstance(v, str) for v in labels[~missing]}
    if kinds == {True, False}:
        raise ValueError(f"{name} holds words and numbers: give it one or the other")
    return (labels, missing, None) if kinds == {True} else None


def _response(values, name, one):
    """The response as numbers: numbers as they are, True as 1. Words: a Categorical of two categories
    has its second as 1 (as R's glm takes a factor); Yes/No and TRUE/FALSE (any case) are 1 and 0; of
    two other words, `one` names the one taken as 1 (it may name the 1 of any words)."""
    labelled = _labels(values, name)
    if labelled is None:
        if one is not None:
            raise ValueError(f"one={one!r} names a word of {name}, but {name} holds numbers")
        return _numbers(values, name)
    labels, missing, categories = labelled
    if missing.any():
        cases = list(np.flatnonzero(missing)[:5])
        raise ValueError(f"{name} holds words and missing values (cases {cases}): a response of words takes "
                         "no missing value")
    if categories is not None and len(categories) == 2:
        words = categories
    else:
        present = set(labels)
        words = list(dict.fromkeys(labels)) if categories is None else [c for c in categories if c in present]
    listed = ", ".join(map(repr, words))
    if len(words) > 2:
        raise ValueError(f"{name} holds more than two words ({listed}): a response of words takes two")
    lower = [str(w).lower() for w in words]
    if one is None:
        if categories is not None and len(words) == 2:
            one = words[1]
        elif set(lower) <= {"yes", "no"} and "yes" in lower:
            one = words[lower.index("yes")]
        elif set(lower) <= {"true", "false"} and "true" in lower:
            one = words[lower.index("true")]
        else:
            raise ValueError(f"{name} holds the words {listed}: say which is taken as 1 "
                             f"(one={words[0]!r}, say)")
    elif one not in words:
        raise ValueError(f"{name} does not hold the word {one!r} taken as 1 (its words: {listed})")
    return (labels == one).astype(float)


def _covariate(values, name, categorical):
    """The covariate as the engine takes it, and the labels of one that holds labels (None for numbers):
    a Categorical as its codes 0, 1, ... in the order of its categories, words in their sorted order;
    missing labels become NaN. Labels make the covariate categorical."""
    labelled = _labels(values, name)
    if labelled is None:
        return _numbers(values, name), None
    if categorical is False:
        raise ValueError("a covariate of labels is categorical: leave categorical out or give True")
    labels, missing, categories = labelled
    levels = categories if categories is not None else sorted(set(labels[~missing]))
    code_of = {level: k for k, level in enumerate(levels)}
    codes = np.full(len(labels), np.nan)
    codes[~missing] = [code_of[label] for label in labels[~missing]]
    return codes, levels


def _columns(columns, data, one, covariates):
    """The used columns (name: values or None) as float arrays of one length, pandas Series paired by
    their index; covariates: the names of the covariates' columns, each with its `categorical` as asked
    (None: by its kind). Also the labels of each covariate (None where it holds numbers)."""
    given = {name: _column(data, v, name) if isinstance(v, str) else v
             for name, v in columns.items() if v is not None}
    given = _aligned(given)
    arrays, labels = {}, {}
    for name, values in given.items():
        if name == "y":
            arrays[name] = _response(values, name, one)
        elif name in covariates:
            arrays[name], labels[name] = _covariate(values, name, covariates[name])
        else:
            arrays[name] = _numbers(values, name)
    lengths = {name: len(a) for name, a in arrays.items()}
    if len(set(lengths.values())) > 1:
        raise ValueError("the columns differ in length: " + ", ".join(f"{k} {v}" for k, v in lengths.items()))
    return arrays, labels


def _drop_missing(arrays, stacklevel=3):
    """The columns without the cases that miss a value in any of them, with a warning (to the caller
    `stacklevel` frames up) saying how many."""
    missing = {name: np.isnan(a) for name, a in arrays.items()}
    dropped = np.logical_or.reduce(list(missing.values()))
    count = int(dropped.sum())
    if count:
        where = ", ".join(f"{name} {int(m.sum())}" for name, m in missing.items() if m.any())
        warnings.warn(f"{count} of {dropped.size} cases left out for missing values ({where})",
                      stacklevel=stacklevel)
        arrays = {name: a[~dropped] for name, a in arrays.items()}
    return arrays


def _outcome(outcome, description):
    """The result object of the library's outcome: a Fitness, or the TrovError of a refusal (an
    exception, the failure of a cluster's worker, as it is)."""
    if isinstance(outcome, Exception):
        return outcome
    if isinstance(outcome, tuple):
        return TrovError(*outcome)
    return Fitness(outcome, **description)


def fitness(x, y, n=None, covariate=None, model="binomial", lnlambda=None, *, data=None, one=None, names=None,
            surface=False, knots=None, surface_knots=None, **options):
    """The fitness function of one trait, or of several (x a table of traits: see below).

    x, y: the trait and the response per case (NumPy arrays, pandas Series, sequences, or column names
    of the table `data`); pandas Series are paired by their index, the others by position. y may hold
    words: a two-category Categorical (its second category is 1), Yes/No or TRUE/FALSE (any case), or
    two other words, `one` naming the one taken as 1. n: the count of each case, a whole number from 1
    (binomial: trials, y then the proportion that survived; otherwise a weight); None for 1 each.
    covariate: one value per case; labels (a Categorical, or strings) make it categorical, as
    categorical=True does numbers. model: "binomial", "normal" or "poisson". lnlambda: None for the
    recommended choice over the grid (lnlambda_min, lnlambda_max, grid_points), then a fit at it; a
    number for one fit at that ln(lambda). Options: categorical, lnlambda_min, lnlambda_max,
    grid_points, fit_recommended, criterion, bootstrap, bootstrap_lambda, seed, maxit, stop, workers.

    Cases with a missing value in a used column are left out, with a warning saying how many. A
    refused analysis raises TrovError. Returns a Fitness.

    Several traits: x a 2-D array (its columns, named x1, x2, ... unless `names` names them), a
    DataFrame or dict of columns (their names), a sequence of columns, or column names of `data`; the
    additive function (one smooth per trait, at most `knots` knots each, default 20) or, surface=True,
    a surface of two traits (at most `surface_knots` knots per trait, default 8), every lambda chosen by
    REML (lnlambda= fixes them all). covariate: one column, or several (a 2-D array, DataFrame, dict,
    sequence of columns or column names of `data`); labels are categorical, numbers continuous unless
    categorical=True (every covariate) or categorical= names the covariates taken as levels. Options:
    bootstrap, bootstrap_type, bootstrap_lambda, seed, workers, criterion (reml only). Returns a
    TraitsFit. One column is one trait, as above.
    """
    from ._traits import fitness_of_traits, trait_columns  # _traits builds on this module's helpers

    several = trait_columns(x, data, names)
    if several is not None and len(several[1]) > 1:
        return fitness_of_traits(*several, y, n, covariate, model, lnlambda, data, one, surface, knots,
                                 surface_knots, options)
    if surface:
        raise ValueError("a surface takes exactly two traits")
    if knots is not None or surface_knots is not None:
        raise TypeError("knots and surface_knots are for several traits: one trait's spline has a knot at "
                        "every distinct value")
    if several is not None:
        x = several[1][0]
    settings, workers, categorical = _settings(model, lnlambda, options)
    arrays, labels = _columns({"x": x, "y": y, "n": n, "covariate": covariate}, data, one,
                              {"covariate": categorical})
    labels = labels.get("covariate")
    settings.categorical = settings.categorical or labels is not None
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
        return list(traits), [_column(data, name, "traits") for name in traits]
    array = np.asarray(traits, dtype=float)
    if array.ndim != 2:
        raise ValueError(f"traits must be a table of columns (a 2-D array or a DataFrame), not {array.shape}")
    return list(range(array.shape[1])), list(array.T)


def _own_cases(x, y, n, covariate):
    """A trait's column and the shared columns without the cases that miss the trait."""
    own = ~np.isnan(x)
    return (x[own], *(a[own] if a.size else a for a in (y, n, covariate)))


def _analyse_serially(traits_array, shared, settings, workers, progress):
    """The outcomes of the traits (rows) in order: the complete ones by the library's analyse_many, the
    others one by one without their own missing cases."""
    total = len(traits_array)
    complete = ~np.isnan(traits_array).any(axis=1)
    told = None if progress is None else (lambda done, _: progress(done, total))
    outcomes = dict(zip(np.flatnonzero(complete),
                        _core.analyse_many(list(traits_array[complete]), *shared, settings, workers, told)))
    for done, k in enumerate(np.flatnonzero(~complete), start=int(complete.sum()) + 1):
        outcomes[k] = _core.analyse(*_own_cases(traits_array[k], *shared), settings, workers)
        if progress is not None:
            progress(done, total)
    return [outcomes[k] for k in range(total)]


def fitness_many(traits, y, n=None, covariate=None, model="binomial", lnlambda=None, *, data=None, one=None,
                 errors="warn", client=None, progress=None, **options):
    """The fitness function of each of many traits against one response: each trait analysed on its own
    exactly as fitness(trait, y, n, covariate, ...) would, the traits spread over the workers, or over
    the workers of a dask.distributed cluster (client: its Client; the package trov installed on each).

    traits: a DataFrame (its columns), a dict of columns, a 2-D array (its columns, named 0, 1, ...) or
    column names of `data`. The other arguments and options are those of fitness; with a client,
    `workers` is the threads of each trait's analysis, 1 unless given. progress: None, or a callable
    progress(done, total) called as traits finish. Cases that miss y, n or the covariate are left out of
    every trait; a trait's own missing values only out of that trait.
    Returns a dict: trait name -> Fitness, or the error of a trait that gave none (a TrovError where the
    library refused it; on a cluster also the exception of a worker that failed), with a warning saying
    how many (errors="warn"), unless errors="raise", which raises the first.
    """
    if errors not in ("warn", "raise"):
        raise ValueError(f'errors must be "warn" or "raise", not {errors!r}')
    if progress is not None and not callable(progress):
        raise TypeError(f"progress must be a callable progress(done, total) or None, not {progress!r}")
    if client is not None:
        options = {"workers": 1, **options}  # the cluster runs the traits side by side, each on one thread
    settings, workers, categorical = _settings(model, lnlambda, options)
    names, columns = _traits(traits, data)
    trait_keys = [f"trait {name!r}" for name in names]
    given = {"y": y, "n": n, "covariate": covariate, **dict(zip(trait_keys, columns))}
    arrays, labels = _columns(given, data, one, {"covariate": categorical})
    labels = labels.get("covariate")
    settings.categorical = settings.categorical or labels is not None
    shared = {name: arrays[name] for name in ("y", "n", "covariate") if name in arrays}
    traits_array = np.array([arrays[key] for key in trait_keys]).reshape(len(names), len(shared["y"]))
    keep = ~np.logical_or.reduce([np.isnan(a) for a in shared.values()])
    if not keep.all():
        warnings.warn(f"{int((~keep).sum())} of {keep.size} cases left out of every trait for missing values "
                      "of the response, counts or covariate", stacklevel=2)
    shared = {name: a[keep] for name, a in shared.items()}
    traits_array = traits_array[:, keep]
    shared = tuple(shared.get(name, _NONE) for name in ("y", "n", "covariate"))

    incomplete = int(np.isnan(traits_array).any(axis=1).sum())
    if incomplete:
        warnings.warn(f"{incomplete} of {len(names)} traits miss values: each is analysed without its "
                      "cases that miss it", stacklevel=2)
    if client is None:
        outcomes = _analyse_serially(traits_array, shared, settings, workers, progress)
    else:
        from ._cluster import analyse_on_cluster

        call = {"model": model, "lnlambda": lnlambda, "options": {**options, "categorical": settings.categorical}}
        outcomes = analyse_on_cluster(client, traits_array, shared, call, progress)

    description = {"settings": settings, "levels": labels}
    results = {name: _outcome(outcomes[k], description) for k, name in enumerate(names)}
    failed = [name for name, r in results.items() if isinstance(r, Exception)]
    if failed and errors == "raise":
        raise results[failed[0]]
    if failed:
        warnings.warn(f"{len(failed)} of {len(names)} traits gave no analysis (their values are their errors): "
                      f"{', '.join(map(str, failed[:10]))}{' ...' if len(failed) > 10 else ''}", stacklevel=2)
    return results
