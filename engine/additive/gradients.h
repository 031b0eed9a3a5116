#pragma once

#include <span>
#include <vector>

#include "engine/additive/design.h"
#include "engine/core/model.h"

namespace trov {

// The selection gradients of a fitted fitness function of M traits, over the individuals (the cases
// weighted by N), W_i = h(eta_i) with h the inverse link:
//   beta_a      = [sum N_i dW_i/dx_a / Ntot] / mean W,   dW/dx_a = h'(eta) deta/dx_a,
//   gamma_ab    = [sum N_i d2W_i/dx_a dx_b / Ntot] / mean W,
//                 d2W/dx_a dx_b = h''(eta) deta/dx_a deta/dx_b + h'(eta) d2eta/dx_a dx_b,
// the standardized ones times the traits' standard deviations (divisor Ntot - 1), the mean-standardized
// ones times their means (NaN unless every value of the traits is positive); and the regression
// estimates of Lande and Arnold (1983): relative fitness y / mean y regressed by least squares (weights
// N) on 1, the standardized traits z and the covariates' columns (beta: the coefficients of z), and on
// these with every z_a z_b, a <= b (gamma: twice the coefficient of z_a^2 on the diagonal, that of z_a z_b
// beside it). Matrices M x M row by row; NaN regression estimates where mean y is not positive or the
// regressors are collinear.
struct AdditiveGradients {
  double mean_fitness = 0;
  std::vector<double> trait_mean, trait_sd;
  std::vector<double> beta, gamma, beta_standardized, gamma_standardized;
  std::vector<double> beta_mean_standardized, gamma_mean_standardized;
  std::vector<double> lande_arnold_beta, lande_arnold_gamma;
};

// traits: the cases' values of each trait; eta: the fitted linear predictor per case; beta: the fit's
// coefficients.
AdditiveGradients additive_gradients(const AdditiveDesign& design,
                                     const std::vector<std::span<const double>>& traits,
                                     std::span<const double> y, std::span<const double> counts,
                                     std::span<const double> eta, std::span<const double> beta, Model model);

}  // namespace trov
