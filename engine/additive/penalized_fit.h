#pragma once

#include <span>
#include <vector>

#include "engine/additive/design.h"
#include "engine/core/model.h"

namespace trov {

// How a penalized fit ended.
enum class AdditiveFitEnd {
  converged,
  not_positive_definite,  // X'WX + S_lambda has no Cholesky factor: the design's columns are collinear
  not_converged,          // the iteration ran away (the responses separate) or took too long
};

// The fit at one set of lambdas and the Laplace-approximate REML score there, with what its search
// and the results need.
struct AdditiveFit {
  AdditiveFitEnd end = AdditiveFitEnd::converged;
  int iterations = 0;
  std::vector<double> lambda;  // per smoothing parameter (AdditiveDesign::lambdas)
  std::vector<double> beta, eta;
  double deviance = 0;  // binomial or Poisson deviance, N-weighted residual sum of squares (normal)
  double penalty = 0;   // beta' S_lambda beta
  // -ln of the restricted likelihood, smaller is better (scale 1 for binomial and Poisson, profiled
  // out for normal), and its derivatives in ln lambda.
  double reml = 0;
  std::vector<double> reml_gradient;
  std::vector<double> edf;  // per smooth: the trace of its block of H^-1 X'WX
  double total_edf = 0;     // the whole trace: 1 per unpenalized column beside the smooths' edf
  // H^-1 = (X'WX + S_lambda)^-1 at the fit, packed (lower triangle row by row): the coefficients'
  // Bayesian covariance over the scale
  std::vector<double> inverse;

  bool ok() const { return end == AdditiveFitEnd::converged; }
};

// Penalized iteratively reweighted least squares for the additive model: each step solves
// (X'WX + S_lambda) beta = X'(W eta + N (y - mu)), W = N b''(eta), canonical links; a step that raises
// the penalized deviance D + beta' S_lambda beta is halved; the fit has converged where the penalized
// deviance changes by less than 1e-10 of itself. The design and the responses must outlive it.
class AdditiveFitter {
 public:
  // y: the responses (binomial: proportions of the N trials), counts: N per case.
  AdditiveFitter(const AdditiveDesign& design, std::span<const double> y, std::span<const double> counts,
                 Model model);

  // The fit at lambda (one per smoothing parameter) from the coefficients `start` (empty: from the responses).
  AdditiveFit fit(std::span<const double> lambda, std::span<const double> start = {});

 private:
  void prepare(std::span<const double> eta);  // mean, weights and their derivative at eta
  // H = X'WX + S_lambda (packed) at the prepared weights, and X'(W eta + N (y - mu)) into rhs_.
  void assemble(std::span<const double> lambda, std::span<const double> eta);
  double deviance(std::span<const double> eta) const;
  double penalty(std::span<const double> lambda, std::span<const double> beta) const;
  void linear_predictor(std::span<const double> beta, std::vector<double>& eta);
  void score(AdditiveFit& fit);

  const AdditiveDesign& design_;
  std::span<const double> y_, counts_;
  Model model_;
  double cases_ = 0;                           // the sum of N
  std::vector<double> mean_, weight_, slope_;  // per case: mu, W and dW/deta
  std::vector<double> packed_, rhs_;           // X'WX + S_lambda (packed) and X'(W eta + N (y - mu))
  std::vector<double> gram_, working_, product_, coordinates_;  // the same on the coordinates, G T, T beta
};

}  // namespace trov
