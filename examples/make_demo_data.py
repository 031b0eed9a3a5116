#!/usr/bin/env python3
"""Writes the demo data sets and their parameter files into this folder.

Standard library only and a fixed seed, so every run writes the same files. Run from anywhere:
    python3 examples/make_demo_data.py
"""

import math
import os
import random

SEED = 20261207
HERE = os.path.dirname(os.path.abspath(__file__))


def normal(rng, mean, sd):
    """Box-Muller deviate from rng.random() alone (its sequence is fixed across Python versions)."""
    u1 = 1.0 - rng.random()  # in (0, 1]
    u2 = rng.random()
    return mean + sd * math.sqrt(-2.0 * math.log(u1)) * math.cos(2.0 * math.pi * u2)


def bernoulli(rng, p):
    return 1 if rng.random() < p else 0


def binomial(rng, n, p):
    return sum(bernoulli(rng, p) for _ in range(n))


def poisson(rng, mean):
    """Count uniforms until their product falls below exp(-mean)."""
    limit = math.exp(-mean)
    count, product = 0, rng.random()
    while product > limit:
        count += 1
        product *= rng.random()
    return count


def logistic(v):
    return 1.0 / (1.0 + math.exp(-v))


def trait(rng, mean, sd, low, high):
    """A trait value rounded to 2 decimals, redrawn outside [low, high]."""
    while True:
        x = round(normal(rng, mean, sd), 2)
        if low <= x <= high:
            return x


def demo1(rng):
    """Survival of 300 individuals under stabilizing selection on body mass (g): the chance to survive
    peaks at 31 g and falls off on both sides, from about 0.85 to 0.15."""
    rows = []
    for _ in range(300):
        x = trait(rng, 30.0, 4.0, 18.0, 42.0)
        p = 0.15 + 0.70 * math.exp(-((x - 31.0) ** 2) / (2.0 * 4.5**2))
        rows.append("%d %.2f" % (bernoulli(rng, p), x))
    return rows


def poisson_counts(rng):
    """Offspring counted for 200 individuals under directional selection on a trait: the expected number
    rises with the trait, from about 0.2 to 3, and levels off at the top of its range."""
    rows = []
    for _ in range(200):
        x = trait(rng, 12.0, 2.5, 5.0, 19.0)
        u = (x - 12.0) / 2.5
        mean = math.exp(0.45 + 0.55 * u - 0.12 * u * u)
        rows.append("%d %.2f" % (poisson(rng, mean), x))
    return rows


def covariate(rng):
    """Survival of 300 individuals of both sexes (C: 1 female, 2 male). Males are larger, females survive
    better at every size, and survival rises with size and levels off: fitted without the covariate, the
    size effect is partly a sex effect."""
    rows = []
    for _ in range(300):
        sex = 1 if rng.random() < 0.5 else 2
        x = trait(rng, 28.0 if sex == 1 else 32.0, 3.5, 18.0, 42.0)
        u = (x - 30.0) / 3.5
        nu = -0.1 + 0.8 * u - 0.15 * u * u + (0.5 if sex == 1 else -0.5)
        p = logistic(nu)
        rows.append("%d %.2f %d" % (bernoulli(rng, p), x, sex))
    return rows


def grouped(rng):
    """Proportions surviving in 40 groups of 8 to 30 individuals, one trait value per group, with a
    threshold-like rise of survival from about 0.12 to 0.88 around X = 20."""
    rows = []
    for k in range(40):
        x = 10.0 + 0.5 * k
        n = rng.randint(8, 30)
        p = 0.12 + 0.76 * logistic((x - 20.0) / 2.0)
        rows.append("%.4f %.2f %d" % (binomial(rng, n, p) / n, x, n))
    return rows


def field(text):
    """A value in its 10-character field, the comment following straight on."""
    return "%-10s" % text


def integer(value):
    """An integer in list-directed form: a blank and the digits; its comment begins with 8 blanks."""
    return " %d" % value


def parameter_file(data, nstep, lmin, lmax, model, icol, m=0, catcov=0, iboot=0):
    lines = [
        field("10") + "SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY",
        integer(m) + "        M = number of covariates (0 or 1)",
        integer(catcov) + "        catcov = covariate is continuous (0) or category (1)",
        field(nstep) + "nstep = number of lambdas to search over",
        field(lmin) + "lmin = smallest ln(lambda) of search, or fixed ln(lambda)",
        field(lmax) + "lmax = largest ln(lambda) of search",
        field("5") + "maxit = max number of iterations for spline fit",
        field("0.005") + "stop = convergence tolerance for spline fit",
        integer(model) + "        model 1 = normal 2= binomial 3=poisson",
        integer(icol) + "        icol 1 =third data column has #replicates, 2=not",
        field(str(iboot)) + "iboot = Number of bootstrap replications to carry out",
        field("2387498") + "random number seed for bootstrapping",
        "%-100s" % data,
    ]
    return lines


def write(name, lines):
    with open(os.path.join(HERE, name), "w", newline="\n") as out:
        out.write("\n".join(lines) + "\n")


def main():
    # One stream per data set, so that changing one set leaves the others as they are.
    for offset, (name, make) in enumerate(
        [("demo1.dat", demo1), ("poisson.dat", poisson_counts), ("covariate.dat", covariate), ("grouped.dat", grouped)]
    ):
        write(name, make(random.Random(SEED + offset)))

    grid = dict(nstep=" 21", lmin="-10", lmax=" 10")
    write("demo1.in", parameter_file("demo1.dat", model=2, icol=2, **grid))
    write("demo1_fixed.in", parameter_file("demo1.dat", "1", FIXED_LN_LAMBDA, " 10", model=2, icol=2))
    write("demo1_boot.in", parameter_file("demo1.dat", "1", FIXED_LN_LAMBDA, " 10", model=2, icol=2,
                                          iboot=100))
    write("poisson.in", parameter_file("poisson.dat", model=3, icol=2, **grid))
    write("covariate.in", parameter_file("covariate.dat", model=2, icol=2, m=1, catcov=1, **grid))
    write("grouped.in", parameter_file("grouped.dat", model=2, icol=1, **grid))


# ln(lambda) for the single-lambda demo runs, near the best GCV score of the grid search on demo1.dat.
FIXED_LN_LAMBDA = " 4"

if __name__ == "__main__":
    main()
