#pragma once

#include <cmath>
#include <span>

#include "engine/core/model.h"

namespace trov {

// The link routines limit their argument in place: callers rely on the limited values (the fitted nu
// in the results file are the limited ones). The normal model's identity link never calls them.

// Link: mean to linear predictor nu (logit for the binomial model, log otherwise); limits y in place.
double ytonu(double& y, Model model);

inline constexpr double kMaxNu = 16;

// nu limited to [-kMaxNu, kMaxNu], NaN kept.
inline double limit_nu(double nu) { return std::abs(nu) > kMaxNu ? (nu > kMaxNu ? kMaxNu : -kMaxNu) : nu; }

// Mean at the exponential e = exp(nu): e/(1 + e) for the binomial model, e otherwise.
inline double mean_at_exp(double e, Model model) { return model == Model::binomial ? e / (1 + e) : e; }

// Inverse link: nu to mean; limits nu in place to [-16, 16]. Inline: the fits call it per point.
inline double nutoy(double& nu, Model model) {
  nu = limit_nu(nu);
  return mean_at_exp(std::exp(nu), model);
}

// nutoy of the first n values of nu into mean, limiting nu in place. The limiting gets a call-free
// loop, which vectorizes; the binomial division stays beside the exponential, whose call leaves the
// divider idle. Callers put their own divisions and square roots in loops after this one.
inline void nutoy_each(std::span<double> nu, std::span<double> mean, int n, Model model) {
  for (int i = 0; i < n; ++i) nu[i] = limit_nu(nu[i]);
  for (int i = 0; i < n; ++i) mean[i] = mean_at_exp(std::exp(nu[i]), model);
}

// The weight at a given mean: phi2(nu) == weight_at_mean(nutoy(nu)), so a fit that needs both pays
// for one exponential.
inline double weight_at_mean(double mean, Model model) {
  return model == Model::binomial ? mean * (1 - mean) : mean;
}

// Weight of the model (its variance at the mean) at nu; limits nu in place through nutoy.
inline double phi2(double& nu, Model model) { return weight_at_mean(nutoy(nu, model), model); }

// Penalized log likelihood L - b*a of the points with responses y, counts irep and linear predictor nu:
// L = sum irep (y nu - ln(1 + e^nu)) (binomial) or sum irep (y nu - e^nu) (otherwise).
double penlik(std::span<const double> y, std::span<const int> irep, std::span<const double> nu, double a,
              Model model, double b);

}  // namespace trov
