#pragma once

#include <span>
#include <vector>

namespace trov {

// The cubic smoothing spline in state-space form. The fit that minimizes
//   sum_g weight_g (y_g - f(x_g))^2 + penalty integral f''^2
// over the natural cubic splines with knots at the x_g is the mean of f given the y when f'' is white
// noise of intensity 1/penalty (so (f, f') moves from knot to knot as an integrated random walk), the
// line through the first knots is unknown, and y_g is f(x_g) plus noise of variance 1/weight_g. A
// Kalman filter runs forward and a Rauch-Tung-Striebel smoother back, each step with the 2-by-2
// covariance of (f, f') at one knot, so the rounding stays relative to the values however close the
// knots or large the penalty (smths, which solves for all knots at once, loses up to 1e-5 of the
// values at 10000 knots 1e-3 apart and lambda e^10). The filter starts from the first knots taken
// together (a small generalized least-squares fit of the line), as many as it takes for the line to be
// known as well as the next step needs: two knots nearly tied at the start would otherwise leave a slope
// of huge variance whose next update cancels every digit. The covariances carry their determinants,
// and the updates and the smoother's covariances are sums of positive terms. The covariances depend on
// the weights only: they are computed once per set of weights, and every smoothing then costs two
// short passes. O(n) time and storage, allocated once for up to `capacity` knots and `lanes` (1 to
// kLanes) responses smoothed at once.
class StateSpaceSpline {
 public:
  static constexpr int kLanes = 4;

  explicit StateSpaceSpline(int capacity, int lanes = 1);

  // Prepares the smoothings at the knots x (at least two, increasing) with these positive weights and
  // penalty; the spans must stay valid until the next call.
  void set_weights(double penalty, std::span<const double> x, std::span<const double> weight);

  // The same, and smooths y into fit as smooth does: the filter of y rides along the recurrence of the
  // covariances, which leaves the processor time to spare. fit must not share storage with y.
  void set_weights_and_smooth(double penalty, std::span<const double> x, std::span<const double> weight,
                              std::span<const double> y, std::span<double> fit);

  // The fitted values at the knots for the responses y; fit may share storage with y.
  void smooth(std::span<const double> y, std::span<double> fit);

  // The same for `columns` responses stored one after the other (as many values as knots each), the
  // fits likewise: each the same numbers as its own smooth, computed up to `lanes` side by side, whose
  // recurrences then overlap instead of waiting on each other.
  void smooth_columns(std::span<const double> y, std::span<double> fit, int columns);

  // log|W + P| - log|P|_+ + log|N'N|, with W the weights, P the penalty matrix of the values at the
  // knots and N = [1, x]: the prediction-error form of the likelihood of the weighted values under the
  // diffuse prior of the line, plus sum ln W. The first knots' part from their least-squares fit,
  // ln|V| + ln|Z'V^-1 Z|; after them sum ln(1 + W_i pff_i), F_i = pff_i + 1/W_i the filter's innovation
  // variances: logarithms of sums of positive terms, so exact for any knots and weights.
  double log_determinant() const;

  // The storage it holds, in bytes.
  std::size_t workspace_bytes() const {
    return steps_.capacity() * sizeof(Step) + means_.capacity() * sizeof(double);
  }

  // The leverages, the diagonal of the hat matrix (weight_g times the variance of f(x_g) given all y),
  // into lev; returns their sum, the trace.
  double leverages(std::span<double> lev);

 private:
  // Most knots the filter's start takes together.
  static constexpr int kMostStart = 16;

  // Per knot i after the start: the Kalman gain of its update, the smoother gain J of the step to knot
  // i + 1 (row-major), and the filtered and predicted covariances (ff, fd, dd) with the predicted
  // one's determinant, which the leverages need.
  struct Step {
    double gain_f, gain_d;
    double j[4];
    double filtered[3], predicted[3], predicted_det;
  };
  // The start: knots 0 .. last fitted together. At knot `last`, (f, f') = `mean` y (the rows of the
  // least-squares fit of the line, given the start's values y) with the filtered covariance of the
  // steps_ entry; before it, f_j = `from_state` (f, f') + `from_values` y given the smoothed state at
  // `last`, with variance `variance` + from_state P from_state'.
  struct Start {
    int last = 1;
    double mean[2][kMostStart + 1];
    double from_values[kMostStart][kMostStart + 1];
    double from_state[kMostStart][2];
    double variance[kMostStart];
    double log_term = 0;  // ln|V| + ln|Z'V^-1 Z| of the start's knots
  };
  // The filter's state for kCount responses: the start's values, and the filtered means of (f, f') at
  // the last knot filtered.
  template <int kCount>
  struct Filter {
    double values[kCount][kMostStart + 1];
    double f[kCount], d[kCount];
  };
  double prepare_start(double q);
  // The covariances; with kRiding, the filter of the response y (else null) in the same pass.
  template <bool kRiding>
  Filter<1> prepare(double penalty, std::span<const double> x, std::span<const double> weight,
                    const double* y);
  template <int kCount>
  Filter<kCount> filter_start(const double* const* y);
  template <int kCount>
  void filter_step(Filter<kCount>& filter, const double* const* y, int i, double h);
  template <int kCount>
  void smooth_back(const Filter<kCount>& filter, double* const* fit);
  template <int kCount>
  void smooth_lanes(const double* const* y, double* const* fit);

  std::vector<Step> steps_;
  Start start_;
  int lanes_;
  std::vector<double> means_;  // per knot and lane, the filtered means of f and of its slope
  std::span<const double> x_, weight_;
  double variance_ = 0;  // 1/penalty: the intensity of f''
};

}  // namespace trov
