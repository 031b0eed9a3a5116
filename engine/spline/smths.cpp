#include "engine/spline/smths.h"

#include <cassert>

namespace trov {

namespace {

// Band columns, by stage (see SplineWork).
constexpr int kA = 0, kB = 1, kC = 2;                 // setupq: (DQ)_{i-1,i}, (DQ)_{i,i}, (DQ)_{i+1,i}
constexpr int kPivot = 0, kL1 = 1, kL2 = 2;           // chold: M_{i,i} then d_i, M_{i,i+1} then l1_i,
                                                      //        M_{i,i+2} then l2_i
constexpr int kH = 3;                                 // h_i
constexpr int kDiag0 = 4, kDiag1 = 5, kDiag2 = 6;     // (i,i), (i,i+1), (i,i+2) of Q'D^2Q, later of S
// Solution columns.
constexpr int kQu = 0, kU = 2, kQty = 3;

using Band = std::vector<std::array<double, 7>>;

// Entry (a, b) of the symmetric five-diagonal S stored in the band, |a - b| <= 2.
double band_entry(const Band& band, int a, int b) {
  return a <= b ? band[a][kDiag0 + (b - a)] : band[b][kDiag0 + (a - b)];
}

// g'·S·g for a row g of Q with count (1 to 3) non-zero entries at consecutive columns from first:
// w = S·g on those columns, then g'·w.
double row_quadratic_form(const Band& band, int first, const double* g, int count) {
  double v = 0;
  for (int a = 0; a < count; ++a) {
    double w = 0;
    for (int b = 0; b < count; ++b) w += band_entry(band, first + a, first + b) * g[b];
    v += g[a] * w;
  }
  return v;
}

// lev = 1 - c dy^2 v, as c*dy*dy*v from the left.
double leverage(double c, double dy, double v) { return 1 - c * dy * dy * v; }

}  // namespace

SplineWork::SplineWork(int capacity) : band(capacity), solution(capacity) {}

void setupq(std::span<const double> x, std::span<const double> dy, std::span<const double> y, int n,
            SplineWork& work) {
  Band& band = work.band;
  auto& solution = work.solution;
  band[0][kH] = x[1] - x[0];
  double prev = (y[1] - y[0]) / band[0][kH];
  // One pass: the DQ entries of knot i, then the Q'D^2Q entries that they complete, then Q'y.
  // b_i = -dy_i/h_i - dy_i/h_{i-1} = -a_{i+1} - c_{i-1}: each quotient is formed once.
  double a_next = dy[0] / band[0][kH];    // a_1
  double c_before = dy[1] / band[0][kH];  // dy_1/h_0, c_0 if row 0 had one
  for (int i = 1; i < n - 1; ++i) {
    auto& row = band[i];
    row[kH] = x[i + 1] - x[i];
    row[kA] = a_next;
    a_next = dy[i] / row[kH];
    row[kB] = -a_next - c_before;
    row[kC] = dy[i + 1] / row[kH];
    c_before = row[kC];
    // (Q'D^2Q)_{i,i} = a_i^2 + b_i^2 + c_i^2
    row[kDiag0] = row[kA] * row[kA] + row[kB] * row[kB] + row[kC] * row[kC];
    // (Q'D^2Q)_{i-1,i} = b_{i-1} a_i + c_{i-1} b_i
    if (i >= 2) band[i - 1][kDiag1] = band[i - 1][kB] * row[kA] + band[i - 1][kC] * row[kB];
    // (Q'D^2Q)_{i-2,i} = c_{i-2} a_i
    if (i >= 3) band[i - 2][kDiag2] = band[i - 2][kC] * row[kA];
    // (Q'y)_i = (y_{i+1} - y_i)/h_i - (y_i - y_{i-1})/h_{i-1}
    const double diff = (y[i + 1] - y[i]) / row[kH];
    solution[i][kQty] = diff - prev;
    prev = diff;
  }
  band[n - 1][kA] = 0;
  band[n - 2][kDiag1] = 0;
  band[n - 3][kDiag2] = 0;
  band[n - 2][kDiag2] = 0;
}

void chold(double p, int n, SplineWork& work) {
  Band& band = work.band;
  auto& solution = work.solution;
  // M = 6(1-p) Q'D^2Q + p T, five diagonals, rows 1 .. n-2
  const double c = 6 * (1 - p);
  for (int i = 1; i < n - 1; ++i) {
    auto& row = band[i];
    row[kPivot] = c * row[kDiag0] + 2 * p * (band[i - 1][kH] + row[kH]);
    row[kL1] = c * row[kDiag1] + p * row[kH];
    row[kL2] = c * row[kDiag2];
  }
  if (n - 2 < 2) {  // three knots: M is the single entry M_{1,1}
    solution[0][kU] = 0;
    solution[1][kU] = solution[1][kQty] / band[1][kPivot];
    solution[2][kU] = 0;
  } else {
    // M = L diag(d) L', row by row, with the forward substitution L·v = Q'y riding along: row i of
    // L is final once step i is done.
    solution[0][kU] = 0;
    band[0][kL2] = 0;
    solution[1][kU] = solution[1][kQty];
    for (int i = 1; i < n - 2; ++i) {
      auto& row = band[i];
      double r = row[kL1] / row[kPivot];
      band[i + 1][kPivot] -= r * row[kL1];
      band[i + 1][kL1] -= r * row[kL2];
      row[kL1] = r;
      r = row[kL2] / row[kPivot];
      band[i + 2][kPivot] -= r * row[kL2];
      row[kL2] = r;
      solution[i + 1][kU] = solution[i + 1][kQty] - row[kL1] * solution[i][kU] - band[i - 1][kL2] * solution[i - 1][kU];
    }
    // diag(d) L' u = v
    solution[n - 1][kU] = 0;
    solution[n - 2][kU] = solution[n - 2][kU] / band[n - 2][kPivot];
    for (int i = n - 3; i >= 1; --i) {
      solution[i][kU] = solution[i][kU] / band[i][kPivot] - solution[i + 1][kU] * band[i][kL1] -
                        band[i][kL2] * solution[i + 2][kU];
    }
  }
  // Q·u: (Qu)_i = s_{i+1} - s_i with s_i = (u_i - u_{i-1})/h_{i-1}, s_0 = 0 and (Qu)_{n-1} = -s_{n-1}
  double prev = 0;
  for (int i = 1; i < n; ++i) {
    const double s = (solution[i][kU] - solution[i - 1][kU]) / band[i - 1][kH];
    solution[i - 1][kQu] = s - prev;
    prev = s;
  }
  solution[n - 1][kQu] = -prev;
}

void lvrage(int n, std::span<const double> dy, double c, double& trace, std::span<double> lev,
            SplineWork& work) {
  Band& band = work.band;
  if (n == 3) {
    // M is 1-by-1 and every row of Q has its one entry in column 1: lev_j = 1 - c dy_j^2 g_j^2 / M_{1,1}.
    band[1][kDiag0] = 1 / band[1][kPivot];
    const double g[3] = {1 / band[0][kH], -1 / band[1][kH] - 1 / band[0][kH], 1 / band[1][kH]};
    for (int j = 0; j < 3; ++j) lev[j] = leverage(c, dy[j], row_quadratic_form(band, 1, &g[j], 1));
  } else {
    // Central band of S = M^-1 from the bottom up (S = L'^-1 diag(d)^-1 L^-1).
    band[n - 2][kDiag0] = 1 / band[n - 2][kPivot];
    band[n - 3][kDiag1] = -band[n - 3][kL1] * band[n - 2][kDiag0];
    band[n - 3][kDiag0] = 1 / band[n - 3][kPivot] - band[n - 3][kDiag1] * band[n - 3][kL1];
    for (int i = n - 4; i >= 1; --i) {
      auto& row = band[i];
      row[kDiag2] = -row[kL1] * band[i + 1][kDiag1] - row[kL2] * band[i + 2][kDiag0];
      row[kDiag1] = -row[kL1] * band[i + 1][kDiag0] - row[kL2] * band[i + 1][kDiag1];
      row[kDiag0] = 1 / row[kPivot] - row[kL1] * row[kDiag1] - row[kL2] * row[kDiag2];
    }
    // (Q S Q')_{j,j} from row j of Q: (1/h_{j-1}, -1/h_j - 1/h_{j-1}, 1/h_j) at columns j-1, j, j+1,
    // cut to the columns 1 .. n-2 that Q has.
    double inv_h_before = 1 / band[0][kH];
    {
      const double g = inv_h_before;
      lev[0] = leverage(c, dy[0], row_quadratic_form(band, 1, &g, 1));
    }
    for (int j = 1; j < n - 1; ++j) {
      const double inv_h = 1 / band[j][kH];
      const double g[3] = {inv_h_before, -inv_h - inv_h_before, inv_h};
      const int first = j == 1 ? 1 : j - 1;
      const int count = (j == 1 || j == n - 2) ? 2 : 3;
      lev[j] = leverage(c, dy[j], row_quadratic_form(band, first, j == 1 ? &g[1] : g, count));
      inv_h_before = inv_h;
    }
    {
      const double g = inv_h_before;
      lev[n - 1] = leverage(c, dy[n - 1], row_quadratic_form(band, n - 2, &g, 1));
    }
  }
  trace = 0;
  for (int j = 0; j < n; ++j) trace += lev[j];
}

void smths(double lambda, int n, std::span<const double> x, std::span<const double> y,
           std::span<const double> dy, std::span<double> fit, double& trace, std::span<double> lev,
           SplineWork& work) {
  assert(n <= static_cast<int>(work.band.size()));
  if (n < 3) {
    // No second differences: every straight line is free of penalty, and one through at most two
    // points interpolates them.
    trace = 0;
    for (int i = 0; i < n; ++i) {
      fit[i] = y[i];
      lev[i] = 1;
      trace += lev[i];
    }
    return;
  }
  // p from lambda and twice the spread between the knots at the quartile positions (counted from 1)
  const int q1 = static_cast<int>(0.25 * n + 1);
  const int q3 = static_cast<int>(0.75 * n + 1);
  const double t = 2 * (x[q3 - 1] - x[q1 - 1]);
  const double p = 1 / (1 + lambda * t);
  setupq(x, dy, y, n, work);
  chold(p, n, work);
  // fit = y - 6(1-p) D^2 Q u, as y - c*dy*dy*qu from the left with c = 6(1-p)
  const double c = 6 * (1 - p);
  for (int i = 0; i < n; ++i) fit[i] = y[i] - c * dy[i] * dy[i] * work.solution[i][kQu];
  lvrage(n, dy, c, trace, lev, work);
}

}  // namespace trov
