#pragma once

#include <span>

namespace trov {

// Dense double-precision matrix routines for the covariate regression.
//
// General matrices are column-major: element (i, j) (0-based) of a matrix with leading dimension ld
// lies at i + j * ld, so a routine can work on the leading block of a larger array.
//
// Packed symmetric matrices of order n hold the lower triangle row by row (the same sequence as the
// upper triangle column by column): element (i, j), j <= i, at i * (i + 1) / 2 + j. After a successful
// decomposition the array holds the Cholesky factor L (A = L L'), with 1/L(i, i) on the diagonal.
//
// ifail: 0 on success; +row (1-based) when the pivot of that row is not positive; -row when it is
// positive but lost in rounding. A negative order -n tells dsym and dsymi that the array already holds
// the factor of order n. No routine prints or stops; the caller owns the messages.

// B(j, i) = A(i, j) for the m x n block of A; B is n x m.
void dgtran(std::span<const double> a, std::span<double> b, int m, int n, int lda, int ldb);

// R = A B with A m x k, B k x n, R m x n. R must not overlap A or B.
void dgmult(std::span<const double> a, std::span<const double> b, std::span<double> r, int m, int k, int n,
            int lda, int ldb, int ldr);

// y = A x with A m x n. y must not overlap A or x.
void dgmatv(std::span<const double> a, std::span<const double> x, std::span<double> y, int m, int n, int lda);

// Cholesky decomposition of a packed symmetric matrix in place; does nothing for n <= 0.
void dsymd(std::span<double> a, int n, int& ifail);

// Solves A x = b with the factor left by dsymd (order |n|); b is replaced by x.
void dsyms(std::span<const double> a, int n, std::span<double> b);

// Decomposes (for n >= 1) and solves A x = b; b is replaced by x.
void dsym(std::span<double> a, int n, std::span<double> b, int& ifail);

// Replaces a packed symmetric positive-definite matrix by its inverse (decomposing first for n >= 1).
void dsymi(std::span<double> a, int n, int& ifail);

}  // namespace trov
