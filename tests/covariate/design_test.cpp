#include "engine/covariate/design.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/list_writer.h"
#include "engine/covariate/matrix.h"

namespace trov {
namespace {

constexpr int kCapacity = 10000;
constexpr int kMaxcol = 20;

// Inside a death test: no controlling terminal (so the error stop ends at once) and standard output
// into a file that the parent reads afterwards.
void detach_with_output_to(const std::string& path) {
  setsid();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(fd, STDOUT_FILENO);
  close(fd);
}

std::string contents(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Deterministic values in [0, 1) for test designs.
struct Sequence {
  std::uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1p-53;
  }
};

std::vector<double> design_with_covariate(const std::vector<double>& covariate) {
  std::vector<double> xcov(static_cast<std::size_t>(kCapacity) * kMaxcol, -7.0);
  for (std::size_t i = 0; i < covariate.size(); ++i) {
    xcov[i] = 1.0;
    xcov[kCapacity + i] = covariate[i];
  }
  return xcov;
}

double at(const std::vector<double>& xcov, int i, int j) { return xcov[i + j * kCapacity]; }

TEST(designx_test, levels_in_order_of_first_appearance) {
  std::vector<double> xcov = design_with_covariate({3, 1, 3, 2});
  std::vector<double> levels(kMaxcol, 0.0);
  int nlev = 1;
  designx(xcov, kCapacity, kMaxcol, 4, nlev, levels);
  ASSERT_EQ(nlev, 3);
  EXPECT_EQ(levels[0], 3);
  EXPECT_EQ(levels[1], 1);
  EXPECT_EQ(levels[2], 2);
  const double intercept[4] = {1, 1, 1, 1}, of_1[4] = {0, 1, 0, 0}, of_2[4] = {0, 0, 0, 1};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(at(xcov, i, 0), intercept[i]);
    EXPECT_EQ(at(xcov, i, 1), of_1[i]);
    EXPECT_EQ(at(xcov, i, 2), of_2[i]);
    EXPECT_EQ(at(xcov, i, 3), -7.0);  // columns beyond the levels untouched
  }
  EXPECT_EQ(at(xcov, 4, 1), -7.0);  // rows beyond n untouched
}

TEST(designx_test, exact_comparison_and_a_single_level) {
  const double a = 0.3, b = std::nextafter(0.3, 1.0);
  std::vector<double> xcov = design_with_covariate({a, b, a});
  std::vector<double> levels(kMaxcol, 0.0);
  int nlev = 1;
  designx(xcov, kCapacity, kMaxcol, 3, nlev, levels);
  EXPECT_EQ(nlev, 2);
  EXPECT_EQ(at(xcov, 1, 1), 1.0);
  EXPECT_EQ(at(xcov, 2, 1), 0.0);

  xcov = design_with_covariate({5, 5, 5});
  nlev = 1;
  designx(xcov, kCapacity, kMaxcol, 3, nlev, levels);
  EXPECT_EQ(nlev, 1);
  EXPECT_EQ(at(xcov, 0, 1), 5.0);  // nothing written with one level
}

std::vector<double> many_levels(int count) {
  std::vector<double> covariate;
  for (int k = 1; k <= count; ++k) covariate.insert(covariate.end(), {0.5 * k, 0.5});
  return covariate;
}

TEST(designx_test, twenty_levels_fit) {
  const std::vector<double> covariate = many_levels(20);
  std::vector<double> xcov = design_with_covariate(covariate);
  std::vector<double> levels(kMaxcol, 0.0);
  int nlev = 1;
  designx(xcov, kCapacity, kMaxcol, static_cast<int>(covariate.size()), nlev, levels);
  EXPECT_EQ(nlev, 20);
  EXPECT_EQ(levels[19], 10.0);
  EXPECT_EQ(at(xcov, 38, 19), 1.0);
  EXPECT_EQ(at(xcov, 39, 19), 0.0);
}

void designx_on(const std::string& path, const std::vector<double>& covariate) {
  detach_with_output_to(path);
  std::vector<double> xcov = design_with_covariate(covariate);
  std::vector<double> levels(kMaxcol, 0.0);
  int nlev = 1;
  designx(xcov, kCapacity, kMaxcol, static_cast<int>(covariate.size()), nlev, levels);
}

TEST(designx_test, twenty_first_level_stops_the_run) {
  const std::string path = testing::TempDir() + "designx_levels.txt";
  const std::vector<double> covariate = many_levels(21);
  EXPECT_EXIT(designx_on(path, covariate), testing::ExitedWithCode(1), "s_paus: can't open con!");
  ListWriter level_list;
  for (int k = 1; k <= 20; ++k) level_list.real(0.5 * k);
  EXPECT_EQ(contents(path),
            " Program can't handle more than 20levels for covariate\n First 20levels:\n" + level_list.str());
}

// The regression transcribed directly: scaled copies, transpose, triple-loop products, packed solve.
void regress_reference(const std::vector<double>& xcov, const std::vector<double>& y, int p, int n,
                       std::vector<double>& beta, std::vector<double>& fit, const std::vector<double>& dy) {
  std::vector<double> xw(static_cast<std::size_t>(kCapacity) * kMaxcol), yw(kCapacity);
  std::vector<double> xt(static_cast<std::size_t>(kMaxcol) * kCapacity), xtx(kMaxcol * kMaxcol), packed;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < p; ++j) xw[i + j * kCapacity] = xcov[i + j * kCapacity] / dy[i];
    yw[i] = y[i] / dy[i];
  }
  dgtran(xw, xt, n, p, kCapacity, kMaxcol);
  for (int j = 0; j < p; ++j)
    for (int i = 0; i < p; ++i) {
      xtx[i + j * kMaxcol] = 0.0;
      for (int l = 0; l < n; ++l) xtx[i + j * kMaxcol] += xt[i + l * kMaxcol] * xw[l + j * kCapacity];
    }
  for (int j = 0; j < p; ++j)
    for (int i = 0; i <= j; ++i) packed.push_back(xtx[i + j * kMaxcol]);
  for (int i = 0; i < p; ++i) {
    beta[i] = 0.0;
    for (int l = 0; l < n; ++l) beta[i] += xt[i + l * kMaxcol] * yw[l];
  }
  int ifail = 0;
  dsym(packed, p, beta, ifail);
  ASSERT_EQ(ifail, 0);
  for (int i = 0; i < n; ++i) {
    fit[i] = 0.0;
    for (int j = 0; j < p; ++j) fit[i] += xcov[i + j * kCapacity] * beta[j];
  }
}

// Design columns: 0 continuous, 1 indicators of a level, 2 continuous with stretches of indicator
// values (zeros, signed zeros and ones), so that some chunks of rows look like indicators and some not.
std::vector<double> random_design(int p, int n, int kind, Sequence& random) {
  std::vector<double> xcov(static_cast<std::size_t>(kCapacity) * kMaxcol);
  for (int i = 0; i < n; ++i) {
    xcov[i] = 1.0;
    const int level = i % p;
    for (int j = 1; j < p; ++j) {
      double& x = xcov[i + j * kCapacity];
      if (kind == 1 || (kind == 2 && (i / 50) % 2 == 0))
        x = level == j ? 1.0 : (kind == 2 && random.next() < 0.3 ? -0.0 : 0.0);
      else
        x = random.next() - 0.3;
    }
  }
  return xcov;
}

TEST(regress_test, agrees_bit_for_bit_with_the_direct_transcription) {
  RegressWork work(kCapacity, kMaxcol);
  Sequence random{42};
  for (int kind = 0; kind < 3; ++kind)
    for (auto [p, n] : {std::pair{1, 5}, {2, 3}, {2, 1000}, {3, 65}, {7, 130}, {20, 999}, {20, 10000}}) {
      const std::vector<double> xcov = random_design(p, n, kind, random);
      std::vector<double> y(kCapacity), dy(kCapacity);
      for (int i = 0; i < n; ++i) {
        y[i] = 10 * random.next() - 2;
        dy[i] = 0.2 + random.next();
      }
      std::vector<double> beta(kMaxcol, -1), fit(kCapacity, -1), beta_ref(kMaxcol, -2),
          fit_ref(kCapacity, -2);
      regress(xcov, y, kCapacity, kMaxcol, p, n, beta, fit, dy, work);
      regress_reference(xcov, y, p, n, beta_ref, fit_ref, dy);
      const std::string where =
          "kind=" + std::to_string(kind) + " p=" + std::to_string(p) + " n=" + std::to_string(n);
      for (int j = 0; j < p; ++j) EXPECT_EQ(beta[j], beta_ref[j]) << where << " j=" << j;
      for (int i = 0; i < n; ++i) ASSERT_EQ(fit[i], fit_ref[i]) << where << " i=" << i;
      if (n < kCapacity) {
        EXPECT_EQ(fit[n], -1.0);  // nothing beyond n written
      }
    }
}

TEST(regress_test, least_squares_line_and_weights) {
  // y = 1 + 2 x exactly on four points, then a weighted fit that the heavy point dominates.
  std::vector<double> xcov = design_with_covariate({0, 1, 2, 3});
  std::vector<double> y{1, 3, 5, 7}, dy(4, 1.0), beta(kMaxcol), fit(4);
  RegressWork work(kCapacity, kMaxcol);
  regress(xcov, y, kCapacity, kMaxcol, 2, 4, beta, fit, dy, work);
  EXPECT_NEAR(beta[0], 1.0, 1e-14);
  EXPECT_NEAR(beta[1], 2.0, 1e-14);
  EXPECT_NEAR(fit[3], 7.0, 1e-14);

  // Intercept only: the weighted mean, weights 1/dy^2 = 1, 1, 1, 4 -> (1 + 3 + 5 + 28)/7.
  dy = {1, 1, 1, 0.5};
  regress(xcov, y, kCapacity, kMaxcol, 1, 4, beta, fit, dy, work);
  EXPECT_NEAR(beta[0], 37.0 / 7.0, 1e-14);
  EXPECT_NEAR(fit[0], 37.0 / 7.0, 1e-14);

  // Scaling every dy by one constant leaves the coefficients alone.
  y = {1, 2.5, 5.5, 6};
  dy = {1, 2, 0.5, 1};
  std::vector<double> scaled(4), beta_scaled(kMaxcol);
  for (int i = 0; i < 4; ++i) scaled[i] = 3 * dy[i];
  regress(xcov, y, kCapacity, kMaxcol, 2, 4, beta, fit, dy, work);
  regress(xcov, y, kCapacity, kMaxcol, 2, 4, beta_scaled, fit, scaled, work);
  EXPECT_NEAR(beta_scaled[0], beta[0], 1e-13);
  EXPECT_NEAR(beta_scaled[1], beta[1], 1e-13);
}

// Runs regress in a death test child on a two-column design with the given covariate.
void regress_on(const std::string& path, const std::vector<double>& covariate,
                const std::vector<double>& dy) {
  detach_with_output_to(path);
  const int n = static_cast<int>(covariate.size());
  std::vector<double> xcov = design_with_covariate(covariate);
  std::vector<double> y(n, 1.5), beta(kMaxcol), fit(n);
  RegressWork work(kCapacity, kMaxcol);
  regress(xcov, y, kCapacity, kMaxcol, 2, n, beta, fit, dy, work);
}

TEST(regress_test, zero_covariate_stops_with_the_failing_column) {
  const std::string path = testing::TempDir() + "regress_singular.txt";
  EXPECT_EXIT(regress_on(path, {0, 0, 0, 0, 0}, {1, 1, 1, 1, 1}), testing::ExitedWithCode(1),
              "s_paus: can't open con!");
  EXPECT_EQ(contents(path), " X'X is not positive-definite\n Row number 2\n");
}

TEST(regress_test, constant_covariate_fails_in_column_2) {
  // Column 2 equal to 0.1 times the intercept: its pivot is a rounding remainder or not positive.
  const std::string path = testing::TempDir() + "regress_constant.txt";
  EXPECT_EXIT(regress_on(path, {0.1, 0.1, 0.1}, {0.3, 0.7, 1.1}), testing::ExitedWithCode(1),
              "s_paus: can't open con!");
  const std::string out = contents(path);
  EXPECT_TRUE(out == " X'X is too ill-conditioned\n Row number 2\n" ||
              out == " X'X is not positive-definite\n Row number 2\n")
      << out;
}

}  // namespace
}  // namespace trov
