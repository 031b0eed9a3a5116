#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/design.h"
#include "engine/core/points.h"

namespace trov {

// Turns a categorical covariate into indicator columns. On entry column 0 of the design's xcov holds
// the intercept and column 1 the covariate value of each of the n points. Returns the number of
// levels: design.levels holds the distinct values in the order they are first met (compared exactly)
// and columns 1 .. levels-1 the indicators of levels 1 .. levels-1 (the first level is the reference,
// absorbed by the intercept). More than kMaxcol levels: returns kMaxcol + 1 as soon as the next level
// is met, with the first kMaxcol levels in design.levels and the columns untouched.
int designx(Design& design, int n);

// The design of the points' covariate: intercept and covariate value, or (categorical) the level
// design of designx. With more than kMaxcol levels, columns is kMaxcol + 1 and the design unusable.
Design build_design(const Points& points, bool categorical);

// Work storage of regress for designs of up to `points` rows, allocated once per run.
struct RegressWork {
  explicit RegressWork(int points);

  // One chunk of rows of the scaled design X/dy, row-major, zero-padded to `width` columns; 1/dy and
  // y/dy of those rows.
  std::vector<double> rows;
  std::vector<double> reciprocal;
  std::vector<double> yw;
  // Per column: 0/1 values only. Per row: bit j set when column j holds 1, bit 32 + j when it holds 0
  // (so kMaxcol <= 32).
  std::vector<char> indicator;
  std::vector<std::uint64_t> bits;
  // Cross products of the scaled columns, width x width (upper triangle used), and X'y.
  std::vector<double> cross;
  std::vector<double> xty;
  // X'X in packed symmetric form, then its factor.
  std::vector<double> packed;
  int width;  // columns of a chunk row: kMaxcol rounded up to whole blocks
};

// Weighted least squares of y on the design's columns (its first n rows), row i weighted by 1/dy(i)^2:
// beta solves X'WX beta = X'Wy, fit = X beta (unweighted). Returns 0, or the ifail of the solve when
// the normal equations are not positive-definite (+column) or not so to working precision (-column);
// beta and fit are then not finished.
int regress(const Design& design, int n, std::span<const double> y, std::span<const double> dy,
            std::span<double> beta, std::span<double> fit, RegressWork& work);

}  // namespace trov
