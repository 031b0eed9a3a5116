"""trov: fitness functions, how survival or reproduction depends on a trait, estimated by a cubic
smoothing spline in a normal, binomial or Poisson model, with the smoothing chosen by REML (or ML, GCV,
UBRE, OCV), an optional covariate, a bootstrap and the selection gradients.

    import trov
    fit = trov.fitness(x, y)                # binomial, lambda chosen by REML over the default grid
    print(fit.summary())
    fit.predict([20, 25, 30])               # the fitted fitness at new trait values
"""

from ._fitness import fitness, fitness_many
from ._result import Bootstrap, Estimate, Fitness, Minimum, Recommended, TrovError
from ._version import __version__  # the R package's (r/DESCRIPTION), written by setup.py

__all__ = ["__version__", "fitness", "fitness_many", "Fitness", "TrovError", "Estimate", "Minimum", "Recommended",
           "Bootstrap"]
