#include "engine/covariate/matrix.h"

#include <gtest/gtest.h>

#include <vector>

namespace trov {
namespace {

TEST(matrix_test, one_by_one_system_and_its_failures) {
  std::vector<double> a{4.0}, b{2.0};
  int ifail = dsym(a, 1, b);
  EXPECT_EQ(ifail, 0);
  EXPECT_DOUBLE_EQ(b[0], 0.5);
  EXPECT_DOUBLE_EQ(a[0], 0.5);  // the factor keeps the reciprocal of L(1,1) = 2
  for (double pivot : {0.0, -3.0}) {
    a = {pivot};
    ifail = dsym(a, 1, b);
    EXPECT_EQ(ifail, 1) << pivot;
  }
}

TEST(matrix_test, three_by_three_solve_and_reuse_of_the_factor) {
  // A = [4 2 -2; 2 10 4; -2 4 9], packed lower triangle row by row.
  const std::vector<double> matrix{4, 2, 10, -2, 4, 9};
  std::vector<double> a = matrix;
  // A (1, 2, 3)' = (2, 34, 33)'
  std::vector<double> b{2, 34, 33};
  int ifail = dsym(a, 3, b);
  ASSERT_EQ(ifail, 0);
  EXPECT_NEAR(b[0], 1.0, 1e-14);
  EXPECT_NEAR(b[1], 2.0, 1e-14);
  EXPECT_NEAR(b[2], 3.0, 1e-14);
  // L = [2; 1 3; -1 5/3 sqrt(47)/3], diagonals held as reciprocals.
  EXPECT_DOUBLE_EQ(a[0], 0.5);
  EXPECT_DOUBLE_EQ(a[1], 1.0);
  EXPECT_DOUBLE_EQ(a[2], 1.0 / 3.0);
  EXPECT_DOUBLE_EQ(a[4], 5.0 / 3.0);
  // Order -3 solves with the factor already in place: A (-1, 0, 2)' = (-8, 6, 20)'.
  const std::vector<double> factor = a;
  b = {-8, 6, 20};
  ifail = dsym(a, -3, b);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(a, factor);
  EXPECT_NEAR(b[0], -1.0, 1e-14);
  EXPECT_NEAR(b[1], 0.0, 1e-14);
  EXPECT_NEAR(b[2], 2.0, 1e-14);
  // Order 0 leaves everything alone.
  b = {7, 8, 9};
  ifail = dsym(a, 0, b);
  EXPECT_EQ(ifail, 0);
  EXPECT_EQ(b, (std::vector<double>{7, 8, 9}));
}

TEST(matrix_test, failing_row_is_reported_with_its_sign) {
  // Third row the sum of the first two: the pivot of row 3 vanishes (exactly or in rounding).
  // Rows (1 0 1), (0 1 1), (1 1 2) as a Gram matrix of columns u, v, u + v.
  std::vector<double> a{1, 0, 1, 1, 1, 2}, b{1, 1, 1};
  int ifail = dsym(a, 3, b);
  EXPECT_TRUE(ifail == 3 || ifail == -3) << ifail;
  // Columns c1, c2 and c3 = c1 + c2 with inexact entries: the pivot of row 3 ends as a rounding
  // remainder of either sign or a negligible positive one; row 3 is named either way.
  const double c1[2] = {0.1, 0.7}, c2[2] = {0.7, 0.3};
  const double c3[2] = {c1[0] + c2[0], c1[1] + c2[1]};
  auto dot = [](const double* u, const double* v) { return u[0] * v[0] + u[1] * v[1]; };
  a = {dot(c1, c1), dot(c2, c1), dot(c2, c2), dot(c3, c1), dot(c3, c2), dot(c3, c3)};
  ifail = dsymd(a, 3);
  EXPECT_TRUE(ifail == 3 || ifail == -3) << ifail;
  // A positive but negligible pivot in row 2 gives -2.
  a = {1.0, 1.0, 1.0 + 0x1p-52};  // pivot 2^-52 against a sum of 1
  ifail = dsymd(a, 2);
  EXPECT_EQ(ifail, -2);
  // A negative pivot in row 2 gives +2.
  a = {1.0, 2.0, 1.0};
  ifail = dsymd(a, 2);
  EXPECT_EQ(ifail, 2);
}

TEST(matrix_test, inverse_in_packed_form) {
  std::vector<double> a{2, 1, 2};
  int ifail = dsymi(a, 2);
  ASSERT_EQ(ifail, 0);
  EXPECT_NEAR(a[0], 2.0 / 3.0, 1e-15);
  EXPECT_NEAR(a[1], -1.0 / 3.0, 1e-15);
  EXPECT_NEAR(a[2], 2.0 / 3.0, 1e-15);
  // 3 x 3: A * inverse(A) = I; again through an existing factor (order -3).
  const std::vector<double> matrix{4, 2, 10, -2, 4, 9};
  std::vector<double> inv = matrix;
  dsymd(inv, 3);
  ifail = dsymi(inv, -3);
  ASSERT_EQ(ifail, 0);
  auto at = [](const std::vector<double>& p, int i, int j) {
    return i >= j ? p[i * (i + 1) / 2 + j] : p[j * (j + 1) / 2 + i];
  };
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += at(matrix, i, k) * at(inv, k, j);
      EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-14) << i << "," << j;
    }
  std::vector<double> singular{1, 1, 1};
  ifail = dsymi(singular, 2);
  EXPECT_NE(ifail, 0);
}

TEST(matrix_test, general_routines_work_on_leading_blocks) {
  // A is 2 x 3 inside an array with leading dimension 5; the other rows hold markers.
  std::vector<double> a(15, 99.0);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) a[i + j * 5] = 10 * (i + 1) + (j + 1);
  std::vector<double> t(3 * 4, -1.0);
  dgtran({a, 2, 3, 5}, {t, 3, 2, 4});
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_EQ(t[j + i * 4], 10 * (i + 1) + (j + 1));
  EXPECT_EQ(t[3], -1.0);  // row 4 of the target untouched

  // R = A T (2 x 3 times 3 x 2) and y = A x.
  std::vector<double> r(2 * 3, 99.0);
  dgmult({a, 2, 3, 5}, {t, 3, 2, 4}, {r, 2, 2, 3});
  // A = [11 12 13; 21 22 23]; A A' = [434 794; 794 1454]
  EXPECT_EQ(r[0], 434);
  EXPECT_EQ(r[1], 794);
  EXPECT_EQ(r[3], 794);
  EXPECT_EQ(r[4], 1454);
  EXPECT_EQ(r[2], 99.0);
  std::vector<double> x{1, -1, 2}, y(2, 99.0);
  dgmatv({a, 2, 3, 5}, x, y);
  EXPECT_EQ(y[0], 11 - 12 + 26);
  EXPECT_EQ(y[1], 21 - 22 + 46);
  // An empty inner dimension gives zeros.
  dgmult({a, 2, 0, 5}, {t, 0, 2, 4}, {r, 2, 2, 3});
  EXPECT_EQ(r[0], 0.0);
  EXPECT_EQ(r[4], 0.0);
}

}  // namespace
}  // namespace trov
