#pragma once

#include <cmath>
#include <span>

#include "engine/core/model.h"

namespace trov {

// The classic fits' links work on limited values: a mean within [1e-7, 1 - 2^-23] (binomial) or
// [1e-7, 1e7] (otherwise), a linear predictor within [-16, 16]. Callers that go on with the limited
// value (the fitted nu in the results file are the limited ones) limit it themselves first, with
// limit_mean and limit_nu; the conversions below return values and leave their arguments alone. The
// normal model's identity link never calls them.

// The mean y limited to the range the link takes.
double limit_mean(double y, Model model);

// Link: mean to linear predictor nu (logit for the binomial model, log otherwise) of the limited mean.
double ytonu(double y, Model model);

inline constexpr double kMaxNu = 16;

// nu limited to [-kMaxNu, kMaxNu], NaN kept.
inline double limit_nu(double nu) { return std::abs(nu) > kMaxNu ? (nu > kMaxNu ? kMaxNu : -kMaxNu) : nu; }

// Mean at the exponential e = exp(nu): e/(1 + e) for the binomial model, e otherwise.
inline double mean_at_exp(double e, Model model) { return model == Model::binomial ? e / (1 + e) : e; }

// Inverse link: nu to mean, of nu limited to [-16, 16]. Inline: the fits call it per point.
inline double nutoy(double nu, Model model) { return mean_at_exp(std::exp(limit_nu(nu)), model); }

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

// Weight of the model (its variance at the mean) at nu limited as nutoy limits it.
inline double phi2(double nu, Model model) { return weight_at_mean(nutoy(nu, model), model); }

// The mean 1/(1 + e^-eta) of the binomial model as its two tails, the larger and the smaller of mu and
// 1 - mu, each accurate where mu nears 0 or 1: the converged fits and what is derived from them take
// the binomial mean from here.
struct BinomialTails {
  double larger, smaller;
};
inline BinomialTails binomial_tails(double eta) {
  const double e = std::exp(-std::abs(eta));
  const double larger = 1 / (1 + e);
  return {larger, e * larger};
}

// The mean at eta from eta's tail, where a fit has it at hand: the smaller of mu and 1 - mu (binomial),
// the mean (Poisson).
inline double mean_from_tail(double eta, double tail, Model model) {
  if (model == Model::normal) return eta;
  return model == Model::binomial && eta >= 0 ? 1 - tail : tail;
}

// The mean at the linear predictor eta without the classic fits' limits (the converged fits' inverse
// link): 1/(1 + e^-eta) from its smaller tail (binomial), e^eta (Poisson), eta (normal). At infinite
// eta its limits: 0 and 1, 0 and infinity.
inline double mean_at_eta(double eta, Model model) {
  const double tail = model == Model::binomial  ? binomial_tails(eta).smaller
                      : model == Model::poisson ? std::exp(eta)
                                                : eta;
  return mean_from_tail(eta, tail, model);
}

// The same mean with the binomial's 1/(1 + e^-eta) computed as it reads: accurate in mu (never NaN; 0
// and 1 at infinite eta) though not in 1 - mu near 1, and within the last bit of mean_at_eta. The
// selection gradients and the converged bootstrap's band take their means from here (their results
// are these bits).
inline double mean_at_eta_direct(double eta, Model model) {
  switch (model) {
    case Model::binomial:
      return 1 / (1 + std::exp(-eta));
    case Model::poisson:
      return std::exp(eta);
    default:
      return eta;
  }
}

// Penalized log likelihood L - b*a of the points with responses y, counts irep and linear predictor nu:
// L = sum irep (y nu - ln(1 + e^nu)) (binomial) or sum irep (y nu - e^nu) (otherwise).
double penlik(std::span<const double> y, std::span<const int> irep, std::span<const double> nu, double a,
              Model model, double b);

// h and its first two derivatives in eta, from the mean mu = h(eta) (the canonical links), without the
// limits of the classic fits' inverse link.
struct InverseLink {
  double h, first, second;
};

inline InverseLink inverse_link_at_mean(double mu, Model model) {
  switch (model) {
    case Model::binomial: {
      const double variance = mu * (1 - mu);
      return {mu, variance, variance * (1 - 2 * mu)};
    }
    case Model::poisson:
      return {mu, mu, mu};
    default:
      return {mu, 1, 0};
  }
}

}  // namespace trov
