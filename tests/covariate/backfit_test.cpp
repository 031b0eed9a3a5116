#include "engine/covariate/backfit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/spline/links.h"

namespace trov {
namespace {

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

// Points (x, covariate) sorted by x then covariate, with their design, grouping and the last result.
struct Fit {
  Points points;
  Covariate cov;
  Model model = Model::normal;
  FitResult r;

  void add(double xi, double ci, double yi, int repi) {
    points.x.push_back(xi);
    points.covariate.push_back(ci);
    points.y.push_back(yi);
    points.counts.push_back(repi);
  }

  // Design and grouping once the points are in.
  void organize(bool categorical) {
    points.n = static_cast<int>(points.x.size());
    cov = {build_design(points, categorical), compressx(points.x, points.counts, points.n)};
  }
  int p() const { return cov.design.columns; }
  BackfitWork work() const { return BackfitWork(points.n, cov.groups.size); }

  void run(BackfitWork& work, double lambda, int ncycle = 5, int maxit = 5, double stop = 0.005) {
    r = backfit(lambda, points, points.y, cov,
                {.model = model, .maxit = maxit, .stop = stop, .ncycle = ncycle}, work);
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
  fit.organize(false);
  return fit;
}

TEST(backfit_test, normal_model_identities) {
  Fit fit = normal_data();
  BackfitWork work = fit.work();
  fit.run(work, 0.05);
  EXPECT_EQ(fit.r.status, FitStatus::ok);
  double cases = 0, weighted_covariate = 0;
  for (int i = 0; i < fit.points.n; ++i) {
    cases += fit.points.counts[i];
    weighted_covariate += fit.points.counts[i] * fit.points.covariate[i];
  }
  const double slope = fit.r.beta[1];
  for (int i = 0; i < fit.points.n; ++i) {
    EXPECT_EQ(fit.r.eta[i], fit.r.mean[i]);
    EXPECT_EQ(fit.r.spline_eta[i], fit.r.eta[i] - slope * fit.points.covariate[i]);
    EXPECT_NEAR(fit.r.corrected_mean[i], fit.r.spline_eta[i] + slope * weighted_covariate / cases, 1e-13);
  }
  EXPECT_GT(fit.r.trace, 2.0);
  EXPECT_LT(fit.r.trace, fit.cov.groups.size);
  // gcv = n S / (n - (p + trace))^2
  double sum = 0;
  for (int i = 0; i < fit.points.n; ++i)
    sum += fit.points.counts[i] * std::pow(fit.points.y[i] - fit.r.mean[i], 2);
  EXPECT_NEAR(fit.r.gcv, fit.points.n * sum / std::pow(fit.points.n - (2 + fit.r.trace), 2),
              1e-12 * fit.r.gcv);
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
  const int g = fit.cov.groups.size;
  const std::vector<double>& knot = fit.cov.groups.x;
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
    for (int c = 0; c < fit.cov.groups.points[grp]; ++c, ++point) {
      const double w = fit.points.counts[point], cov = fit.points.covariate[point], yi = fit.points.y[point];
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
    for (int c = 0; c < fit.cov.groups.points[grp]; ++c, ++point)
      fitted.push_back(theta[grp] + theta[g] * fit.points.covariate[point]);
  return {fitted, theta[g]};
}

TEST(backfit_test, normal_model_converges_to_the_joint_penalized_fit) {
  Fit fit = normal_data();
  BackfitWork work = fit.work();
  for (double lambda : {0.002, 0.05, 3.0}) {
    fit.run(work, lambda, 200);
    const auto [fitted, slope] = joint_solution(fit, lambda);
    EXPECT_NEAR(fit.r.beta[1], slope, 1e-9) << lambda;
    for (int i = 0; i < fit.points.n; ++i) EXPECT_NEAR(fit.r.mean[i], fitted[i], 1e-9) << lambda << " " << i;
  }
  // Five cycles already come close.
  fit.run(work, 0.05, 5);
  EXPECT_NEAR(fit.r.beta[1], joint_solution(fit, 0.05).second, 0.05);
}

TEST(backfit_test, calls_are_independent_of_what_the_work_holds) {
  Fit fit = normal_data();
  // A categorical covariate of two levels; the first point has 4.0, the reference level.
  for (int i = 0; i < static_cast<int>(fit.points.covariate.size()); ++i)
    fit.points.covariate[i] = i % 3 == 0 ? 4.0 : 2.0;
  fit.organize(true);
  BackfitWork work = fit.work();
  fit.run(work, 0.05);
  const std::vector<double> sy = fit.r.mean, beta = fit.r.beta;
  EXPECT_EQ(fit.p(), 2);
  EXPECT_EQ(fit.r.beta[0], 0.0);
  // Another lambda in between, then garbage in the grouped work: the same results.
  fit.run(work, 40.0);
  std::fill(work.ycompress.begin(), work.ycompress.end(), std::numeric_limits<double>::quiet_NaN());
  fit.run(work, 0.05);
  EXPECT_EQ(fit.r.mean, sy);
  EXPECT_EQ(fit.r.beta, beta);
}

// Three levels (covariate 1, 2, 3; the first the reference) at each of 60 trait values, with known
// shifts of the linear predictor.
constexpr double kShift[3] = {0.0, 0.7, -0.5};

Fit glm_data(Model model) {
  Fit fit;
  fit.model = model;
  Random random{model == Model::binomial ? 5u : 9u};
  for (int g = 0; g < 60; ++g) {
    const double xi = 1 + g;
    for (int level = 0; level < 3; ++level) {
      const double nu = (model == Model::binomial ? -0.2 : 1.0) + 0.8 * std::sin(xi / 10) + kShift[level];
      if (model == Model::binomial) {
        const int trials = 200;
        const double probability = 1 / (1 + std::exp(-nu));
        fit.add(xi, level + 1, static_cast<double>(random.binomial(trials, probability)) / trials, trials);
      } else {
        const int cases = 20;
        fit.add(xi, level + 1, static_cast<double>(random.poisson(cases * std::exp(nu))) / cases, cases);
      }
    }
  }
  fit.organize(true);
  return fit;
}

TEST(backfit_test, binomial_and_poisson_recover_a_level_shift) {
  for (Model model : {Model::binomial, Model::poisson}) {
    Fit fit = glm_data(model);
    BackfitWork work = fit.work();
    ASSERT_EQ(fit.p(), 3);
    fit.run(work, 1.0, 5, 10, 0.001);
    const double tolerance = model == Model::binomial ? 0.1 : 0.08;  // about four standard errors
    EXPECT_EQ(fit.r.beta[0], 0.0);
    EXPECT_NEAR(fit.r.beta[1], kShift[1], tolerance) << model_name(model);
    EXPECT_NEAR(fit.r.beta[2], kShift[2], tolerance) << model_name(model);
    EXPECT_GE(fit.r.iterations, 1);
    EXPECT_LE(fit.r.iterations, 10);
    // Per point: mean from nu, nufit without the level's shift, syc at the mean shift (equal cases).
    const double mean_shift = (fit.r.beta[1] + fit.r.beta[2]) / 3;
    for (int i = 0; i < fit.points.n; ++i) {
      const int level = i % 3;
      double nu = fit.r.eta[i];
      EXPECT_EQ(fit.r.mean[i], nutoy(nu, model));
      EXPECT_EQ(fit.r.spline_eta[i], fit.r.eta[i] - fit.r.beta[level]);
      double centred = fit.r.spline_eta[i] + mean_shift;
      EXPECT_NEAR(fit.r.corrected_mean[i], nutoy(centred, model), 1e-12);
    }
    // The curve of each level follows the truth on the scale of nu (loosely: a smoothed estimate).
    for (int i = 30; i < 150; ++i) {
      const double truth =
          (model == Model::binomial ? -0.2 : 1.0) + 0.8 * std::sin(fit.points.x[i] / 10) + kShift[i % 3];
      EXPECT_NEAR(fit.r.eta[i], truth, 0.25) << model_name(model) << " " << i;
    }
  }
}

TEST(backfit_test, inner_loop_counts) {
  Fit fit = glm_data(Model::poisson);
  BackfitWork work = fit.work();
  fit.run(work, 1.0, 3, 1, 0.005);
  EXPECT_EQ(fit.r.iterations, 1);
  fit.run(work, 1.0, 2, 7, 0.0);
  EXPECT_EQ(fit.r.iterations, 7);
  fit.run(work, 1.0, 5, 50, 1e-3);
  EXPECT_LT(fit.r.iterations, 50);
  // A maximum below one still fits once, so that the trace and the score come from this call.
  fit.run(work, 1.0, 2, 0, 0.005);
  EXPECT_EQ(fit.r.iterations, 1);
  EXPECT_GT(fit.r.trace, 2.0);
  EXPECT_TRUE(std::isfinite(fit.r.gcv));
}

}  // namespace
}  // namespace trov
