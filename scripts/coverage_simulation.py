#!/usr/bin/python3
"""Coverage of the bootstrap's 95% percentile limits of the selection gradients, by simulation.

Each data set: n trait values z ~ N(0, 1) and 0/1 survival with logit P = 0.5 - 0.5 z^2. trov40 runs a
grid (ln(lambda) -10..10, 21 rows) to choose lambda, then a fixed run at that ln(lambda) with a
bootstrap. A data set's limits cover when lower <= true <= upper. The true gradients are the
definition's over the same z: with W(z) = logistic(0.5 - 0.5 z^2),
beta = mean W'(z_i) / mean W(z_i) and gamma = mean W''(z_i) / mean W(z_i). The regression estimates
are checked against the same regression of the true relative fitness W(z_i) / mean W on the
standardized z and z^2 / 2 (their value given these z).

  scripts/coverage_simulation.py --engine build/release/bin/trov40 --datasets 200 --replicates 500
  scripts/coverage_simulation.py ... --bootstrap-lambda reselected   # each replicate re-chooses lambda

--lambda-from says where the fixed ln(lambda) comes from: `recommended` (minimum.recommended, by the
criterion of --criterion), or the refined minimum of a converged score (`converged_reml`,
`converged_ml`, `converged_gcv`, `converged_ubre`), or the classic GCV minimum (`gcv`). Each data set's
numbers go to --out (CSV); the coverage, with its Monte Carlo standard error, to standard output. Runs
--jobs engines at once (each engine also uses every processor for its bootstrap).
"""
import argparse
import csv
import json
import math
import os
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

import numpy as np

PARAMETERS = """10
0
0
{nstep}
{lmin}
{lmax}
5
0.005
2
2
{replicates}
{seed}
data.dat
"""


def true_gradients(z):
    """beta, gamma by the gradients' definition, and the regression's value given these z."""
    eta = 0.5 - 0.5 * z**2
    mu = 1 / (1 + np.exp(-eta))
    first, second = mu * (1 - mu), mu * (1 - mu) * (1 - 2 * mu)
    slope, curvature = -z, -1.0
    w = mu.mean()
    beta = (first * slope).mean() / w
    gamma = (second * slope**2 + first * curvature).mean() / w
    zs = (z - z.mean()) / z.std(ddof=1)
    design = np.column_stack([np.ones_like(zs), zs, zs**2 / 2])
    coefficients = np.linalg.lstsq(design, mu / w, rcond=None)[0]
    return beta, gamma, coefficients[1], coefficients[2]


def run_engine(engine, folder, parameters):
    with open(os.path.join(folder, "trov.in"), "w") as f:
        f.write(parameters)
    with open(os.path.join(folder, "trov.in")) as stdin:
        done = subprocess.run([engine], stdin=stdin, cwd=folder, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"trov40 failed in {folder}: {done.stdout[-500:]}")
    with open(os.path.join(folder, "trov.json")) as f:
        return json.load(f)


def chosen_lnlambda(report, source):
    minimum = report.get("minimum") or {}
    if source == "recommended":
        if minimum.get("recommended") is None:
            raise RuntimeError("trov.json has no minimum.recommended: this engine cannot choose by it")
        return minimum["recommended"]["lnlambda"]
    entry = minimum.get(source)
    if entry is None:
        raise RuntimeError(f"trov.json has no minimum.{source}")
    refined = entry.get("refined")
    return refined["lnlambda"] if refined else entry["lnlambda"]


def one_data_set(args, index):
    rng = np.random.default_rng(args.seed + index)
    z = rng.standard_normal(args.n)
    y = (rng.random(args.n) < 1 / (1 + np.exp(-(0.5 - 0.5 * z**2)))).astype(int)
    beta, gamma, la_beta, la_gamma = true_gradients(z)
    with tempfile.TemporaryDirectory(prefix="trov_coverage_") as folder:
        with open(os.path.join(folder, "data.dat"), "w") as f:
            f.writelines(f"{v} {x:.15g}\n" for v, x in zip(y, z))
        options = f"criterion = {args.criterion}\nbootstrap_lambda = {args.bootstrap_lambda}\n"
        with open(os.path.join(folder, "trov.options"), "w") as f:
            f.write(options)
        grid = run_engine(args.engine, folder, PARAMETERS.format(nstep=21, lmin=-10, lmax=10, replicates=0,
                                                                 seed=1))
        lnlambda = chosen_lnlambda(grid, args.lambda_from)
        fixed = run_engine(args.engine, folder,
                           PARAMETERS.format(nstep=1, lmin=f"{lnlambda:.6f}", lmax=10,
                                             replicates=args.replicates, seed=1000 + index))
    ran = (fixed.get("bootstrap") or {}).get("lambda", fixed["settings"].get("bootstrap_lambda"))
    if ran is not None and ran != args.bootstrap_lambda:
        raise RuntimeError(f"the engine ran bootstrap lambda {ran}, not {args.bootstrap_lambda}")
    selection = fixed["selection"]
    spread = selection["bootstrap"]
    row = {"data_set": index, "lnlambda": lnlambda, "bootstrap_lambda": ran}
    for name, truth, estimate, limits in [
        ("beta", beta, selection["beta"], spread["beta"]),
        ("gamma", gamma, selection["gamma"], spread["gamma"]),
        ("lande_arnold_beta", la_beta, selection["lande_arnold"]["beta"], spread["lande_arnold_beta"]),
        ("lande_arnold_gamma", la_gamma, selection["lande_arnold"]["gamma"], spread["lande_arnold_gamma"]),
    ]:
        lower, upper = limits["lower"], limits["upper"]
        row |= {f"{name}_true": truth, f"{name}": estimate, f"{name}_lower": lower, f"{name}_upper": upper,
                f"{name}_p": limits["p"],
                f"{name}_covered": lower is not None and upper is not None and lower <= truth <= upper}
    return row


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--engine", default="build/release/bin/trov40")
    parser.add_argument("--datasets", type=int, default=200)
    parser.add_argument("--replicates", type=int, default=500)
    parser.add_argument("--n", type=int, default=200)
    parser.add_argument("--criterion", default="reml", choices=["reml", "ml", "gcv", "ubre", "ocv"])
    parser.add_argument("--lambda-from", default="recommended",
                        choices=["recommended", "converged_reml", "converged_ml", "converged_gcv",
                                 "converged_ubre", "gcv"])
    parser.add_argument("--bootstrap-lambda", default="fixed", choices=["fixed", "reselected"])
    parser.add_argument("--seed", type=int, default=20260101)
    parser.add_argument("--jobs", type=int, default=1)
    parser.add_argument("--out", default="coverage.csv")
    args = parser.parse_args()
    args.engine = os.path.abspath(args.engine)

    try:
        with ThreadPoolExecutor(max_workers=args.jobs) as pool:
            rows = list(pool.map(lambda d: one_data_set(args, d), range(args.datasets)))
    except RuntimeError as fault:
        print(fault, file=sys.stderr)
        return 1
    with open(args.out, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=list(rows[0]))
        writer.writeheader()
        writer.writerows(rows)
    print(f"{args.datasets} data sets of n = {args.n}, {args.replicates} replicates, lambda from "
          f"{args.lambda_from} ({args.criterion}), bootstrap lambda {args.bootstrap_lambda}; per data set: {args.out}")
    print(f"median ln(lambda) {np.median([r['lnlambda'] for r in rows]):.3f}")
    for name in ["beta", "gamma", "lande_arnold_beta", "lande_arnold_gamma"]:
        covered = sum(r[f"{name}_covered"] for r in rows)
        share = covered / len(rows)
        se = math.sqrt(share * (1 - share) / len(rows))
        width = np.median([r[f"{name}_upper"] - r[f"{name}_lower"] for r in rows
                           if r[f"{name}_lower"] is not None and r[f"{name}_upper"] is not None])
        print(f"{name:20s} coverage {share:6.1%} (MC SE {se:.1%}, {covered}/{len(rows)}), "
              f"median width {width:.4g}, mean truth {np.mean([r[f'{name}_true'] for r in rows]):.4f}")


if __name__ == "__main__":
    sys.exit(main())
