"""The result of an analysis, and the error of a refused one."""

import json
import textwrap
from collections import namedtuple

import numpy as np

from . import _core

Estimate = namedtuple("Estimate", "value se p lower upper")  # se, p and the 95% limits from the bootstrap
# location: trait -> Estimate, height an Estimate; both None unless the peak lies inside the data
Peak = namedtuple("Peak", "inside location height replicates")


def peak_of(raw, names):
    """The library's peak as a Peak, its location keyed by the traits' names."""
    inside = raw["inside"]
    return Peak(inside, dict(zip(names, (Estimate(*e) for e in raw["location"]))) if inside else None,
                Estimate(*raw["height"]) if inside else None, raw["replicates"])

# limit: "", or "linear", "interpolating" or "separating" where the search reached a straight line,
# interpolation, or fits that separate
Minimum = namedtuple("Minimum", "criterion lnlambda score edf limit")
Recommended = namedtuple("Recommended", "criterion lnlambda edf limit text")
Bootstrap = namedtuple("Bootstrap",
                       "replicates type degenerate not_converged failed_refits converged_failed lnlambda")

_NONE = np.empty(0)
_GRADIENTS = ("beta", "gamma", "beta_standardized", "gamma_standardized", "beta_mean_standardized",
              "gamma_mean_standardized", "lande_arnold_beta", "lande_arnold_gamma")


class TrovError(Exception):
    """An analysis the library refused: `code` the number of its kind (trov::api::ErrorCode, e.g. 7:
    fewer than 4 distinct X) and `text` the message."""

    def __init__(self, code, text):
        super().__init__(f"{text} (trov error {code}: {_core.error_text(code)})")
        self.code, self.text = code, text

    def __reduce__(self):  # pickled by its code and text (an Exception is by its message alone)
        return TrovError, (self.code, self.text)


def _table(columns, what):
    try:
        import pandas
    except ImportError:
        message = f"to_frame({what!r}) needs pandas (Debian: apt-get install python3-pandas)"
        raise ImportError(message) from None
    return pandas.DataFrame(columns)


class Fitness:
    """The analysis of one trait.

    Attributes: model, criterion; cases, observations (the sum of the counts), n_points; grid (dict of arrays,
    one entry per ln(lambda): the classic fit's classic_edf, classic_gcv, classic_ocv,
    classic_iterations, the converged fit's converged_ok, edf, gcv, ocv, ubre, reml, ml, deviance, and
    largest_difference between them; None for one lambda); minima (criterion -> Minimum, refined
    between the grid's lambdas); recommended (a Recommended with its sentence, None for one lambda);
    lnlambda, edf, converged of the fit (None without one); points (dict of arrays, one entry per point
    of cases pooled by equal X and covariate: x, covariate, n, y, fitted, eta, classic_fitted, and the
    bootstrap band lower, upper); coefficients (the covariate's: intercept and slope of a continuous
    one; of a categorical one a dict, level -> its effect on the linear predictor relative to the first
    level, the levels in the order of `levels`, else of their values); peak (a Peak: the converged
    curve's highest point where it lies inside the trait's range, above the fitness at both ends, its
    location {"x": Estimate} and height with their bootstrap spread over the `replicates` whose own curve
    has one; None without a converged fit); bootstrap (a Bootstrap or None);
    levels (the labels of a covariate given as labels, in their order: a Categorical's categories, else
    sorted; its codes 0, 1, ... in points); warnings (lines "kind: words"); report (the trov.json
    document, as a dict; report_text its text).
    """

    def __init__(self, raw, settings, levels=None):
        self.model, self.criterion = settings.model.name, settings.criterion.name
        self.categorical, self.levels = settings.categorical, levels
        self._fit_recommended = settings.fit_recommended
        self.cases, self.observations, self.n_points = raw["cases"], raw["observations"], raw["points"]
        self.grid = raw["grid"] if len(raw["grid"]["lnlambda"]) else None
        self.minima = {m["criterion"]: Minimum(**m) for m in raw["minima"]}
        self.recommended = Recommended(**raw["recommended"]) if raw["recommended"] else None
        fit = raw["fit"] or {}
        self.lnlambda, self.edf, self.converged = fit.get("lnlambda"), fit.get("edf"), fit.get("converged_ok")
        self.dispersion = fit.get("dispersion")  # Pearson's (NaN where the model has none)
        self.points, self.coefficients = fit.get("points"), fit.get("coefficients")
        # the covariate as the library's predict takes it: coefficients, level values, level effects
        self._covariate_terms = tuple(fit.get(key, _NONE) for key in ("coefficients", "level_values",
                                                                       "level_effects"))
        # a categorical covariate's level values (as the engine took them) and effects
        self._level_effect = dict(zip(fit.get("level_values", []), fit.get("level_effects", [])))
        if self.categorical and fit:
            self.coefficients = {self._label(value): effect for value, effect in self._level_effect.items()}
        self.bootstrap = Bootstrap(**fit["bootstrap"]) if fit.get("bootstrap") else None
        self._gradients = fit.get("gradients")
        # the converged curve's peak inside the data (None without a converged fit)
        self.peak = peak_of(fit["peak"], ["x"]) if fit.get("peak") else None
        self.warnings = list(raw["warnings"])
        self.report_text = raw["report"]
        self._report = None

    @property
    def report(self):
        if self._report is None:
            self._report = json.loads(self.report_text)
        return self._report

    def _label(self, value):
        return self.levels[int(value)] if self.levels is not None else float(value)

    def _need_fit(self, what):
        """Why there is no fit at one lambda, for `what`, which needs one."""
        if self.points is not None:
            return
        if not self._fit_recommended:
            why = "this analysis is a grid only (fit_recommended=False)"
        elif not self.grid["converged_ok"].any():
            why = ("the converged fit failed at every ln(lambda) of the grid (as it does where a straight "
                   "line separates the responses 0 from 1), so no lambda is recommended and none was fitted")
        else:
            why = "the criterion found no lambda to recommend (see warnings), so none was fitted"
        raise ValueError(f"{what} needs a fit at one lambda: {why}")

    def _fitted(self, what):
        self._need_fit(what)
        if self._gradients is None:
            raise ValueError(f"the converged fit at ln(lambda) = {self.lnlambda:g} failed")
        return self.points

    def gradients(self):
        """The selection gradients of the fitted function: name -> Estimate(value, se, p, lower, upper),
        se, p and the 95% limits NaN without a bootstrap; mean_fitness, trait_mean, trait_sd, and the
        classic fit's classic_beta, classic_gamma as numbers."""
        self._fitted("gradients")
        g = dict(self._gradients)
        for name in _GRADIENTS:
            g[name] = Estimate(*g[name])
        return g

    def _engine_covariate(self, covariate, shape):
        """Covariate values given to predict as the engine takes them: numbers, or the fit's labels as
        their codes; a level the fit does not know is refused, a missing one gives NaN."""
        if not self.categorical:
            return np.broadcast_to(np.asarray(covariate, float), shape)
        labelled = self.levels is not None
        given = np.broadcast_to(np.asarray(covariate, dtype=object if labelled else float), shape)
        code_of = ({label: float(k) for k, label in enumerate(self.levels)} if labelled
                   else {v: v for v in self._level_effect})
        codes, unknown = [], set()
        for v in given.ravel():
            code = code_of.get(v)
            if code in self._level_effect:
                codes.append(code)
            elif v is None or (isinstance(v, float) and v != v):
                codes.append(np.nan)
            else:  # no level, or one without cases
                unknown.add(str(v))
        if unknown:
            known = ", ".join(map(str, self.coefficients))
            raise ValueError(f"covariate values that are no level of the fit: {', '.join(sorted(unknown)[:5])} "
                             f"(its levels: {known})")
        return np.array(codes, dtype=float).reshape(shape)

    def predict(self, x, covariate=None, scale="response"):
        """The fitted function at trait values x: the natural cubic spline through the converged fit's
        linear predictor at the distinct X (the smoothing spline itself, linear beyond the end values, its
        limit at infinite x), plus the covariate effect of `covariate` (one value per x, as the fit took
        them: numbers, or its labels; None: the case-weighted mean effect of the data), through the
        inverse link (scale="response") or not (scale="link")."""
        if scale not in ("response", "link"):
            raise ValueError(f'scale must be "response" or "link", not {scale!r}')
        p = self._fitted("predict")
        x = np.asarray(x, dtype=float)
        at_covariate = _NONE
        if covariate is not None:
            if not len(self.coefficients):
                raise ValueError("this fit has no covariate")
            at_covariate = self._engine_covariate(covariate, x.shape).ravel()
        eta, mean = _core.predict(_core.Model.__members__[self.model], p["x"], p["covariate"], p["n"], p["eta"],
                                  *self._covariate_terms, x.ravel(), at_covariate)
        return (eta if scale == "link" else mean).reshape(x.shape)

    def to_frame(self, what="points"):
        """A pandas DataFrame of the fitted points ("points"), the grid ("grid") or the gradients
        ("gradients", one row each)."""
        if what == "points":
            self._need_fit('to_frame("points")')
            return _table(self.points, what)
        if what == "grid":
            if self.grid is None:
                raise ValueError("this analysis ran at one lambda: it has no grid")
            return _table(self.grid, what)
        if what == "gradients":
            g = self.gradients()
            columns = {field: [g[name][k] for name in _GRADIENTS] for k, field in enumerate(Estimate._fields)}
            frame = _table(columns, what)
            frame.index = _GRADIENTS
            return frame
        raise ValueError(f'what must be "points", "grid" or "gradients", not {what!r}')

    def summary(self):
        """The analysis in a few lines of text: data, how lambda was chosen, the fit, the gradients,
        the warnings."""
        lines = [f"trov: {self.model} model, {self.cases} cases ({self.observations:g} observations) in "
                 f"{self.n_points} points"]
        if self.grid is not None:
            g = self.grid["lnlambda"]
            chosen = self.recommended.text if self.recommended else "no converged fit to recommend"
            lines += textwrap.wrap(f"grid of {len(g)} ln(lambda) from {g[0]:g} to {g[-1]:g}: {chosen}", 100,
                                   subsequent_indent="  ")
        if self.lnlambda is not None:
            state = "converged" if self.converged else "the converged fit FAILED"
            lines.append(f"fit at ln(lambda) = {self.lnlambda:.6g}: {self.edf:.4g} effective parameters, "
                         + state)
        if self._gradients is not None:
            g = self.gradients()
            lines.append(f"selection gradients (mean fitness {g['mean_fitness']:.4g}, trait mean "
                         f"{g['trait_mean']:.4g}, sd {g['trait_sd']:.4g}):")
            lines.append(f"  {'':24}{'value':>11}{'se':>11}{'p':>11}{'lower':>11}{'upper':>11}")
            for name in _GRADIENTS:
                lines.append(f"  {name:24}" + "".join(f"{v:11.4g}" for v in g[name]))
            if g["linear_limit"]:
                lines.append("  gamma reflects the link alone: the fit is a straight line on the link scale (no "
                             "curvature was found), so it has no P; report beta")
        if self.dispersion is not None and np.isfinite(self.dispersion):
            over = ": overdispersed; bootstrap the cases (bootstrap_type='cases')" if self.dispersion > 1.5 else ""
            lines.append(f"Pearson dispersion {self.dispersion:.4g}{over}")
        lines += ["warnings:"] + [f"  {w}" for w in self.warnings] if self.warnings else []
        return "\n".join(lines)

    def __repr__(self):
        fit = f"fit at ln(lambda) = {self.lnlambda:.4g}" if self.lnlambda is not None else "no fit"
        chosen = f"; {self.recommended.text}" if self.recommended else ""
        return f"<trov.Fitness: {self.model}, {self.cases} cases, {fit}{chosen}>"

    def plot(self, ax=None):
        """The data, the fitted function and its bootstrap band (matplotlib) on the Axes `ax` (None: the
        current Axes of pyplot); returns the Axes."""
        p = self._fitted("plot")
        if ax is None:
            import matplotlib.pyplot as plt  # only here: trov itself needs no matplotlib

            ax = plt.gca()
        ax.scatter(p["x"], p["y"], s=8 * np.sqrt(p["n"]), color="0.6", label="data")
        grid = np.linspace(p["x"].min(), p["x"].max(), 400)
        ax.plot(grid, self.predict(grid), color="C0", label=f"fit, ln(lambda) = {self.lnlambda:.3g}")
        if not np.isnan(p["lower"]).all():
            ax.fill_between(p["x"], p["lower"], p["upper"], color="C0", alpha=0.2,
                            label="bootstrap band (1 se)")
        ax.set_xlabel("trait")
        ax.set_ylabel("fitness")
        ax.legend()
        return ax
