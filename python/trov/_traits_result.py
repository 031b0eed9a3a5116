"""The result of an analysis of several traits."""

from collections import namedtuple

import numpy as np

from ._result import Estimate, peak_of

# curve: dict of arrays x, fitted, lower, upper (the fitness along the trait, the others at their mean)
Smooth = namedtuple("Smooth", "name edf lnlambda linear curve")
# its type: parametric or cases; lambdas: reselected (each replicate's by REML) or fixed (the data's)
TraitsBootstrap = namedtuple("TraitsBootstrap", "replicates type lambdas degenerate failed")

# the suffixes of the gradients' families, in the order gradients() gives them (Lande and Arnold's last)
_FAMILIES = ("", "_standardized", "_mean_standardized")


def _estimates(rows):
    """Estimates of the library's rows (value, se, p, lower, upper)."""
    return [Estimate(*row) for row in rows]


class TraitsFit:
    """The analysis of several traits (fitness with a table of traits).

    Attributes: model, names (the traits'), shape ("additive" or "surface"), cases, observations (the sum
    of the counts), edf (the whole model's: intercept, covariates' columns and every smooth's), reml
    (minus the restricted log likelihood), deviance, scale (the normal model's residual variance, else
    1), reml_iterations; intercept, coefficients (covariate column -> coefficient: "name" of a continuous
    one, "name[level]" per level after the first of a categorical one); per case analysed (the cases
    without missing values, in order): x (cases x traits), y, n, eta, fitted; lnlambda (per smooth: per
    trait, or the surface's two directions); smooths (additive: a Smooth per trait); surface (None, or a
    dict: names, lnlambda, edf, grid_a, grid_b, and fitted with fitted[j, i] at grid_a[i], grid_b[j]);
    peak (a Peak); bootstrap (a TraitsBootstrap or None); levels (covariate -> its labels, for those given
    as labels); warnings (lines "kind: words").
    """

    def __init__(self, raw, settings, names, x, y, n, levels):
        self.model = settings.model.name
        self.names = list(names)
        self.shape = "surface" if raw["surface"] is not None else "additive"
        self.cases, self.observations = raw["cases"], raw["observations"]
        self.edf, self.reml, self.deviance = raw["edf"], raw["reml"], raw["deviance"]
        self.scale, self.reml_iterations = raw["scale"], raw["reml_iterations"]
        self.x, self.y = x, y
        self.n = np.ones(len(y)) if n is None else n
        self.eta, self.fitted = raw["eta"], raw["fitted"]
        self.intercept, self.levels = raw["intercept"], levels
        # a labelled covariate's levels come back as their codes: "site[1]" is "site[south]"
        label = {f"{name}[{code}]": f"{name}[{level}]" for name, labels in levels.items()
                 for code, level in enumerate(labels)}
        self.coefficients = {label.get(name, name): value
                             for name, value in zip(raw["coefficient_names"], raw["coefficients"])}
        self.smooths = [Smooth(s["name"], s["edf"], float(np.log(s["lambda"])), s["linear"], s["curve"])
                        for s in raw["smooths"]]
        self.surface = None
        if raw["surface"] is not None:
            s = raw["surface"]
            self.surface = {"names": list(s["names"]), "lnlambda": np.log(s["lambda"]), "edf": s["edf"],
                            "grid_a": s["grid_a"], "grid_b": s["grid_b"],
                            "fitted": s["grid_fitted"].reshape(len(s["grid_b"]), len(s["grid_a"]))}
        self.lnlambda = (self.surface["lnlambda"] if self.surface is not None
                         else np.array([s.lnlambda for s in self.smooths]))
        self.peak = peak_of(raw["peak"], self.names)
        b = raw["bootstrap"]
        self.bootstrap = None if b is None else TraitsBootstrap(b["replicates"], b["type"], b["lambda"],
                                                                b["degenerate"], b["failed"])
        self._gradients = raw["gradients"]
        self.warnings = list(raw["warnings"])

    def gradients(self):
        """The selection gradients of the fitted function and Lande and Arnold's regression estimates:
        name -> Estimate(value, se, p, lower, upper) (se, p and the limits NaN without a bootstrap), in the
        order beta[a] ..., gamma[a,a], gamma[a,b] ... (a before b in the traits' order), then the same for
        the _standardized, the _mean_standardized and the lande_arnold_ ones; also mean_fitness, and
        trait_mean and trait_sd (trait -> value)."""
        g, m = self._gradients, len(self.names)
        pairs = [(a, b) for a in range(m) for b in range(a, m)]
        out = {}
        for family in [f"beta{s}" for s in _FAMILIES] + ["lande_arnold_beta"]:
            gamma = family.replace("beta", "gamma")
            betas, gammas = _estimates(g[family]), _estimates(g[gamma])
            for k, name in enumerate(g["beta_names"]):
                out[family + name[len("beta"):]] = betas[k]
            for a, b in pairs:
                out[gamma + g["gamma_names"][a * m + b][len("gamma"):]] = gammas[a * m + b]
        out["mean_fitness"] = g["mean_fitness"]
        out["trait_mean"] = dict(zip(self.names, g["trait_mean"]))
        out["trait_sd"] = dict(zip(self.names, g["trait_sd"]))
        return out

    def summary(self):
        """The analysis in a few lines of text: the data, the fit and its smooths, the gradients, the peak,
        the warnings."""
        lines = [f"trov: {self.model} model, {self.shape} fitness function of {', '.join(self.names)}: "
                 f"{self.cases} cases ({self.observations:g} observations)",
                 f"lambdas by REML ({self.reml_iterations} Newton steps): {self.edf:.4g} effective parameters, "
                 f"deviance {self.deviance:.6g}"]
        for s in self.smooths:
            lines.append(f"  smooth of {s.name}: edf {s.edf:.4g}, ln(lambda) {s.lnlambda:.4g}"
                         + (" (a straight line)" if s.linear else ""))
        if self.surface is not None:
            lnlambda = ", ".join(f"{v:.4g}" for v in self.surface["lnlambda"])
            lines.append(f"  surface of {', '.join(self.names)}: edf {self.surface['edf']:.4g}, ln(lambda) {lnlambda}")
        lines += [f"  {name} {value:.6g}" for name, value in self.coefficients.items()]
        g = self.gradients()
        estimates = {name: e for name, e in g.items() if isinstance(e, Estimate)}
        width = max(map(len, estimates)) + 1
        lines.append(f"selection gradients (mean fitness {g['mean_fitness']:.4g}):")
        lines.append(f"  {'':{width}}{'value':>11}{'se':>11}{'p':>11}{'lower':>11}{'upper':>11}")
        lines += [f"  {name:{width}}" + "".join(f"{v:11.4g}" for v in e) for name, e in estimates.items()]
        if self.peak.inside:
            where = ", ".join(f"{name} {e.value:.4g}" for name, e in self.peak.location.items())
            lines.append(f"peak at {where}: fitness {self.peak.height.value:.4g}")
        else:
            lines.append("peak: none inside the data")
        lines += ["warnings:"] + [f"  {w}" for w in self.warnings] if self.warnings else []
        return "\n".join(lines)

    def __repr__(self):
        return (f"<trov.TraitsFit: {self.model}, {self.shape} of {', '.join(self.names)}, {self.cases} cases, "
                f"edf {self.edf:.4g}>")

    def plot(self, ax=None):
        """matplotlib: additive, per trait a panel of the data, its curve and the curve's 95% band (ax: as
        many Axes as traits; None: a new figure's), returning the Axes; a surface, a contour map of the
        fitted fitness with the individuals and the peak (ax: one Axes; None: pyplot's current), returning
        it."""
        import matplotlib.pyplot as plt  # only here: trov itself needs no matplotlib

        if self.surface is not None:
            return self._plot_surface(plt.gca() if ax is None else ax)
        if not all(len(s.curve["x"]) for s in self.smooths):
            raise ValueError("this fit has no curves to plot (the library gave none)")
        axes = plt.subplots(1, len(self.names), figsize=(4 * len(self.names), 3.5))[1] if ax is None else ax
        axes = list(np.ravel(axes))
        if len(axes) != len(self.smooths):
            raise ValueError(f"plot needs one Axes per trait ({len(self.smooths)}), not {len(axes)}")
        for axis, smooth, x in zip(axes, self.smooths, self.x.T):
            c = smooth.curve
            axis.scatter(x, self.y, s=8 * np.sqrt(self.n), color="0.6", label="data")
            axis.plot(c["x"], c["fitted"], color="C0", label=f"fit, edf {smooth.edf:.3g}")
            if np.isfinite(c["lower"]).any():
                axis.fill_between(c["x"], c["lower"], c["upper"], color="C0", alpha=0.2, label="95% band")
            axis.set_xlabel(smooth.name)
            axis.set_ylabel("fitness")
        axes[0].legend()
        return axes

    def _plot_surface(self, ax):
        s = self.surface
        filled = ax.contourf(s["grid_a"], s["grid_b"], s["fitted"], levels=12, cmap="viridis")
        ax.figure.colorbar(filled, ax=ax, label="fitness")
        ax.scatter(self.x[:, 0], self.x[:, 1], s=6, color="white", edgecolors="0.2", linewidths=0.3,
                   label="individuals")
        if self.peak.inside:
            a, b = (self.peak.location[name].value for name in self.names)
            ax.plot([a], [b], marker="*", markersize=14, color="red", linestyle="none", label="peak")
        ax.set_xlabel(self.names[0])
        ax.set_ylabel(self.names[1])
        ax.legend()
        return ax
