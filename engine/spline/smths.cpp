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

// g'·S·g for a row g of Q with kCount (1 to 3) non-zero entries at consecutive columns from first:
// w = S·g on those columns, then g'·w, each sum in column order.
template <int kCount>
double row_quadratic_form(const Band& band, int first, const double* g) {
  double v = 0;
  for (int a = 0; a < kCount; ++a) {
    double w = 0;
    for (int b = 0; b < kCount; ++b) w += band_entry(band, first + a, first + b) * g[b];
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
  // M = 6(1-p) Q'D^2Q + p T, five diagonals, rows 1 .. n-2, formed just before the factorization
  // first reaches a row.
  const double c = 6 * (1 - p);
  auto form_row = [&](int i) {
    auto& row = band[i];
    row[kPivot] = c * row[kDiag0] + 2 * p * (band[i - 1][kH] + row[kH]);
    row[kL1] = c * row[kDiag1] + p * row[kH];
    row[kL2] = c * row[kDiag2];
  };
  form_row(1);
  if (n - 2 < 2) {  // three knots: M is the single entry M_{1,1}
    solution[0][kU] = 0;
    solution[1][kU] = solution[1][kQty] / band[1][kPivot];
    solution[2][kU] = 0;
  } else {
    form_row(2);
    // M = L diag(d) L', row by row, with the forward substitution L·v = Q'y riding along: row i of
    // L is final once step i is done. The entries still being reduced travel in registers:
    // d = d_i, m = M_{i,i+1}, d_next = d_{i+1}; v = v_i, v_before = v_{i-1}, l2_before = l2_{i-1}.
    double d = band[1][kPivot], m = band[1][kL1], d_next = band[2][kPivot];
    double v_before = 0, v = solution[1][kQty], l2_before = 0;
    solution[0][kU] = v_before;
    band[0][kL2] = l2_before;
    solution[1][kU] = v;
    for (int i = 1; i < n - 2; ++i) {
      if (i + 2 < n - 1) form_row(i + 2);
      auto& row = band[i];
      const double m2 = row[kL2];  // M_{i,i+2}, never reduced
      const double l1 = m / d;
      d_next -= l1 * m;
      const double m_next = band[i + 1][kL1] - l1 * m2;
      const double l2 = m2 / d;
      const double d_after = band[i + 2][kPivot] - l2 * m2;
      row[kPivot] = d;
      row[kL1] = l1;
      row[kL2] = l2;
      const double v_next = solution[i + 1][kQty] - l1 * v - l2_before * v_before;
      solution[i + 1][kU] = v_next;
      v_before = v, v = v_next, l2_before = l2;
      d = d_next, m = m_next, d_next = d_after;
    }
    band[n - 2][kPivot] = d;
    band[n - 2][kL1] = m;
    band[n - 1][kPivot] = d_next;
    // diag(d) L' u = v
    solution[n - 1][kU] = 0;
    solution[n - 2][kU] = solution[n - 2][kU] / band[n - 2][kPivot];
  }
  // Back substitution from the bottom up, and Q·u as soon as its u's are final:
  // (Qu)_i = s_{i+1} - s_i with s_i = (u_i - u_{i-1})/h_{i-1}, s_0 = 0, and (Qu)_{n-1} = -s_{n-1}.
  double u_after2 = solution[n - 1][kU], u_after = solution[n - 2][kU];  // u_{i+2}, u_{i+1}
  double s_after = (u_after2 - u_after) / band[n - 2][kH];
  solution[n - 1][kQu] = -s_after;
  for (int i = n - 3; i >= 1; --i) {
    auto& row = band[i];
    const double u = solution[i][kU] / row[kPivot] - u_after * row[kL1] - row[kL2] * u_after2;
    solution[i][kU] = u;
    const double s = (u_after - u) / row[kH];
    solution[i + 1][kQu] = s_after - s;
    s_after = s;
    u_after2 = u_after, u_after = u;
  }
  const double s = (u_after - solution[0][kU]) / band[0][kH];
  solution[1][kQu] = s_after - s;
  solution[0][kQu] = s - 0;
}

void lvrage(int n, std::span<const double> dy, double c, double& trace, std::span<double> lev,
            SplineWork& work) {
  Band& band = work.band;
  if (n == 3) {
    // M is 1-by-1 and every row of Q has its one entry in column 1: lev_j = 1 - c dy_j^2 g_j^2 / M_{1,1}.
    band[1][kDiag0] = 1 / band[1][kPivot];
    const double g[3] = {1 / band[0][kH], -1 / band[1][kH] - 1 / band[0][kH], 1 / band[1][kH]};
    for (int j = 0; j < 3; ++j) lev[j] = leverage(c, dy[j], row_quadratic_form<1>(band, 1, &g[j]));
  } else {
    // Central band of S = M^-1 from the bottom up (S = L'^-1 diag(d)^-1 L^-1); as soon as rows
    // j-1 .. j+1 of S are known, the leverage of knot j from row j of Q:
    // (1/h_{j-1}, -1/h_j - 1/h_{j-1}, 1/h_j) at columns j-1, j, j+1, cut to the columns 1 .. n-2.
    band[n - 2][kDiag0] = 1 / band[n - 2][kPivot];
    band[n - 3][kDiag1] = -band[n - 3][kL1] * band[n - 2][kDiag0];
    band[n - 3][kDiag0] = 1 / band[n - 3][kPivot] - band[n - 3][kDiag1] * band[n - 3][kL1];
    double inv_h_after = 1 / band[n - 2][kH];
    lev[n - 1] = leverage(c, dy[n - 1], row_quadratic_form<1>(band, n - 2, &inv_h_after));
    double inv_h = 1 / band[n - 3][kH];
    {
      const double g[2] = {inv_h, -inv_h_after - inv_h};
      lev[n - 2] = leverage(c, dy[n - 2], row_quadratic_form<2>(band, n - 3, g));
    }
    // S_{i+1,i+1}, S_{i+1,i+2}, S_{i+2,i+2} travel in registers
    double s11 = band[n - 3][kDiag0], s12 = band[n - 3][kDiag1], s22 = band[n - 2][kDiag0];
    for (int i = n - 4; i >= 1; --i) {
      auto& row = band[i];
      const double s02 = -row[kL1] * s12 - row[kL2] * s22;
      const double s01 = -row[kL1] * s11 - row[kL2] * s12;
      const double s00 = 1 / row[kPivot] - row[kL1] * s01 - row[kL2] * s02;
      row[kDiag2] = s02;
      row[kDiag1] = s01;
      row[kDiag0] = s00;
      inv_h_after = inv_h;
      inv_h = 1 / row[kH];
      const double g[3] = {inv_h, -inv_h_after - inv_h, inv_h_after};
      lev[i + 1] = leverage(c, dy[i + 1], row_quadratic_form<3>(band, i, g));
      s22 = s11, s12 = s01, s11 = s00;
    }
    const double inv_h0 = 1 / band[0][kH];
    const double g[2] = {-inv_h - inv_h0, inv_h};
    lev[1] = leverage(c, dy[1], row_quadratic_form<2>(band, 1, g));
    lev[0] = leverage(c, dy[0], row_quadratic_form<1>(band, 1, &inv_h0));
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
