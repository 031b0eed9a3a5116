#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace trov {

// Turns a categorical covariate into indicator columns. On entry column 0 of xcov holds the intercept
// and column 1 the covariate value of each of the n points; nlev enters as 1. On exit levels holds the
// nlev distinct values in the order they are first met (compared exactly) and columns 1..nlev-1 hold
// the indicators of levels 1..nlev-1; the first level is the reference, absorbed by the intercept.
// More than maxcol levels: the level list is written to standard output and the run ends.
void designx(std::span<double> xcov, int capacity, int maxcol, int n, int& nlev, std::span<double> levels);

// Work storage of regress, allocated once per run.
struct RegressWork {
  RegressWork(int capacity, int maxcol);

  // One chunk of rows of the scaled design X/dy, row-major, zero-padded to `width` columns; 1/dy and
  // y/dy of those rows.
  std::vector<double> rows;
  std::vector<double> reciprocal;
  std::vector<double> yw;
  // Per column: 0/1 values only. Per row: bit j set when column j holds 1, bit 32 + j when it holds 0
  // (so maxcol <= 32).
  std::vector<char> indicator;
  std::vector<std::uint64_t> bits;
  // Cross products of the scaled columns, width x width (upper triangle used), and X'y.
  std::vector<double> cross;
  std::vector<double> xty;
  // X'X in packed symmetric form, then its factor.
  std::vector<double> packed;
  int width;  // columns of a chunk row: maxcol rounded up to whole blocks
};

// Weighted least squares of y on the first p columns of X (n rows), row i weighted by 1/dy(i)^2:
// beta solves X'WX beta = X'Wy, fit = X beta (unweighted). A design whose normal equations are not
// positive-definite, or not so to working precision, ends the run with the failing column number.
void regress(std::span<const double> xcov, std::span<const double> y, int capacity, int maxcol, int p, int n,
             std::span<double> beta, std::span<double> fit, std::span<const double> dy, RegressWork& work);

}  // namespace trov
