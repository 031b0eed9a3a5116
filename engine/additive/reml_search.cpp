#include "engine/additive/reml_search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/covariate/matrix.h"

namespace trov {

namespace {

using Index = std::size_t;

constexpr int kMostSteps = 100;
constexpr int kMostHalvings = 30;
constexpr double kDifference = 1e-4;  // of ln lambda, for the Hessian
constexpr double kLongestStep = 5;
constexpr double kSettled = 1e-6;

std::vector<double> exp_of(std::span<const double> rho) {
  std::vector<double> lambda;
  for (double r : rho) lambda.push_back(std::exp(r));
  return lambda;
}

// Where each penalty's size matches the information's: tr(X_j'WX_j) / tr(S_l) at unit weights per case,
// X_j its smooth's columns.
std::vector<double> first_rho(const AdditiveDesign& design) {
  std::vector<double> information(design.smooths.size(), 0.0), rho;
  for (int i = 0; i < design.cases; ++i) {
    const std::vector<double> x = design.row(i);
    for (Index j = 0; j < design.smooths.size(); ++j) {
      const SmoothTerm& term = design.smooths[j];
      for (int c = term.first; c < term.first + term.columns; ++c)
        information[j] += x[static_cast<Index>(c)] * x[static_cast<Index>(c)];
    }
  }
  for (Index j = 0; j < design.smooths.size(); ++j) {
    const SmoothTerm& term = design.smooths[j];
    const auto q = static_cast<Index>(term.columns);
    for (const std::vector<double>& s : term.penalties) {
      double penalty = 0;
      for (Index a = 0; a < q; ++a) penalty += s[a * q + a];
      rho.push_back(
          std::clamp(std::log(information[j] / penalty), std::log(kLeastLambda), std::log(kMostLambda)));
    }
  }
  return rho;
}

}  // namespace

RemlChoice choose_lambdas(AdditiveFitter& fitter, const AdditiveDesign& design, const RemlStart& start) {
  const double low = std::log(kLeastLambda), high = std::log(kMostLambda);
  const auto m = static_cast<Index>(design.lambdas());
  std::vector<double> rho = start.rho.empty() ? first_rho(design) : start.rho;
  RemlChoice choice;
  choice.fit = fitter.fit(exp_of(rho), start.beta);
  if (!choice.fit.ok()) return choice;
  std::vector<double> hessian(m * m), shifted, step(m);
  for (int iteration = 1; iteration <= kMostSteps; ++iteration) {
    choice.iterations = iteration;
    const AdditiveFit& here = choice.fit;
    const std::vector<double>& g = here.reml_gradient;
    std::vector<Index> free;  // the smooths not held at a bound
    for (Index j = 0; j < m; ++j)
      if (!((rho[j] <= low && g[j] > 0) || (rho[j] >= high && g[j] < 0))) free.push_back(j);
    if (free.empty()) {
      choice.converged = true;
      break;
    }
    // forward differences of the gradient (backward at the upper bound), symmetrized
    for (Index j : free) {
      std::vector<double> moved = rho;
      const double d = rho[j] + kDifference <= high ? kDifference : -kDifference;
      moved[j] += d;
      const AdditiveFit near = fitter.fit(exp_of(moved), here.beta);
      for (Index k = 0; k < m; ++k) hessian[k * m + j] = near.ok() ? (near.reml_gradient[k] - g[k]) / d : NAN;
    }
    const Index f = free.size();
    std::vector<double> reduced(f * f), rhs(f);
    double largest = 0;
    for (Index a = 0; a < f; ++a) {
      rhs[a] = -g[free[a]];
      for (Index b = 0; b < f; ++b) {
        reduced[a * f + b] = (hessian[free[a] * m + free[b]] + hessian[free[b] * m + free[a]]) / 2;
      }
      largest = std::max(largest, std::abs(reduced[a * f + a]));
    }
    if (!std::all_of(reduced.begin(), reduced.end(), [](double v) { return std::isfinite(v); })) break;
    // (Hessian + mu I) step = -g, mu from 0 up until the matrix has a Cholesky factor
    std::vector<double> solution;
    for (double mu = 0; solution.empty(); mu = mu == 0 ? 1e-6 * largest + 1e-8 : mu * 10) {
      shifted.clear();
      for (Index a = 0; a < f; ++a)
        for (Index b = 0; b <= a; ++b) shifted.push_back(reduced[a * f + b] + (a == b ? mu : 0.0));
      std::vector<double> x = rhs;
      if (dsym(shifted, static_cast<int>(f), x) == 0) solution = x;
    }
    std::fill(step.begin(), step.end(), 0.0);
    double longest = 0;
    for (Index a = 0; a < f; ++a) {
      step[free[a]] = solution[a];
      longest = std::max(longest, std::abs(solution[a]));
    }
    if (longest > kLongestStep)
      for (double& s : step) s *= kLongestStep / longest;
    if (longest < kSettled) {
      choice.converged = true;
      break;
    }
    // the step, halved until the score does not rise
    bool taken = false;
    for (int halving = 0; halving <= kMostHalvings && !taken; ++halving) {
      std::vector<double> trial(m);
      for (Index j = 0; j < m; ++j) trial[j] = std::clamp(rho[j] + step[j], low, high);
      AdditiveFit next = fitter.fit(exp_of(trial), here.beta);
      if (next.ok() && next.reml <= here.reml + 1e-12 * std::abs(here.reml)) {
        double moved = 0;
        for (Index j = 0; j < m; ++j) moved = std::max(moved, std::abs(trial[j] - rho[j]));
        // a step that does not lower the score reached the rounding of its gradient
        const bool level = next.reml >= here.reml;
        rho = trial;
        choice.fit = std::move(next);
        taken = true;
        if ((halving == 0 && moved < kSettled) || level) choice.converged = true;
      }
      for (double& s : step) s /= 2;
    }
    if (!taken || choice.converged) {
      // no step lowers the score: settled where the Newton step is below what the score resolves
      choice.converged = choice.converged || longest < 1e-4;
      break;
    }
  }
  choice.at_most.resize(m);
  for (Index j = 0; j < m; ++j) choice.at_most[j] = rho[j] >= high;
  return choice;
}

}  // namespace trov
