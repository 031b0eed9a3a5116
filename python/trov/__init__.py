"""trov: fitness functions, how survival or reproduction depends on a trait, estimated by a cubic
smoothing spline in a normal, binomial or Poisson model, with the smoothing chosen by REML (or ML, GCV,
UBRE, OCV), an optional covariate, a bootstrap and the selection gradients; or on several traits at
once (additive, or a surface of two), their lambdas by REML.

    import trov
    fit = trov.fitness(x, y)                # binomial, lambda chosen by REML over the default grid
    print(fit.summary())
    fit.predict([20, 25, 30])               # the fitted fitness at new trait values
    both = trov.fitness(table[["wing", "tarsus"]], table["survived"])   # two traits: a TraitsFit
"""

from ._fitness import fitness, fitness_many
from ._result import Bootstrap, Estimate, Fitness, Minimum, Peak, Recommended, TrovError
from ._traits_result import Smooth, TraitsBootstrap, TraitsFit
from ._version import __version__  # the R package's (r/DESCRIPTION), written by setup.py

__all__ = ["__version__", "fitness", "fitness_many", "Fitness", "TrovError", "Estimate", "Minimum", "Recommended",
           "Bootstrap", "TraitsFit", "Smooth", "Peak", "TraitsBootstrap"]
