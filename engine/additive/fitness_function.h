#pragma once

#include <optional>
#include <span>
#include <vector>

#include "engine/additive/design.h"
#include "engine/additive/gradients.h"
#include "engine/additive/peak.h"
#include "engine/additive/penalized_fit.h"
#include "engine/additive/reml_search.h"

namespace trov {

// The cases of a fitness function of several traits; they must outlive what is fitted to them.
struct FunctionData {
  std::vector<std::span<const double>> traits{};
  std::span<const double> y{}, counts{};
  std::vector<CovariateColumn> covariates{};
};

// The function's shape and how its lambdas are found.
struct FunctionShape {
  Model model = Model::binomial;
  bool surface = false;
  int knots = 20;
  std::optional<std::vector<double>> lambda{};  // fixed, one per smoothing parameter; none: by REML
};

// The function fitted to the data, with its gradients and peak.
struct FittedFunction {
  AdditiveDesign design;
  AdditiveFit fit{};
  int reml_iterations = 0;
  bool reml_converged = true;
  std::vector<bool> at_most{};    // per smoothing parameter: at its upper bound
  std::vector<double> coordinates{};  // T beta
  std::vector<double> covariate_means{};  // the covariates' columns' case-weighted means
  double offset = 0;  // the intercept and the covariates' case-weighted mean effect
  double scale = 1;   // the normal model's residual variance D / (sum N - edf); 1 for the others
  AdditiveGradients gradients{};
  FunctionPeak peak{};
};

FittedFunction fit_function(const FunctionData& data, const FunctionShape& shape, const RemlStart& start = {});

// The fitted function along one trait of an additive model (the other smooths at their mean, 0, the
// covariates at their mean effect) at the points x: eta and its standard error from the Bayesian
// covariance scale H^-1.
struct CurveBand {
  std::vector<double> eta, se;
};
CurveBand curve_band(const FittedFunction& f, int smooth, std::span<const double> x);

}  // namespace trov
