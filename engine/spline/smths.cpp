#include "engine/spline/smths.h"

#include <algorithm>
#include <cassert>

namespace trov {

namespace {

// Band columns, by stage (see SplineWork).
constexpr int kA = 0, kB = 1, kC = 2;        // setupq: (DQ)_{i-1,i}, (DQ)_{i,i}, (DQ)_{i+1,i}
constexpr int kPivot = 0, kL1 = 1, kL2 = 2;  // chold: M_{i,i}, M_{i,i+1}, M_{i,i+2}, then d_i, l1_i, l2_i
constexpr int kH = 3;                        // h_i
constexpr int kDiag0 = 4, kDiag1 = 5, kDiag2 = 6;  // (i,i), (i,i+1), (i,i+2) of Q'D^2Q, later of S

using Band = std::vector<SplineWork::BandRow>;

// One call of smths: its data, its work storage and the mixing weight.
struct SplineCall {
  int n;
  std::span<const double> x, y, dy;
  std::span<double> fit, lev;
  Band& band;
  std::vector<SplineWork::SolutionRow>& solution;
  double p;
  double c;  // 6(1-p)
};

// ---- setupq: DQ, Q'D^2Q and Q'y, one knot at a time --------------------------------------------

// Quotients carried to the next knot: b_i = -dy_i/h_i - dy_i/h_{i-1} = -a_{i+1} - c_{i-1}, so each
// quotient is formed once.
struct SetupCarry {
  double a_next;       // a_i = dy_{i-1}/h_{i-1}
  double c_before;     // dy_i/h_{i-1}
  double diff_before;  // (y_i - y_{i-1})/h_{i-1}
};

SetupCarry setupq_start(const SplineCall& call) {
  call.band[0][kH] = call.x[1] - call.x[0];
  const double h = call.band[0][kH];
  return {call.dy[0] / h, call.dy[1] / h, (call.y[1] - call.y[0]) / h};
}

// Knot i (1 .. n-2): its DQ entries, then the Q'D^2Q entries that they complete, then Q'y.
inline void setupq_row(const SplineCall& call, int i, SetupCarry& carry) {
  Band& band = call.band;
  auto& row = band[i];
  row[kH] = call.x[i + 1] - call.x[i];
  row[kA] = carry.a_next;
  carry.a_next = call.dy[i] / row[kH];
  row[kB] = -carry.a_next - carry.c_before;
  row[kC] = call.dy[i + 1] / row[kH];
  carry.c_before = row[kC];
  // (Q'D^2Q)_{i,i} = a_i^2 + b_i^2 + c_i^2
  row[kDiag0] = row[kA] * row[kA] + row[kB] * row[kB] + row[kC] * row[kC];
  // (Q'D^2Q)_{i-1,i} = b_{i-1} a_i + c_{i-1} b_i
  if (i >= 2) band[i - 1][kDiag1] = band[i - 1][kB] * row[kA] + band[i - 1][kC] * row[kB];
  // (Q'D^2Q)_{i-2,i} = c_{i-2} a_i
  if (i >= 3) band[i - 2][kDiag2] = band[i - 2][kC] * row[kA];
  // (Q'y)_i = (y_{i+1} - y_i)/h_i - (y_i - y_{i-1})/h_{i-1}
  const double diff = (call.y[i + 1] - call.y[i]) / row[kH];
  call.solution[i].qty = diff - carry.diff_before;
  carry.diff_before = diff;
}

// The entries beyond the last knot's that the band algorithm reads as zero.
void setupq_finish(const SplineCall& call) {
  const int n = call.n;
  call.band[n - 1][kA] = 0;
  call.band[n - 2][kDiag1] = 0;
  call.band[n - 3][kDiag2] = 0;
  call.band[n - 2][kDiag2] = 0;
}

// ---- chold: M = L diag(d) L', M u = Q'y, Q·u ------------------------------------------------

// Row i (1 .. n-2) of M = 6(1-p) Q'D^2Q + p T, five diagonals; needs Q'D^2Q row i complete.
inline void chold_form_row(const SplineCall& call, int i) {
  auto& row = call.band[i];
  row[kPivot] = call.c * row[kDiag0] + 2 * call.p * (call.band[i - 1][kH] + row[kH]);
  row[kL1] = call.c * row[kDiag1] + call.p * row[kH];
  row[kL2] = call.c * row[kDiag2];
}

// The entries still being reduced travel in registers from one step to the next.
struct FactorCarry {
  double d = 0, m = 0, d_next = 0;            // d_k, M_{k,k+1}, d_{k+1}
  double v = 0, v_before = 0, l2_before = 0;  // v_k, v_{k-1}, l2_{k-1} of L·v = Q'y
};

// Step k (1 .. n-3) of the factorization, with the forward substitution L·v = Q'y riding along
// (row k of L is final once step k is done); needs rows k .. k+2 of M.
inline void chold_factor_row(const SplineCall& call, int k, FactorCarry& carry) {
  Band& band = call.band;
  auto& solution = call.solution;
  if (k == 1) {
    carry = {band[1][kPivot], band[1][kL1], band[2][kPivot], solution[1].qty, 0, 0};
    solution[0].u = 0;
    band[0][kL2] = 0;
    solution[1].u = carry.v;
  }
  auto& row = band[k];
  const double m2 = row[kL2];  // M_{k,k+2}, never reduced
  const double l1 = carry.m / carry.d;
  carry.d_next -= l1 * carry.m;
  const double m_next = band[k + 1][kL1] - l1 * m2;
  const double l2 = m2 / carry.d;
  const double d_after = band[k + 2][kPivot] - l2 * m2;
  row[kPivot] = carry.d;
  row[kL1] = l1;
  row[kL2] = l2;
  const double v_next = solution[k + 1].qty - l1 * carry.v - carry.l2_before * carry.v_before;
  solution[k + 1].u = v_next;
  carry.v_before = carry.v, carry.v = v_next, carry.l2_before = l2;
  carry.d = carry.d_next, carry.m = m_next, carry.d_next = d_after;
}

// fit_i = y_i - 6(1-p) dy_i^2 (Qu)_i with c = 6(1-p) and dy_i^2 one factor: (c (dy dy)) qu
inline void fit_row(const SplineCall& call, int i, double qu) {
  call.fit[i] = call.y[i] - call.c * (call.dy[i] * call.dy[i]) * qu;
}

// Back substitution diag(d) L' u = v from the bottom up, and Q·u as soon as its u's are final:
// (Qu)_i = s_{i+1} - s_i with s_i = (u_i - u_{i-1})/h_{i-1}, s_0 = 0 and (Qu)_{n-1} = -s_{n-1}.
struct BackCarry {
  double u_after, u_after2;  // u_{i+1}, u_{i+2}
  double s_after;            // s_{i+2}
};

BackCarry chold_back_start(const SplineCall& call) {
  const int n = call.n;
  const double u_after = call.solution[n - 2].u, u_after2 = call.solution[n - 1].u;
  const double s = (u_after2 - u_after) / call.band[n - 2][kH];
  fit_row(call, n - 1, -s);
  return {u_after, u_after2, s};
}

// u_i (i = n-3 .. 1), then s_{i+1} and the fitted value at knot i+1.
inline void chold_back_row(const SplineCall& call, int i, BackCarry& carry) {
  const auto& row = call.band[i];
  const double u = call.solution[i].u / row[kPivot] - carry.u_after * row[kL1] - row[kL2] * carry.u_after2;
  call.solution[i].u = u;
  const double s = (carry.u_after - u) / row[kH];
  fit_row(call, i + 1, carry.s_after - s);
  carry.s_after = s;
  carry.u_after2 = carry.u_after, carry.u_after = u;
}

void chold_back_finish(const SplineCall& call, const BackCarry& carry) {
  const double s = (carry.u_after - call.solution[0].u) / call.band[0][kH];
  fit_row(call, 1, carry.s_after - s);
  fit_row(call, 0, s - 0);
}

// ---- lvrage: central band of S = M^-1 and the leverages ------------------------------------------

// Entry (a, b) of the symmetric five-diagonal S stored in the band, |a - b| <= 2.
double band_entry(const Band& band, int a, int b) {
  return a <= b ? band[a][kDiag0 + (b - a)] : band[b][kDiag0 + (a - b)];
}

// lev_j = 1 - c dy_j^2 g'·S·g for row j of Q with kCount (1 to 3) non-zero entries g at consecutive
// columns from first: w = S·g on those columns, then g'·w, each sum in column order, and the
// product (c (dy dy)) v with dy_j^2 one factor.
template <int kCount>
void lvrage_leverage(const SplineCall& call, int j, int first, const double* g) {
  double v = 0;
  for (int a = 0; a < kCount; ++a) {
    double w = 0;
    for (int b = 0; b < kCount; ++b) w += band_entry(call.band, first + a, first + b) * g[b];
    v += g[a] * w;
  }
  call.lev[j] = 1 - call.c * (call.dy[j] * call.dy[j]) * v;
}

// Row j of Q is (1/h_{j-1}, -1/h_j - 1/h_{j-1}, 1/h_j) at columns j-1, j, j+1, cut to the
// columns 1 .. n-2 that Q has. S comes from the bottom up (S = L'^-1 diag(d)^-1 L^-1); as soon as
// rows j-1 .. j+1 of S are known, the leverage of knot j follows.
struct LeverageCarry {
  double s11, s12, s22;  // S_{i+1,i+1}, S_{i+1,i+2}, S_{i+2,i+2}
  double inv_h;          // 1/h_{i+1}
};

// Rows n-2 and n-3 of S, leverages of the last two knots (at least four knots).
LeverageCarry lvrage_start(const SplineCall& call) {
  const int n = call.n;
  Band& band = call.band;
  band[n - 2][kDiag0] = 1 / band[n - 2][kPivot];
  band[n - 3][kDiag1] = -band[n - 3][kL1] * band[n - 2][kDiag0];
  band[n - 3][kDiag0] = 1 / band[n - 3][kPivot] - band[n - 3][kDiag1] * band[n - 3][kL1];
  const double inv_h_last = 1 / band[n - 2][kH];
  lvrage_leverage<1>(call, n - 1, n - 2, &inv_h_last);
  const double inv_h = 1 / band[n - 3][kH];
  const double g[2] = {inv_h, -inv_h_last - inv_h};
  lvrage_leverage<2>(call, n - 2, n - 3, g);
  return {band[n - 3][kDiag0], band[n - 3][kDiag1], band[n - 2][kDiag0], inv_h};
}

// Row i (n-4 .. 1) of S, then the leverage of knot i+1.
inline void lvrage_row(const SplineCall& call, int i, LeverageCarry& carry) {
  auto& row = call.band[i];
  const double s02 = -row[kL1] * carry.s12 - row[kL2] * carry.s22;
  const double s01 = -row[kL1] * carry.s11 - row[kL2] * carry.s12;
  const double s00 = 1 / row[kPivot] - row[kL1] * s01 - row[kL2] * s02;
  row[kDiag2] = s02;
  row[kDiag1] = s01;
  row[kDiag0] = s00;
  const double inv_h_after = carry.inv_h;
  carry.inv_h = 1 / row[kH];
  const double g[3] = {carry.inv_h, -inv_h_after - carry.inv_h, inv_h_after};
  lvrage_leverage<3>(call, i + 1, i, g);
  carry.s22 = carry.s11, carry.s12 = s01, carry.s11 = s00;
}

// Leverages of the first two knots.
void lvrage_finish(const SplineCall& call, const LeverageCarry& carry) {
  const double inv_h0 = 1 / call.band[0][kH];
  const double g[2] = {-carry.inv_h - inv_h0, carry.inv_h};
  lvrage_leverage<2>(call, 1, 1, g);
  lvrage_leverage<1>(call, 0, 1, &inv_h0);
}

// Three knots: M is 1-by-1 and every row of Q has its one entry in column 1,
// so lev_j = 1 - c dy_j^2 g_j (g_j / M_{1,1}).
void lvrage_three_knots(const SplineCall& call) {
  Band& band = call.band;
  band[1][kDiag0] = 1 / band[1][kPivot];
  const double g[3] = {1 / band[0][kH], -1 / band[1][kH] - 1 / band[0][kH], 1 / band[1][kH]};
  for (int j = 0; j < 3; ++j) lvrage_leverage<1>(call, j, 1, &g[j]);
}

}  // namespace

double penalty_scale(std::span<const double> x) {
  const auto n = x.size();
  const auto q1 = static_cast<std::size_t>(0.25 * static_cast<double>(n) + 1);
  const auto q3 = static_cast<std::size_t>(0.75 * static_cast<double>(n) + 1);
  return 2 * (x[q3 - 1] - x[q1 - 1]);
}

SplineWork::SplineWork(int capacity) : band(capacity), solution(capacity) {}

double smths(double lambda, std::span<const double> x, std::span<const double> y, std::span<const double> dy,
             std::span<double> fit, std::span<double> lev, SplineWork& work) {
  const int n = static_cast<int>(x.size());
  assert(n <= static_cast<int>(work.band.size()));
  if (n < 3) {
    // No second differences: every straight line is free of penalty, and one through at most two
    // points interpolates them.
    double trace = 0;
    for (int i = 0; i < n; ++i) {
      fit[i] = y[i];
      lev[i] = 1;
      trace += lev[i];
    }
    return trace;
  }
  const double p = 1 / (1 + lambda * penalty_scale(x));
  const SplineCall call{n, x, y, dy, fit, lev, work.band, work.solution, p, 6 * (1 - p)};

  // Downward pass: the bands of knot i, row i-2 of M (its Q'D^2Q row is then complete) and step
  // i-4 of the factorization (its rows of M are then formed). Each quantity is computed with the
  // operations of the separate stages; only their interleaving saves the passes over memory.
  SetupCarry setup = setupq_start(call);
  FactorCarry factor;
  for (int i = 1; i < n - 1; ++i) {
    setupq_row(call, i, setup);
    if (i >= 3) chold_form_row(call, i - 2);
    if (i >= 5) chold_factor_row(call, i - 4, factor);
  }
  setupq_finish(call);
  for (int i = std::max(1, n - 3); i < n - 1; ++i) chold_form_row(call, i);
  auto& solution = work.solution;
  if (n == 3) {  // M is the single entry M_{1,1}
    solution[0].u = 0;
    solution[1].u = solution[1].qty / work.band[1][kPivot];
    solution[2].u = 0;
  } else {
    for (int k = std::max(1, n - 5); k < n - 2; ++k) chold_factor_row(call, k, factor);
    work.band[n - 2][kPivot] = factor.d;
    solution[n - 1].u = 0;
    solution[n - 2].u = solution[n - 2].u / factor.d;
  }

  // Upward pass: u_i with the fitted value at knot i+1, and row i of S with the leverage of knot
  // i+1.
  BackCarry back = chold_back_start(call);
  if (n == 3) {
    chold_back_finish(call, back);
    lvrage_three_knots(call);
  } else {
    LeverageCarry leverages = lvrage_start(call);
    for (int i = n - 3; i >= 1; --i) {
      chold_back_row(call, i, back);
      if (i <= n - 4) lvrage_row(call, i, leverages);
    }
    chold_back_finish(call, back);
    lvrage_finish(call, leverages);
  }
  double trace = 0;
  for (int j = 0; j < n; ++j) trace += lev[j];
  return trace;
}

}  // namespace trov
