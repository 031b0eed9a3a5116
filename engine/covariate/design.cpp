#include "engine/covariate/design.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "engine/covariate/matrix.h"

namespace trov {

namespace {

// Side of the square blocks in which the cross products are accumulated.
constexpr int kTile = 4;
// Rows of the scaled design held at once (a few kilobytes, so the chunk stays in the first-level cache).
constexpr int kChunk = 64;
constexpr double kHuge = DBL_MAX;  // the largest finite value
// Rows whose 0/1 pattern is gathered at once.
constexpr int kBlock = 1024;
constexpr std::uint64_t kOnes = 0xffffffff;  // the bits of the columns that hold 1

// Index (0-based) of value in levels[0..nlev), or -1.
int find_level(std::span<const double> levels, int nlev, double value) {
  for (int k = 0; k < nlev; ++k)
    if (levels[k] == value) return k;
  return -1;
}

// cross(i, j) += sum over the chunk's rows l, ascending, of row(l, i) * row(l, j), for the tile of
// columns i in [ib, ib + kTile) and j in [jb, jb + kTile). Each of the sixteen sums keeps its own
// ascending order, so the result is exactly that of the sums taken one at a time.
void accumulate_tile(const double* rows, int width, int count, double* cross, int ib, int jb) {
  double acc[kTile][kTile];
  for (int jj = 0; jj < kTile; ++jj)
    for (int ii = 0; ii < kTile; ++ii) acc[jj][ii] = cross[(ib + ii) + (jb + jj) * width];
  for (int l = 0; l < count; ++l) {
    const double* row = rows + l * width;
    for (int jj = 0; jj < kTile; ++jj)
      for (int ii = 0; ii < kTile; ++ii) acc[jj][ii] += row[ib + ii] * row[jb + jj];
  }
  for (int jj = 0; jj < kTile; ++jj)
    for (int ii = 0; ii < kTile; ++ii) cross[(ib + ii) + (jb + jj) * width] = acc[jj][ii];
}

// xty(i) += sum over the chunk's rows l, ascending, of row(l, i) * yw(l), for i in [ib, ib + kTile).
void accumulate_products(const double* rows, int width, int count, const double* yw, double* xty, int ib) {
  double acc[kTile];
  for (int ii = 0; ii < kTile; ++ii) acc[ii] = xty[ib + ii];
  for (int l = 0; l < count; ++l)
    for (int ii = 0; ii < kTile; ++ii) acc[ii] += rows[l * width + ib + ii] * yw[l];
  for (int ii = 0; ii < kTile; ++ii) xty[ib + ii] = acc[ii];
}

}  // namespace

int designx(Design& design, int n) {
  const int rows = design.rows;
  std::span<double> xcov(design.xcov);
  std::span<double> levels(design.levels);
  const std::span<double> value = xcov.subspan(static_cast<std::size_t>(rows));  // column 2
  int nlev = 1;
  levels[0] = value[0];
  for (int i = 1; i < n; ++i) {
    if (find_level(levels, nlev, value[i]) >= 0) continue;
    if (nlev == kMaxcol) return kMaxcol + 1;
    levels[nlev++] = value[i];
  }
  // Point by point: the value in column 2 is read before the row's indicators overwrite it.
  for (int i = 0; i < n; ++i) {
    const int level = find_level(levels, nlev, value[i]);
    for (int j = 1; j < nlev; ++j) xcov[i + j * rows] = level == j ? 1.0 : 0.0;
  }
  return nlev;
}

Design build_design(const Points& points, bool categorical) {
  Design design;
  design.rows = points.n;
  design.categorical = categorical;
  design.xcov.assign(static_cast<std::size_t>(design.rows) * kMaxcol, 0.0);
  design.levels.assign(kMaxcol, 0.0);
  for (int i = 0; i < points.n; ++i) {
    design.xcov[static_cast<std::size_t>(i)] = 1.0;
    design.xcov[static_cast<std::size_t>(design.rows + i)] = points.covariate[i];
  }
  design.columns = categorical ? designx(design, points.n) : 2;
  return design;
}

RegressWork::RegressWork(int points) : width((kMaxcol + kTile - 1) / kTile * kTile) {
  rows.assign(static_cast<std::size_t>(kChunk) * width, 0.0);
  reciprocal.assign(kChunk, 0.0);
  yw.assign(kChunk, 0.0);
  bits.assign(static_cast<std::size_t>(points), 0);
  indicator.assign(width, 0);
  cross.assign(static_cast<std::size_t>(width) * width, 0.0);
  xty.assign(width, 0.0);
  packed.assign(static_cast<std::size_t>(kMaxcol) * (kMaxcol + 1) / 2, 0.0);
}

namespace {

// Marks the columns holding only 0 and 1 (the intercept, the indicators of a categorical covariate):
// 1*(1/dy) and 0*(1/dy) are exactly 1/dy and 0/dy, so one division per row serves them all.
// Per row l: bit j of bits(l) when column j holds 1, bit 32 + j when it holds 0 (separate loops, so
// that both vectorize), a block of rows at a time. Returns whether every column is such a one.
bool mark_indicators(const Design& design, int n, RegressWork& work) {
  const std::span<const double> xcov(design.xcov);
  const int ld = design.rows, p = design.columns;
  std::uint64_t* bits = work.bits.data();
  std::uint64_t zero_or_one = ~std::uint64_t{0};  // bit j: column j holds 0 or 1 in every row
  for (int first = 0; first < n; first += kBlock) {
    const int last = n - first < kBlock ? n : first + kBlock;
    for (int l = first; l < last; ++l) bits[l] = 0;
    for (int j = 0; j < p; ++j) {
      const double* column = xcov.data() + j * ld;
      const std::uint64_t one = std::uint64_t{1} << j, zero = std::uint64_t{1} << (32 + j);
      for (int l = first; l < last; ++l) bits[l] |= column[l] == 1.0 ? one : 0;
      for (int l = first; l < last; ++l) bits[l] |= column[l] == 0.0 ? zero : 0;
    }
    for (int l = first; l < last; ++l) zero_or_one &= bits[l] | bits[l] >> 32;
  }
  bool all_indicators = true;
  for (int j = 0; j < p; ++j) {
    work.indicator[j] = (zero_or_one >> j & 1) != 0;
    all_indicators = all_indicators && work.indicator[j];
  }
  return all_indicators;
}

// 1/dy and y/dy of the rows [start, start + count) into work.reciprocal and work.yw. Returns whether
// they are all finite.
bool scale_chunk(std::span<const double> y, std::span<const double> dy, int start, int count,
                 RegressWork& work) {
  double* reciprocal = work.reciprocal.data();
  double* yw = work.yw.data();
  const double* dy_chunk = dy.data() + start;
  double infinite = 0;  // 1 once 1/dy or y/dy is not finite
  for (int l = 0; l < count; ++l) {
    reciprocal[l] = 1.0 / dy_chunk[l];
    yw[l] = y[start + l] / dy_chunk[l];
    infinite = std::abs(reciprocal[l]) <= kHuge && std::abs(yw[l]) <= kHuge ? infinite : 1.0;
  }
  return infinite == 0;
}

// The sums of a scaled chunk of 0/1 rows (bits, its rows' patterns), over each row's ones only. Every
// term of a row is 1/dy times 1/dy, 1/dy times y/dy, or an exact zero. Adding an exact zero to a sum
// that starts at +0 and holds finite terms never changes it, so the zero terms are skipped and every
// sum stays exactly what it is over all the rows.
void add_indicator_rows(const std::uint64_t* bits, int count, RegressWork& work) {
  const int width = work.width;
  const double* reciprocal = work.reciprocal.data();
  const double* yw = work.yw.data();
  double* cross = work.cross.data();
  double* xty = work.xty.data();
  for (int l = 0; l < count; ++l) {
    const double square = reciprocal[l] * reciprocal[l];
    const double product = reciprocal[l] * yw[l];
    const std::uint64_t row_ones = bits[l] & kOnes;
    for (std::uint64_t js = row_ones; js != 0; js &= js - 1) {
      const int j = std::countr_zero(js);
      xty[j] += product;
      for (std::uint64_t is = row_ones; is != 0; is &= is - 1) {
        const int i = std::countr_zero(is);
        if (i > j) break;
        cross[i + j * width] += square;
      }
    }
  }
}

// The rows [start, start + count) scaled into work.rows, Xw(l, j) = X(l, j)/dy(l) (by the reciprocal
// in 0/1 columns), zero-padded to whole tiles, and their sums added a tile at a time.
void add_scaled_rows(const Design& design, std::span<const double> dy, int start, int count,
                     RegressWork& work) {
  const std::span<const double> xcov(design.xcov);
  const int ld = design.rows, p = design.columns;
  const int width = work.width;
  const int used = (p + kTile - 1) / kTile * kTile;  // columns of Xw, padded to whole tiles
  double* rows = work.rows.data();
  const double* reciprocal = work.reciprocal.data();
  const double* dy_chunk = dy.data() + start;
  for (int j = 0; j < p; ++j) {
    const double* column = xcov.data() + j * ld + start;
    if (work.indicator[j]) {
      for (int l = 0; l < count; ++l) rows[l * width + j] = column[l] * reciprocal[l];
    } else {
      for (int l = 0; l < count; ++l) rows[l * width + j] = column[l] / dy_chunk[l];
    }
  }
  for (int j = p; j < used; ++j)
    for (int l = 0; l < count; ++l) rows[l * width + j] = 0.0;
  for (int jb = 0; jb < used; jb += kTile)
    for (int ib = 0; ib <= jb; ib += kTile) accumulate_tile(rows, width, count, work.cross.data(), ib, jb);
  for (int ib = 0; ib < used; ib += kTile)
    accumulate_products(rows, width, count, work.yw.data(), work.xty.data(), ib);
}

// The weighted normal equations into work.cross and work.xty, from the rows scaled by 1/dy:
// Xw(l, j) = X(l, j)/dy(l), yw(l) = y(l)/dy(l), formed a chunk of rows at a time.
// X'X(i, j) = sum over l = 0..n-1 in ascending order of Xw(l, i) Xw(l, j), X'y(i) likewise of
// Xw(l, i) yw(l); many such sums are carried at once, each in its own order. Returns whether every row
// was summed over its ones only.
bool normal_equations(const Design& design, int n, std::span<const double> y, std::span<const double> dy,
                      RegressWork& work) {
  const int width = work.width;
  for (int k = 0; k < width * width; ++k) work.cross[k] = 0.0;
  for (int i = 0; i < width; ++i) work.xty[i] = 0.0;
  const bool all_indicators = mark_indicators(design, n, work);
  bool every_row_sparse = all_indicators;
  for (int start = 0; start < n; start += kChunk) {
    const int count = n - start < kChunk ? n - start : kChunk;
    const bool finite = scale_chunk(y, dy, start, count, work);
    if (all_indicators && finite) {
      add_indicator_rows(work.bits.data() + start, count, work);
      continue;
    }
    every_row_sparse = false;
    add_scaled_rows(design, dy, start, count, work);
  }
  return every_row_sparse;
}

// X'X packed column by column over its upper triangle and X'y into beta, solved by the factorisation
// with its checks of the pivots: 0, or the ifail of dsym.
int solve_normal_equations(int p, std::span<double> beta, RegressWork& work) {
  std::span<double> packed = work.packed;
  int next = 0;
  for (int j = 0; j < p; ++j)
    for (int i = 0; i <= j; ++i) packed[next++] = work.cross[i + j * work.width];
  for (int i = 0; i < p; ++i) beta[i] = work.xty[i];
  return dsym(packed, p, beta);
}

// fit = X beta. Over 0/1 rows with finite coefficients the terms 1*beta(j) are beta(j) and the terms
// 0*beta(j) exact zeros, so the sum over each row's ones, in ascending j, is the same sum.
void fitted_values(const Design& design, int n, std::span<const double> beta, bool every_row_sparse,
                   std::span<double> fit, const RegressWork& work) {
  const int p = design.columns;
  bool finite = true;
  for (int j = 0; j < p; ++j) finite = finite && std::abs(beta[j]) <= kHuge;
  if (!every_row_sparse || !finite) {
    dgmatv({std::span<const double>(design.xcov), n, p, design.rows}, beta, fit);
    return;
  }
  for (int l = 0; l < n; ++l) {
    double sum = 0.0;
    for (std::uint64_t js = work.bits[l] & kOnes; js != 0; js &= js - 1) sum += beta[std::countr_zero(js)];
    fit[l] = sum;
  }
}

}  // namespace

int regress(const Design& design, int n, std::span<const double> y, std::span<const double> dy,
            std::span<double> beta, std::span<double> fit, RegressWork& work) {
  const bool every_row_sparse = normal_equations(design, n, y, dy, work);
  if (const int ifail = solve_normal_equations(design.columns, beta, work); ifail != 0) return ifail;
  fitted_values(design, n, beta, every_row_sparse, fit, work);
  return 0;
}

}  // namespace trov
