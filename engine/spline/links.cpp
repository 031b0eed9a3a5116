#include "engine/spline/links.h"

#include <cmath>
#include <cstddef>

namespace trov {

namespace {

constexpr double kMinMean = 1.0000000116860974e-7;              // single-precision 1e-7, widened
constexpr double kMaxBinomialMean = 0.99999988079071044921875;  // 1 - 2^-23
constexpr double kMaxPoissonMean = 1e7;

}  // namespace

double limit_mean(double y, Model model) {
  if (y < kMinMean) y = kMinMean;
  if (model == Model::binomial) {
    if (1 - y < kMinMean) y = kMaxBinomialMean;
  } else if (y > kMaxPoissonMean) {
    y = kMaxPoissonMean;
  }
  return y;
}

double ytonu(double y, Model model) {
  y = limit_mean(y, model);
  return model == Model::binomial ? std::log(y / (1 - y)) : std::log(y);
}

double penlik(std::span<const double> y, std::span<const int> irep, std::span<const double> nu, double a,
              Model model, double b) {
  double likelihood = 0;
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double cumulant = model == Model::binomial ? std::log(1 + std::exp(nu[i])) : std::exp(nu[i]);
    likelihood += irep[i] * (y[i] * nu[i] - cumulant);
  }
  return likelihood - b * a;
}

}  // namespace trov
