#pragma once

#include <cmath>
#include <cstdio>
#include <span>

namespace trov {

inline constexpr int kNormal = 1, kBinomial = 2, kPoisson = 3;  // model codes

// Link: mean to linear predictor nu (logit for the binomial model, log otherwise); clamps y in place.
double ytonu(double& y, int model);

// Inverse link: nu to mean; clamps nu in place to [-16, 16]. Inline: the fits call it per point.
inline double nutoy(double& nu, int model) {
  constexpr double kMaxNu = 16;
  if (std::abs(nu) > kMaxNu) nu = nu > kMaxNu ? kMaxNu : -kMaxNu;
  const double e = std::exp(nu);
  if (model == kBinomial) return e / (1 + e);
  return e;
}

// The weight at a given mean: phi2(nu) == weight_at_mean(nutoy(nu)), so a fit that needs both pays
// for one exponential.
inline double weight_at_mean(double mean, int model) {
  return model == kBinomial ? mean * (1 - mean) : mean;
}

// Weight of the model (its variance at the mean) at nu; clamps nu in place through nutoy.
inline double phi2(double& nu, int model) { return weight_at_mean(nutoy(nu, model), model); }

// Writes the penalized log likelihood L - b*a of the n points as one list-directed record to out.
void penlik(std::span<const double> y, std::span<const int> irep, std::span<const double> nu, double a,
            int model, double b, int n, std::FILE* out);

}  // namespace trov
