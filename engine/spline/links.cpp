#include "engine/spline/links.h"

#include <cmath>

#include "common/list_writer.h"

namespace trov {

namespace {

constexpr double kMinMean = 1.0000000116860974e-7;             // single-precision 1e-7, widened
constexpr double kMaxBinomialMean = 0.99999988079071044921875;  // 1 - 2^-23
constexpr double kMaxPoissonMean = 1e7;

}  // namespace

double ytonu(double& y, int model) {
  if (y < kMinMean) y = kMinMean;
  if (model == kBinomial) {
    if (1 - y < kMinMean) y = kMaxBinomialMean;
    return std::log(y / (1 - y));
  }
  if (y > kMaxPoissonMean) y = kMaxPoissonMean;
  return std::log(y);
}

void penlik(std::span<const double> y, std::span<const int> irep, std::span<const double> nu, double a,
            int model, double b, int n, std::FILE* out) {
  double likelihood = 0;
  for (int i = 0; i < n; ++i) {
    const double cumulant = model == kBinomial ? std::log(1 + std::exp(nu[i])) : std::exp(nu[i]);
    likelihood += irep[i] * (y[i] * nu[i] - cumulant);
  }
  const std::string record = ListWriter().text("Penalized likelihood = ").real(likelihood - b * a).str();
  std::fputs(record.c_str(), out);
}

}  // namespace trov
