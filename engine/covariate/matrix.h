#pragma once

#include <span>

namespace trov {

// Dense double-precision matrix routines for the covariate regression.
//
// General matrices are column-major: element (i, j) (0-based) of a block with leading dimension ld lies
// at i + j * ld, so a routine can work on the leading block of a larger array.
//
// Packed symmetric matrices of order n hold the lower triangle row by row (the same sequence as the
// upper triangle column by column): element (i, j), j <= i, at i * (i + 1) / 2 + j. After a successful
// decomposition the array holds the Cholesky factor L (A = L L'), with 1/L(i, i) on the diagonal.
//
// ifail, returned by the decompositions: 0 on success; +row (1-based) when the pivot of that row is not
// positive; -row when it is positive but lost in rounding. A negative order -n tells dsym and dsymi
// that the array already holds the factor of order n. No routine prints or stops.

// The leading rows x columns block of a column-major array with leading dimension ld.
template <typename T>
struct MatrixBlock {
  std::span<T> data;
  int rows = 0;
  int columns = 0;
  int ld = 0;
};

// B = A' (B is A.columns x A.rows).
void dgtran(MatrixBlock<const double> a, MatrixBlock<double> b);

// R = A B with inner size A.columns; R is A.rows x B.columns and must not overlap A or B.
void dgmult(MatrixBlock<const double> a, MatrixBlock<const double> b, MatrixBlock<double> r);

// y = A x; y must not overlap A or x.
void dgmatv(MatrixBlock<const double> a, std::span<const double> x, std::span<double> y);

// Cholesky decomposition of a packed symmetric matrix in place; does nothing for n <= 0. Returns ifail.
int dsymd(std::span<double> a, int n);

// Solves A x = b with the factor left by dsymd (order |n|); b is replaced by x.
void dsyms(std::span<const double> a, int n, std::span<double> b);

// Decomposes (for n >= 1) and solves A x = b; b is replaced by x. Returns ifail.
int dsym(std::span<double> a, int n, std::span<double> b);

// Replaces a packed symmetric positive-definite matrix by its inverse (decomposing first for n >= 1).
// Returns ifail.
int dsymi(std::span<double> a, int n);

}  // namespace trov
