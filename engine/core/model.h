#pragma once

#include <string_view>

namespace trov {

// The generalized linear model of a run; the values are the codes of trov.in.
enum class Model { normal = 1, binomial = 2, poisson = 3 };

// "normal", "binomial" or "poisson".
std::string_view model_name(Model model);

// How far a classic fit's fitted value may lie from the converged fit's before the two are said to
// differ: 0.01 in a probability (binomial), else 1% of the range of the points' responses.
inline double classic_differs_limit(Model model, double response_range) {
  return model == Model::binomial ? 0.01 : 0.01 * response_range;
}

// How a fit at one lambda iterates. The defaults of reslim, sdmax and ncycle are the values every
// run uses.
struct FitOptions {
  Model model = Model::normal;
  int maxit = 5;        // most passes of a reweighted loop (models 2 and 3); at least one is made
  double stop = 0.005;  // passes end once the relative change of nu falls below this
  double reslim = 5.0;  // limit on a working residual
  double sdmax = 10.0;  // cap on a working standard deviation
  int ncycle = 5;       // backfitting cycles of covariate and spline step
};

}  // namespace trov
