"""fitness of several traits: the tables of traits and covariates a user gives, as the library's
analyse_traits takes them."""

import operator
from collections.abc import Mapping

import numpy as np

from . import _core
from ._fitness import _NONE, _column, _columns, _drop_missing, _settings
from ._result import TrovError
from ._traits_result import TraitsFit

# options of one trait's analysis that several traits have not: their lambdas are REML's alone
_ONE_TRAIT_ONLY = ("lnlambda_min", "lnlambda_max", "grid_points", "fit_recommended", "classic", "maxit", "stop")


def _is_table(values):
    return hasattr(values, "columns") and hasattr(values, "iloc")


def _is_column_list(values):
    """A list or tuple whose items are columns (not the values of one column)."""
    return isinstance(values, (list, tuple)) and len(values) > 0 and all(np.ndim(v) == 1 for v in values)


def _named_columns(values, data, single, several):
    """A table's names and columns: a DataFrame's, a mapping's, column names of `data`, a 2-D array's
    columns or a sequence of columns (named several(k) for k = 1, 2, ...); None for one column."""
    if _is_table(values):
        return [str(c) for c in values.columns], [values[c] for c in values.columns]
    if isinstance(values, Mapping):
        return [str(c) for c in values], list(values.values())
    if isinstance(values, (list, tuple)) and values and all(isinstance(v, str) for v in values):
        if data is not None:
            return list(values), [_column(data, name, single) for name in values]
        return None  # words: one column of labels
    if isinstance(values, np.ndarray) and values.ndim == 2:
        return [several(k + 1) for k in range(values.shape[1])], list(values.T)
    if isinstance(values, np.ndarray) and values.ndim > 2:
        raise ValueError(f"{single} must be a column or a table of columns, not an array of shape {values.shape}")
    if _is_column_list(values):
        return [several(k + 1) for k in range(len(values))], list(values)
    if isinstance(values, (list, tuple)) and any(np.ndim(v) > 0 for v in values):
        raise ValueError(f"{single} mixes columns and single values: give one column, or a sequence of columns")
    return None


def trait_columns(x, data, names):
    """The traits' names and columns where x is a table of traits (a column of it one trait), else None;
    `names` (one per trait) replaces theirs."""
    found = None if isinstance(x, str) else _named_columns(x, data, "x", lambda k: f"x{k}")
    if found is None:
        if names is not None and len(list(names)) != 1:
            raise ValueError(f"names gives {len(list(names))} names for one trait")
        return None
    given, columns = found
    if not columns:
        raise ValueError("x has no trait: give at least one column")
    if names is not None:
        names = [str(name) for name in names]
        if len(names) != len(columns):
            raise ValueError(f"names gives {len(names)} names for {len(columns)} traits")
        given = names
    return given, columns


def _covariate_columns(covariate, data):
    """The covariates' names and columns: None for none, one column, or a table of them."""
    if covariate is None:
        return [], []
    if isinstance(covariate, str):
        return [covariate], [_column(data, covariate, "covariate")]
    found = _named_columns(covariate, data, "covariate", lambda k: f"covariate{k}")
    if found is not None:
        return found
    name = getattr(covariate, "name", None)
    return [name if isinstance(name, str) and name else "covariate"], [covariate]


def _categorical_asked(categorical, names):
    """Each covariate's `categorical` as asked: None (by its kind), True or False for all, or the names of
    those taken as levels (the others by their kind)."""
    if categorical is None or isinstance(categorical, (bool, np.bool_)):
        return {name: None if categorical is None else bool(categorical) for name in names}
    chosen = [categorical] if isinstance(categorical, str) else list(categorical)
    unknown = [c for c in chosen if c not in names]
    if unknown:
        raise ValueError(f"categorical names {', '.join(map(repr, unknown))}, which is no covariate "
                         f"(the covariates: {', '.join(map(repr, names)) or 'none'})")
    return {name: True if name in chosen else None for name in names}


def _shape(surface, knots, surface_knots):
    shape = _core.TraitsModel()
    shape.surface = bool(surface)
    for key, value in (("knots", knots), ("surface_knots", surface_knots)):
        if value is not None:
            setattr(shape, key, operator.index(value))  # a whole number: 7.5 knots is a mistake
    return shape


def fitness_of_traits(names, columns, y, n, covariate, model, lnlambda, data, one, surface, knots, surface_knots,
                      options):
    """fitness(...) of several traits (see fitness); a TraitsFit."""
    options = dict(options)
    categorical = options.pop("categorical", None)
    one_trait = [key for key in _ONE_TRAIT_ONLY if key in options]
    if one_trait:
        raise TypeError(f"{', '.join(one_trait)} apply to one trait: several traits' lambdas are chosen by REML "
                        "(lnlambda= fixes them all)")
    settings, workers, _ = _settings(model, lnlambda, options)
    shape = _shape(surface, knots, surface_knots)
    covariate_names, covariate_values = _covariate_columns(covariate, data)
    if len(set(covariate_names)) != len(covariate_names):
        raise ValueError(f"the covariates' names must differ: {', '.join(covariate_names)}")
    asked = _categorical_asked(categorical, covariate_names)

    # keys of their own, so that a trait or covariate may be called y or n
    trait_keys = [f"trait {name}" for name in names]
    covariate_keys = [f"covariate {name}" for name in covariate_names]
    given = {"y": y, "n": n, **dict(zip(trait_keys, columns)), **dict(zip(covariate_keys, covariate_values))}
    arrays, labels = _columns(given, data, one,
                              {key: asked[name] for key, name in zip(covariate_keys, covariate_names)})
    arrays = _drop_missing(arrays, stacklevel=4)
    covariates = [(name, arrays[key], labels[key] is not None or bool(asked[name]))
                  for key, name in zip(covariate_keys, covariate_names)]
    outcome = _core.analyse_traits([arrays[key] for key in trait_keys], list(names), arrays["y"],
                                   arrays.get("n", _NONE), covariates, settings, shape, workers)
    if isinstance(outcome, tuple):
        raise TrovError(*outcome)
    levels = {name: labels[key] for key, name in zip(covariate_keys, covariate_names) if labels[key] is not None}
    return TraitsFit(outcome, settings, names, np.column_stack([arrays[key] for key in trait_keys]), arrays["y"],
                     arrays.get("n"), levels)
