#pragma once
// The bootstrap of a fitness function of several traits (engine/api/traits.h): each replicate drawn
// around the fit or from the cases by a generator of its own, seeded by the run's seed and the
// replicate's number, so that no replicate depends on another or on the number of workers.

#include <vector>

#include "engine/additive/fitness_function.h"
#include "engine/api/trov.h"

namespace trov::api {

// What one replicate gives: its gradients in the order of gradient_values, and where its function has
// a peak inside its data, the peak's location per trait and height.
struct ReplicateValues {
  bool fitted = false;
  std::vector<double> gradients;
  bool peak = false;
  std::vector<double> peak_values{};
};

struct TraitsReplicates {
  std::vector<ReplicateValues> replicates;
  int degenerate = 0;  // draws redrawn: responses all equal, or a trait with fewer than 4 values
  bool stopped = false;
};

// beta, beta_standardized, beta_mean_standardized, lande_arnold_beta (M each), then gamma,
// gamma_standardized, gamma_mean_standardized, lande_arnold_gamma (M x M each).
std::vector<double> gradient_values(const AdditiveGradients& g);
// The peak's location per trait and its height (the fitness there).
std::vector<double> peak_values(const FittedFunction& f, Model model);

TraitsReplicates bootstrap_traits(const FunctionData& data, const FunctionShape& shape,
                                  const FittedFunction& observed, const Settings& settings, int workers,
                                  const Control& control);

}  // namespace trov::api
