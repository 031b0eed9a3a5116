#!/usr/bin/python3
"""Coverage of the bootstrap's 95% percentile limits of the selection gradients, and the size of their
tests, by simulation through the Python package (scripts/install-python.sh, or PYTHONPATH).

Each data set: n trait values z ~ N(0, 1) and responses of one scenario:
  binomial-null      survival with P = 0.62 whatever z (no selection: beta = gamma = 0)
  binomial-selected  survival with logit P = 0.5 - 0.5 z^2
  poisson            counts with log mu = 0.5 + 0.3 z - 0.15 z^2
  negative-binomial  the same means, counts of a negative binomial of size 2 (variance mu + mu^2 / 2)
trov.fitness chooses lambda by REML over its grid and bootstraps the fit there, as a user's analysis
does (--bootstrap-lambda fixed or reselected, --bootstrap-type parametric or cases). The true gradients
are the definition's over the same z: with W(z) the true mean fitness, beta = mean W'(z_i) / mean W and
gamma = mean W''(z_i) / mean W; the regression estimates' truths are the same regression of the true
relative fitness W(z_i) / mean W on the standardized z and z^2 / 2. A data set's limits cover when
lower <= true <= upper; a test rejects when p < 0.05 (a gamma without P, at the linear limit, does not).

  scripts/coverage_simulation.py --scenario binomial-null --datasets 300 --replicates 199
  scripts/coverage_simulation.py --scenario poisson --bootstrap-type cases

Prints one line per gradient: coverage and rejection rate, each with its Monte Carlo standard error.
"""
import argparse
import math
from concurrent.futures import ProcessPoolExecutor

import numpy as np

import trov

GRADIENTS = ("beta", "gamma", "lande_arnold_beta", "lande_arnold_gamma")


def truth(z, scenario):
    """The true gradients given these z: beta, gamma, and the regression's two."""
    if scenario == "binomial-null":
        eta, slope, curvature = np.full_like(z, math.log(0.62 / 0.38)), 0 * z, 0.0
    elif scenario == "binomial-selected":
        eta, slope, curvature = 0.5 - 0.5 * z**2, -z, -1.0
    else:
        eta, slope, curvature = 0.5 + 0.3 * z - 0.15 * z**2, 0.3 - 0.3 * z, -0.3
    if scenario.startswith("binomial"):
        mu = 1 / (1 + np.exp(-eta))
        first, second = mu * (1 - mu), mu * (1 - mu) * (1 - 2 * mu)
    else:
        mu = np.exp(eta)
        first = second = mu
    w = mu.mean()
    beta = (first * slope).mean() / w
    gamma = (second * slope**2 + first * curvature).mean() / w
    zs = (z - z.mean()) / z.std(ddof=1)
    design = np.column_stack([np.ones_like(zs), zs, zs**2 / 2])
    coefficients = np.linalg.lstsq(design, mu / w, rcond=None)[0]
    return mu, dict(zip(GRADIENTS, (beta, gamma, coefficients[1], coefficients[2])))


def one_data_set(args):
    scenario, n, replicates, lambda_mode, kind, seed = args
    rng = np.random.default_rng(seed)
    z = rng.standard_normal(n)
    mu, true = truth(z, scenario)
    if scenario.startswith("binomial"):
        y, model = (rng.uniform(size=n) < mu).astype(float), "binomial"
    elif scenario == "poisson":
        y, model = rng.poisson(mu).astype(float), "poisson"
    else:
        y, model = rng.negative_binomial(2, 2 / (2 + mu)).astype(float), "poisson"
    fit = trov.fitness(z, y, model=model, bootstrap=replicates, bootstrap_lambda=lambda_mode,
                       bootstrap_type=kind, seed=int(seed % 2147483646) + 1, workers=1)
    if fit.lnlambda is None or not fit.converged:
        return None
    g = fit.gradients()
    row = {"dispersion": fit.dispersion, "linear": g["linear_limit"]}
    for name in GRADIENTS:
        e = g[name]
        row[name + "_cover"] = e.lower <= true[name] <= e.upper
        row[name + "_reject"] = bool(np.isfinite(e.p) and e.p < 0.05)
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scenario", default="binomial-null",
                        choices=["binomial-null", "binomial-selected", "poisson", "negative-binomial"])
    parser.add_argument("--datasets", type=int, default=300)
    parser.add_argument("--replicates", type=int, default=199)
    parser.add_argument("--cases", type=int, default=300)
    parser.add_argument("--bootstrap-lambda", default="reselected", choices=["fixed", "reselected"])
    parser.add_argument("--bootstrap-type", default="parametric", choices=["parametric", "cases"])
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--seed", type=int, default=20261209)
    a = parser.parse_args()
    work = [(a.scenario, a.cases, a.replicates, a.bootstrap_lambda, a.bootstrap_type, a.seed + k)
            for k in range(a.datasets)]
    with ProcessPoolExecutor(a.jobs) as pool:
        rows = [r for r in pool.map(one_data_set, work, chunksize=4) if r is not None]
    m = len(rows)
    print(f"{a.scenario}, lambda {a.bootstrap_lambda}, {a.bootstrap_type} bootstrap: {m} data sets of "
          f"{a.cases} cases, {a.replicates} replicates; linear limit in {sum(r['linear'] for r in rows)}; "
          f"median dispersion {np.nanmedian([r['dispersion'] for r in rows]):.3g}")
    for name in GRADIENTS:
        cover = np.mean([r[name + "_cover"] for r in rows])
        reject = np.mean([r[name + "_reject"] for r in rows])
        print(f"  {name:20} coverage {cover:.3f} (se {math.sqrt(cover * (1 - cover) / m):.3f})"
              f"  P < 0.05 in {reject:.3f} (se {math.sqrt(reject * (1 - reject) / m):.3f})")


if __name__ == "__main__":
    main()
