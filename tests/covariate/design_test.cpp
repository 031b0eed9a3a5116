#include "engine/covariate/design.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/covariate/matrix.h"

namespace trov {
namespace {

constexpr int kRows = 10000;  // leading dimension of the test designs

// Deterministic values in [0, 1) for test designs.
struct Sequence {
  std::uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1p-53;
  }
};

// Intercept and covariate in the first two columns of a design with kRows rows; the rest -7.
Design design_with_covariate(const std::vector<double>& covariate, int columns = 2) {
  Design design{.rows = kRows, .columns = columns};
  design.xcov.assign(static_cast<std::size_t>(kRows) * kMaxcol, -7.0);
  design.levels.assign(kMaxcol, 0.0);
  for (std::size_t i = 0; i < covariate.size(); ++i) {
    design.xcov[i] = 1.0;
    design.xcov[kRows + i] = covariate[i];
  }
  return design;
}

double at(const Design& design, int i, int j) { return design.xcov[i + j * kRows]; }

TEST(designx_test, levels_in_order_of_first_appearance) {
  Design design = design_with_covariate({3, 1, 3, 2});
  ASSERT_EQ(designx(design, 4), 3);
  EXPECT_EQ(design.levels[0], 3);
  EXPECT_EQ(design.levels[1], 1);
  EXPECT_EQ(design.levels[2], 2);
  const double intercept[4] = {1, 1, 1, 1}, of_1[4] = {0, 1, 0, 0}, of_2[4] = {0, 0, 0, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(at(design, i, 0), intercept[i]);
    EXPECT_EQ(at(design, i, 1), of_1[i]);
    EXPECT_EQ(at(design, i, 2), of_2[i]);
    EXPECT_EQ(at(design, i, 3), -7.0);  // columns beyond the levels untouched
  }
  EXPECT_EQ(at(design, 4, 1), -7.0);  // rows beyond n untouched
}

TEST(designx_test, exact_comparison_and_a_single_level) {
  const double a = 0.3, b = std::nextafter(0.3, 1.0);
  Design design = design_with_covariate({a, b, a});
  EXPECT_EQ(designx(design, 3), 2);
  EXPECT_EQ(at(design, 1, 1), 1.0);
  EXPECT_EQ(at(design, 2, 1), 0.0);

  design = design_with_covariate({5, 5, 5});
  EXPECT_EQ(designx(design, 3), 1);
  EXPECT_EQ(at(design, 0, 1), 5.0);  // nothing written with one level
}

std::vector<double> many_levels(int count) {
  std::vector<double> covariate;
  for (int k = 1; k <= count; ++k) covariate.insert(covariate.end(), {0.5 * k, 0.5});
  return covariate;
}

TEST(designx_test, twenty_levels_fit_and_a_twenty_first_is_refused) {
  std::vector<double> covariate = many_levels(20);
  Design design = design_with_covariate(covariate);
  EXPECT_EQ(designx(design, static_cast<int>(covariate.size())), 20);
  EXPECT_EQ(design.levels[19], 10.0);
  EXPECT_EQ(at(design, 38, 19), 1.0);
  EXPECT_EQ(at(design, 39, 19), 0.0);

  covariate = many_levels(21);
  design = design_with_covariate(covariate);
  EXPECT_EQ(designx(design, static_cast<int>(covariate.size())), kMaxcol + 1);
  for (int k = 1; k <= 20; ++k) EXPECT_EQ(design.levels[k - 1], 0.5 * k);  // the first 20, for the message
  EXPECT_EQ(at(design, 40, 1), 10.5);                                      // the columns untouched
}

// The regression transcribed directly: scaled copies, transpose, triple-loop products, packed solve.
void regress_reference(const std::vector<double>& xcov, const std::vector<double>& y, int p, int n,
                       std::vector<double>& beta, std::vector<double>& fit, const std::vector<double>& dy) {
  std::vector<double> xw(static_cast<std::size_t>(kRows) * kMaxcol), yw(kRows);
  std::vector<double> xt(static_cast<std::size_t>(kMaxcol) * kRows), xtx(kMaxcol * kMaxcol), packed;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < p; ++j) xw[i + j * kRows] = xcov[i + j * kRows] / dy[i];
    yw[i] = y[i] / dy[i];
  }
  dgtran({xw, n, p, kRows}, {xt, p, n, kMaxcol});
  for (int j = 0; j < p; ++j)
    for (int i = 0; i < p; ++i) {
      xtx[i + j * kMaxcol] = 0.0;
      for (int l = 0; l < n; ++l) xtx[i + j * kMaxcol] += xt[i + l * kMaxcol] * xw[l + j * kRows];
    }
  for (int j = 0; j < p; ++j)
    for (int i = 0; i <= j; ++i) packed.push_back(xtx[i + j * kMaxcol]);
  for (int i = 0; i < p; ++i) {
    beta[i] = 0.0;
    for (int l = 0; l < n; ++l) beta[i] += xt[i + l * kMaxcol] * yw[l];
  }
  ASSERT_EQ(dsym(packed, p, beta), 0);
  for (int i = 0; i < n; ++i) {
    fit[i] = 0.0;
    for (int j = 0; j < p; ++j) fit[i] += xcov[i + j * kRows] * beta[j];
  }
}

// Design columns: 0 continuous, 1 indicators of a level, 2 continuous with stretches of indicator
// values (zeros, signed zeros and ones), so that some chunks of rows look like indicators and some not.
std::vector<double> random_design(int p, int n, int kind, Sequence& random) {
  std::vector<double> xcov(static_cast<std::size_t>(kRows) * kMaxcol);
  for (int i = 0; i < n; ++i) {
    xcov[i] = 1.0;
    const int level = i % p;
    for (int j = 1; j < p; ++j) {
      double& x = xcov[i + j * kRows];
      if (kind == 1 || (kind == 2 && (i / 50) % 2 == 0))
        x = level == j ? 1.0 : (kind == 2 && random.next() < 0.3 ? -0.0 : 0.0);
      else
        x = random.next() - 0.3;
    }
  }
  return xcov;
}

TEST(regress_test, agrees_bit_for_bit_with_the_direct_transcription) {
  RegressWork work(kRows);
  Sequence random{42};
  for (int kind = 0; kind < 3; ++kind)
    for (auto [p, n] : {std::pair{1, 5}, {2, 3}, {2, 1000}, {3, 65}, {7, 130}, {20, 999}, {20, 10000}}) {
      const Design design{.rows = kRows, .columns = p, .xcov = random_design(p, n, kind, random)};
      std::vector<double> y(kRows), dy(kRows);
      for (int i = 0; i < n; ++i) {
        y[i] = 10 * random.next() - 2;
        dy[i] = 0.2 + random.next();
      }
      std::vector<double> beta(kMaxcol, -1), fit(kRows, -1), beta_ref(kMaxcol, -2), fit_ref(kRows, -2);
      ASSERT_EQ(regress(design, n, y, dy, beta, fit, work), 0);
      regress_reference(design.xcov, y, p, n, beta_ref, fit_ref, dy);
      const std::string where =
          "kind=" + std::to_string(kind) + " p=" + std::to_string(p) + " n=" + std::to_string(n);
      for (int j = 0; j < p; ++j) EXPECT_EQ(beta[j], beta_ref[j]) << where << " j=" << j;
      for (int i = 0; i < n; ++i) ASSERT_EQ(fit[i], fit_ref[i]) << where << " i=" << i;
      if (n < kRows) {
        EXPECT_EQ(fit[n], -1.0);  // nothing beyond n written
      }
    }
}

TEST(regress_test, least_squares_line_and_weights) {
  // y = 1 + 2 x exactly on four points, then a weighted fit that the heavy point dominates.
  Design line = design_with_covariate({0, 1, 2, 3});
  std::vector<double> y{1, 3, 5, 7}, dy(4, 1.0), beta(kMaxcol), fit(4);
  RegressWork work(kRows);
  ASSERT_EQ(regress(line, 4, y, dy, beta, fit, work), 0);
  EXPECT_NEAR(beta[0], 1.0, 1e-14);
  EXPECT_NEAR(beta[1], 2.0, 1e-14);
  EXPECT_NEAR(fit[3], 7.0, 1e-14);

  // Intercept only: the weighted mean, weights 1/dy^2 = 1, 1, 1, 4 -> (1 + 3 + 5 + 28)/7.
  dy = {1, 1, 1, 0.5};
  const Design intercept = design_with_covariate({0, 1, 2, 3}, 1);
  regress(intercept, 4, y, dy, beta, fit, work);
  EXPECT_NEAR(beta[0], 37.0 / 7.0, 1e-14);
  EXPECT_NEAR(fit[0], 37.0 / 7.0, 1e-14);

  // Scaling every dy by one constant leaves the coefficients alone.
  y = {1, 2.5, 5.5, 6};
  dy = {1, 2, 0.5, 1};
  std::vector<double> scaled(4), beta_scaled(kMaxcol);
  for (int i = 0; i < 4; ++i) scaled[i] = 3 * dy[i];
  regress(line, 4, y, dy, beta, fit, work);
  regress(line, 4, y, scaled, beta_scaled, fit, work);
  EXPECT_NEAR(beta_scaled[0], beta[0], 1e-13);
  EXPECT_NEAR(beta_scaled[1], beta[1], 1e-13);
}

// regress on a two-column design with the given covariate: its ifail.
int regress_on(const std::vector<double>& covariate, const std::vector<double>& dy) {
  const int n = static_cast<int>(covariate.size());
  std::vector<double> y(n, 1.5), beta(kMaxcol), fit(n);
  RegressWork work(kRows);
  return regress(design_with_covariate(covariate), n, y, dy, beta, fit, work);
}

TEST(regress_test, singular_design_names_its_failing_column) {
  EXPECT_EQ(regress_on({0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}), 2);  // a zero column: pivot exactly 0
  // Column 2 equal to 0.1 times the intercept: its pivot is a rounding remainder or not positive.
  const int ifail = regress_on({0.1, 0.1, 0.1}, {0.3, 0.7, 1.1});
  EXPECT_TRUE(ifail == 2 || ifail == -2) << ifail;
}

}  // namespace
}  // namespace trov
