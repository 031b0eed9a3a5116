#include "engine/covariate/backfit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "engine/covariate/design.h"
#include "engine/driver/grouping.h"
#include "engine/spline/links.h"

namespace trov {
namespace {

constexpr int kCapacity = 10000;
constexpr int kMaxcol = 20;

struct Random {
  std::uint64_t state;
  double uniform() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (static_cast<double>(state >> 11) + 0.5) * 0x1p-53;
  }
  int poisson(double mean) {  // product of uniforms, for moderate means
    const double limit = std::exp(-mean);
    int count = 0;
    for (double product = uniform(); product > limit; product *= uniform()) ++count;
    return count;
  }
  int binomial(int trials, double probability) {
    int successes = 0;
    for (int k = 0; k < trials; ++k) successes += uniform() < probability;
    return successes;
  }
};

// Points (x, covariate) sorted by x then covariate, with their design, grouping and results.
struct Fit {
  std::vector<double> x, covariate, y;
  std::vector<int> irep;
  int n = 0, p = 2, catcov = 0, model = kNormal;
  std::vector<double> xcov = std::vector<double>(static_cast<std::size_t>(kCapacity) * kMaxcol);
  std::vector<double> levels = std::vector<double>(kMaxcol);
  std::vector<double> xcompress = std::vector<double>(kCapacity), ycompress = std::vector<double>(kCapacity);
  std::vector<int> icompress = std::vector<int>(kCapacity), icases = std::vector<int>(kCapacity);
  XGroups groups{xcompress, icompress, icases, 0};
  std::vector<double> sy = std::vector<double>(kCapacity), syc = std::vector<double>(kCapacity);
  std::vector<double> snu = std::vector<double>(kCapacity), nufit = std::vector<double>(kCapacity);
  std::vector<double> beta = std::vector<double>(kMaxcol);
  double trace = 0, gcv = 0;
  int niter = -5;

  void add(double xi, double ci, double yi, int repi) {
    x.push_back(xi);
    covariate.push_back(ci);
    y.push_back(yi);
    irep.push_back(repi);
  }

  // Design and grouping once the points are in.
  void organize(int categorical) {
    n = static_cast<int>(x.size());
    catcov = categorical;
    for (int i = 0; i < n; ++i) {
      xcov[i] = 1.0;
      xcov[kCapacity + i] = covariate[i];
    }
    p = 2;
    if (catcov == 1) {
      int nlev = 1;
      designx(xcov, kCapacity, kMaxcol, n, nlev, levels);
      p = nlev;
    }
    compressx(x, irep, n, groups);
  }

  void run(BackfitWork& work, double lambda, int ncycle = 5, int maxit = 5, double stop = 0.005) {
    compressy(y, irep, groups, ycompress);
    backfit(y, xcov, n, p, irep, model, sy, syc, beta, nufit, snu, catcov, stop, maxit, lambda, kCapacity,
            kMaxcol, trace, niter, gcv, 5.0, 10.0, ncycle, groups, ycompress, work);
  }
};

// Normal model, continuous covariate: 30 distinct x with one to three points each.
Fit normal_data() {
  Fit fit;
  Random random{11};
  double xi = 0.3;
  for (int g = 0; g < 30; ++g) {
    xi += 0.2 + random.uniform();
    const int points = 1 + static_cast<int>(3 * random.uniform());
    double ci = -1.0;
    for (int k = 0; k < points; ++k) {
      ci += 0.1 + random.uniform();
      const double mean = std::sin(xi / 3) + 0.7 * ci;
      fit.add(xi, ci, mean + 0.3 * (random.uniform() - 0.5), 1 + static_cast<int>(3 * random.uniform()));
    }
  }
  fit.organize(0);
  return fit;
}

TEST(backfit_test, normal_model_identities) {
  Fit fit = normal_data();
  BackfitWork work(kCapacity, kMaxcol);
  fit.run(work, 0.05);
  EXPECT_EQ(fit.niter, -5);  // model 1 leaves niter alone
  double cases = 0, weighted_covariate = 0;
  for (int i = 0; i < fit.n; ++i) {
    cases += fit.irep[i];
    weighted_covariate += fit.irep[i] * fit.covariate[i];
  }
  const double slope = fit.beta[1];
  for (int i = 0; i < fit.n; ++i) {
    EXPECT_EQ(fit.snu[i], fit.sy[i]);
    EXPECT_EQ(fit.nufit[i], fit.snu[i] - slope * fit.covariate[i]);
    EXPECT_NEAR(fit.syc[i], fit.nufit[i] + slope * weighted_covariate / cases, 1e-13);
  }
  EXPECT_GT(fit.trace, 2.0);
  EXPECT_LT(fit.trace, fit.groups.nunique);
  // gcv = n S / (n - (p + trace))^2
  double sum = 0;
  for (int i = 0; i < fit.n; ++i) sum += fit.irep[i] * std::pow(fit.y[i] - fit.sy[i], 2);
  EXPECT_NEAR(fit.gcv, fit.n * sum / std::pow(fit.n - (2 + fit.trace), 2), 1e-12 * fit.gcv);
}

// Solves a x = b by Gaussian elimination with partial pivoting.
std::vector<double> dense_solve(std::vector<std::vector<double>> a, std::vector<double> b) {
  const int size = static_cast<int>(b.size());
  for (int c = 0; c < size; ++c) {
    int pivot = c;
    for (int r = c + 1; r < size; ++r)
      if (std::abs(a[r][c]) > std::abs(a[pivot][c])) pivot = r;
    std::swap(a[c], a[pivot]);
    std::swap(b[c], b[pivot]);
    for (int r = c + 1; r < size; ++r) {
      const double factor = a[r][c] / a[c][c];
      for (int k = c; k < size; ++k) a[r][k] -= factor * a[c][k];
      b[r] -= factor * b[c];
    }
  }
  std::vector<double> x(size);
  for (int r = size - 1; r >= 0; --r) {
    double sum = b[r];
    for (int k = r + 1; k < size; ++k) sum -= a[r][k] * x[k];
    x[r] = sum / a[r][r];
  }
  return x;
}

// Minimizes sum irep (y - s(x) - b c)^2 + lambda t s'Ks over the spline values s at the distinct x and
// the slope b (the spline's level takes the intercept). K = Q R^-1 Q' with R = T/6, t = 2 (x_q3 - x_q1).
// Returns the fitted values and the slope.
std::pair<std::vector<double>, double> joint_solution(const Fit& fit, double lambda) {
  const int g = fit.groups.nunique;
  const std::vector<double>& knot = fit.xcompress;
  std::vector<double> h(g - 1);
  for (int k = 0; k + 1 < g; ++k) h[k] = knot[k + 1] - knot[k];
  const int inner = g - 2;  // columns of Q: knots 1..g-2
  std::vector<std::vector<double>> q(g, std::vector<double>(inner)), r(inner, std::vector<double>(inner));
  for (int k = 1; k <= inner; ++k) {
    q[k - 1][k - 1] = 1 / h[k - 1];
    q[k][k - 1] = -1 / h[k - 1] - 1 / h[k];
    q[k + 1][k - 1] = 1 / h[k];
    r[k - 1][k - 1] = 2 * (h[k - 1] + h[k]) / 6;
    if (k < inner) r[k - 1][k] = r[k][k - 1] = h[k] / 6;
  }
  // R^-1 Q' column by column, then K = Q (R^-1 Q').
  std::vector<std::vector<double>> rq(inner, std::vector<double>(g));
  for (int col = 0; col < g; ++col) {
    std::vector<double> rhs(inner);
    for (int k = 0; k < inner; ++k) rhs[k] = q[col][k];
    const std::vector<double> solved = dense_solve(r, rhs);
    for (int k = 0; k < inner; ++k) rq[k][col] = solved[k];
  }
  const int q1 = static_cast<int>(0.25 * g + 1), q3 = static_cast<int>(0.75 * g + 1);
  const double penalty = lambda * 2 * (knot[q3 - 1] - knot[q1 - 1]);
  const int size = g + 1;
  std::vector<std::vector<double>> a(size, std::vector<double>(size));
  std::vector<double> b(size);
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < g; ++j)
      for (int k = 0; k < inner; ++k) a[i][j] += penalty * q[i][k] * rq[k][j];
  int point = 0;
  for (int grp = 0; grp < g; ++grp)
    for (int c = 0; c < fit.icases[grp]; ++c, ++point) {
      const double w = fit.irep[point], cov = fit.covariate[point], yi = fit.y[point];
      a[grp][grp] += w;
      a[grp][g] += w * cov;
      a[g][grp] += w * cov;
      a[g][g] += w * cov * cov;
      b[grp] += w * yi;
      b[g] += w * cov * yi;
    }
  const std::vector<double> theta = dense_solve(a, b);
  std::vector<double> fitted;
  point = 0;
  for (int grp = 0; grp < g; ++grp)
    for (int c = 0; c < fit.icases[grp]; ++c, ++point)
      fitted.push_back(theta[grp] + theta[g] * fit.covariate[point]);
  return {fitted, theta[g]};
}

TEST(backfit_test, normal_model_converges_to_the_joint_penalized_fit) {
  Fit fit = normal_data();
  BackfitWork work(kCapacity, kMaxcol);
  for (double lambda : {0.002, 0.05, 3.0}) {
    fit.run(work, lambda, 200);
    const auto [fitted, slope] = joint_solution(fit, lambda);
    EXPECT_NEAR(fit.beta[1], slope, 1e-9) << lambda;
    for (int i = 0; i < fit.n; ++i) EXPECT_NEAR(fit.sy[i], fitted[i], 1e-9) << lambda << " " << i;
  }
  // Five cycles already come close.
  fit.run(work, 0.05, 5);
  EXPECT_NEAR(fit.beta[1], joint_solution(fit, 0.05).second, 0.05);
}

TEST(backfit_test, calls_are_independent_and_model_1_writes_ycompress_first) {
  Fit fit = normal_data();
  // A categorical covariate of two levels; the first point has 4.0, the reference level.
  for (int i = 0; i < static_cast<int>(fit.covariate.size()); ++i) fit.covariate[i] = i % 3 == 0 ? 4.0 : 2.0;
  fit.organize(1);
  BackfitWork work(kCapacity, kMaxcol);
  fit.run(work, 0.05);
  const std::vector<double> sy = fit.sy, beta = fit.beta;
  EXPECT_EQ(fit.p, 2);
  EXPECT_EQ(fit.beta[0], 0.0);
  // Another lambda in between, then the same call with garbage in ycompress: the same results.
  fit.run(work, 40.0);
  compressy(fit.y, fit.irep, fit.groups, fit.ycompress);
  std::fill(fit.ycompress.begin(), fit.ycompress.end(), std::numeric_limits<double>::quiet_NaN());
  backfit(fit.y, fit.xcov, fit.n, fit.p, fit.irep, kNormal, fit.sy, fit.syc, fit.beta, fit.nufit, fit.snu, 1,
          0.005, 5, 0.05, kCapacity, kMaxcol, fit.trace, fit.niter, fit.gcv, 5.0, 10.0, 5, fit.groups,
          fit.ycompress, work);
  EXPECT_EQ(fit.sy, sy);
  EXPECT_EQ(fit.beta, beta);
}

// Three levels (covariate 1, 2, 3; the first the reference) at each of 60 trait values, with known
// shifts of the linear predictor.
constexpr double kShift[3] = {0.0, 0.7, -0.5};

Fit glm_data(int model) {
  Fit fit;
  fit.model = model;
  Random random{model == kBinomial ? 5u : 9u};
  for (int g = 0; g < 60; ++g) {
    const double xi = 1 + g;
    for (int level = 0; level < 3; ++level) {
      const double nu = (model == kBinomial ? -0.2 : 1.0) + 0.8 * std::sin(xi / 10) + kShift[level];
      if (model == kBinomial) {
        const int trials = 200;
        const double probability = 1 / (1 + std::exp(-nu));
        fit.add(xi, level + 1, static_cast<double>(random.binomial(trials, probability)) / trials, trials);
      } else {
        const int cases = 20;
        fit.add(xi, level + 1, static_cast<double>(random.poisson(cases * std::exp(nu))) / cases, cases);
      }
    }
  }
  fit.organize(1);
  return fit;
}

TEST(backfit_test, binomial_and_poisson_recover_a_level_shift) {
  BackfitWork work(kCapacity, kMaxcol);
  for (int model : {kBinomial, kPoisson}) {
    Fit fit = glm_data(model);
    ASSERT_EQ(fit.p, 3);
    fit.run(work, 1.0, 5, 10, 0.001);
    const double tolerance = model == kBinomial ? 0.1 : 0.08;  // about four standard errors
    EXPECT_EQ(fit.beta[0], 0.0);
    EXPECT_NEAR(fit.beta[1], kShift[1], tolerance) << model;
    EXPECT_NEAR(fit.beta[2], kShift[2], tolerance) << model;
    EXPECT_GE(fit.niter, 1);
    EXPECT_LE(fit.niter, 10);
    // Per point: mean from nu, nufit without the level's shift, syc at the mean shift (equal cases).
    const double mean_shift = (fit.beta[1] + fit.beta[2]) / 3;
    for (int i = 0; i < fit.n; ++i) {
      const int level = i % 3;
      double nu = fit.snu[i];
      EXPECT_EQ(fit.sy[i], nutoy(nu, model));
      EXPECT_EQ(fit.nufit[i], fit.snu[i] - fit.beta[level]);
      double centred = fit.nufit[i] + mean_shift;
      EXPECT_NEAR(fit.syc[i], nutoy(centred, model), 1e-12);
    }
    // The curve of each level follows the truth on the scale of nu (loosely: a smoothed estimate).
    for (int i = 30; i < 150; ++i) {
      const double truth = (model == kBinomial ? -0.2 : 1.0) + 0.8 * std::sin(fit.x[i] / 10) + kShift[i % 3];
      EXPECT_NEAR(fit.snu[i], truth, 0.25) << model << " " << i;
    }
  }
}

TEST(backfit_test, inner_loop_counts) {
  BackfitWork work(kCapacity, kMaxcol);
  Fit fit = glm_data(kPoisson);
  fit.run(work, 1.0, 3, 1, 0.005);
  EXPECT_EQ(fit.niter, 1);
  fit.run(work, 1.0, 2, 7, 0.0);
  EXPECT_EQ(fit.niter, 7);
  fit.run(work, 1.0, 5, 50, 1e-3);
  EXPECT_LT(fit.niter, 50);
  // A maximum below one still fits once, so that the trace and the score come from this call.
  fit.trace = -1;
  fit.run(work, 1.0, 2, 0, 0.005);
  EXPECT_EQ(fit.niter, 1);
  EXPECT_GT(fit.trace, 2.0);
  EXPECT_TRUE(std::isfinite(fit.gcv));
}

}  // namespace
}  // namespace trov
