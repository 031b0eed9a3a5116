#include "engine/covariate/matrix.h"

#include <cmath>
#include <cstdlib>

namespace trov {

namespace {

// Position of element (i, j), j <= i, of a packed symmetric matrix.
constexpr int packed(int i, int j) { return i * (i + 1) / 2 + j; }

}  // namespace

void dgtran(MatrixBlock<const double> a, MatrixBlock<double> b) {
  for (int i = 0; i < a.rows; ++i)
    for (int j = 0; j < a.columns; ++j) b.data[j + i * b.ld] = a.data[i + j * a.ld];
}

void dgmult(MatrixBlock<const double> a, MatrixBlock<const double> b, MatrixBlock<double> r) {
  const int m = a.rows, k = a.columns, n = b.columns;
  // R(i, j) = sum over l ascending of A(i, l) B(l, j); the rows of one column are accumulated side by
  // side so that A is read down its columns.
  for (int j = 0; j < n; ++j) {
    double* column = r.data.data() + j * r.ld;
    for (int i = 0; i < m; ++i) column[i] = 0.0;
    for (int l = 0; l < k; ++l) {
      const double blj = b.data[l + j * b.ld];
      const double* acol = a.data.data() + l * a.ld;
      for (int i = 0; i < m; ++i) column[i] += acol[i] * blj;
    }
  }
}

void dgmatv(MatrixBlock<const double> a, std::span<const double> x, std::span<double> y) {
  const int m = a.rows, n = a.columns;
  // y(i) = sum over j ascending of A(i, j) x(j), a block of rows at a time (so that the block of y
  // stays in the cache while A is read down its columns).
  constexpr int kBlock = 512;
  for (int first = 0; first < m; first += kBlock) {
    const int last = m - first < kBlock ? m : first + kBlock;
    for (int i = first; i < last; ++i) y[i] = 0.0;
    for (int j = 0; j < n; ++j) {
      const double xj = x[j];
      const double* column = a.data.data() + j * a.ld;
      for (int i = first; i < last; ++i) y[i] += column[i] * xj;
    }
  }
}

int dsymd(std::span<double> a, int n) {
  if (n <= 0) return 0;
  if (a[0] <= 0.0) return 1;
  a[0] = 1.0 / std::sqrt(a[0]);
  for (int i = 1; i < n; ++i) {
    // L(i, j) = (A(i, j) - sum_{k<j} L(i, k) L(j, k)) / L(j, j)
    for (int j = 0; j < i; ++j) {
      double sum = 0.0;
      for (int k = 0; k < j; ++k) sum += a[packed(i, k)] * a[packed(j, k)];
      a[packed(i, j)] = (a[packed(i, j)] - sum) * a[packed(j, j)];
    }
    // pivot d = A(i, i) - sum_{k<i} L(i, k)^2
    double sum = 0.0;
    for (int k = 0; k < i; ++k) sum += a[packed(i, k)] * a[packed(i, k)];
    const double d = a[packed(i, i)] - sum;
    if (d <= 0.0) return i + 1;
    // A thirty-second of the pivot that no longer changes the sum: the row is lost in rounding.
    if (sum + d * 0.03125 == sum) return -(i + 1);
    a[packed(i, i)] = 1.0 / std::sqrt(d);
  }
  return 0;
}

void dsyms(std::span<const double> a, int n, std::span<double> b) {
  n = std::abs(n);
  if (n == 0) return;
  // Forward: L y = b.
  b[0] *= a[0];
  for (int i = 1; i < n; ++i) {
    double sum = 0.0;
    for (int j = 0; j < i; ++j) sum += a[packed(i, j)] * b[j];
    b[i] = (b[i] - sum) * a[packed(i, i)];
  }
  // Back: L' x = y, column by column.
  for (int k = n - 1; k >= 1; --k) {
    b[k] *= a[packed(k, k)];
    for (int j = 0; j < k; ++j) b[j] -= a[packed(k, j)] * b[k];
  }
  b[0] *= a[0];
}

int dsym(std::span<double> a, int n, std::span<double> b) {
  if (n >= 1) {
    if (const int ifail = dsymd(a, n); ifail != 0) return ifail;
  }
  if (n != 0) dsyms(a, n, b);
  return 0;
}

int dsymi(std::span<double> a, int n) {
  if (const int ifail = dsymd(a, n); ifail != 0) return ifail;
  const int m = std::abs(n);
  // L^-1 in place: Linv(i, j) = -(1/L(i, i)) sum_{k=j..i-1} L(i, k) Linv(k, j); the diagonal already
  // holds 1/L(j, j), and row i still holds L from column j on when it is read.
  for (int i = 1; i < m; ++i)
    for (int j = 0; j < i; ++j) {
      double sum = 0.0;
      for (int k = j; k < i; ++k) sum += a[packed(i, k)] * a[packed(k, j)];
      a[packed(i, j)] = -a[packed(i, i)] * sum;
    }
  // A^-1 = Linv' Linv: Ainv(r, j) = sum_{k=r..m-1} Linv(k, j) Linv(k, r), columns ascending so every
  // entry read is still one of Linv.
  for (int j = 0; j < m; ++j)
    for (int r = j; r < m; ++r) {
      double sum = 0.0;
      for (int k = r; k < m; ++k) sum += a[packed(k, j)] * a[packed(k, r)];
      a[packed(r, j)] = sum;
    }
  return 0;
}

}  // namespace trov
