#pragma once

#include <span>
#include <vector>

#include "engine/additive/penalized_fit.h"

namespace trov {

// The smoothing parameters' range: at the smallest the smooth nearly interpolates, at the largest it is
// a straight line (the limit of the penalty).
inline constexpr double kLeastLambda = 1e-8;
inline constexpr double kMostLambda = 1e12;

struct RemlChoice {
  AdditiveFit fit;            // at the chosen lambdas (its end not converged: the first fit failed)
  int iterations = 0;         // Newton steps
  bool converged = false;     // every ln lambda settled to 1e-6, or held at a bound
  std::vector<bool> at_most;  // per smoothing parameter: lambda at kMostLambda, no curvature that way
};

// Where the search begins: empty, where each penalty's size matches the data's information; or given
// ln lambdas and the coefficients of a fit near them (a neighbour's, as a bootstrap's replicates take
// the data's), which saves the steps from afar.
struct RemlStart {
  std::vector<double> rho{}, beta{};
};

// The smoothing parameters (one per trait of each smooth) by the smallest REML score: Newton's method in ln lambda within the range, with
// the score's exact gradient and its Hessian by forward differences of the gradient (1e-4 in ln
// lambda), a Levenberg shift where that is not positive definite, steps of at most 5 halved until the
// score does not rise (by more than 1e-12 of itself); a smooth at a bound that the gradient pushes
// beyond it is held there. It has converged where the Newton step moves no ln lambda by 1e-6, or
// where a step no longer lowers the score: at many cases the gradient's rounding (from H^-1, whose
// condition grows with lambda) keeps the step near 1e-6 there.
RemlChoice choose_lambdas(AdditiveFitter& fitter, const AdditiveDesign& design, const RemlStart& start = {});

}  // namespace trov
