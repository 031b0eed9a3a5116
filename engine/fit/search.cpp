#include "engine/fit/search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace trov {

double ConvergedFit::*member_of(Criterion score) {
  switch (score) {
    case Criterion::gcv:
      return &ConvergedFit::gcv;
    case Criterion::ocv:
      return &ConvergedFit::ocv;
    case Criterion::ubre:
      return &ConvergedFit::ubre;
    case Criterion::reml:
      return &ConvergedFit::reml;
    case Criterion::ml:
      return &ConvergedFit::ml;
  }
  return &ConvergedFit::gcv;
}

std::string_view score_name(Criterion score) {
  constexpr std::string_view names[] = {"reml", "ml", "gcv", "ubre", "ocv"};
  return names[static_cast<int>(score)];
}

std::string_view score_label(Criterion score) {
  constexpr std::string_view labels[] = {"REML", "ML", "GCV", "UBRE", "OCV"};
  return labels[static_cast<int>(score)];
}

std::string_view limit_name(SearchLimit limit) {
  constexpr std::string_view names[] = {"", "linear", "interpolating", "separating", "failed"};
  return names[static_cast<int>(limit)];
}

namespace {

constexpr double kOutwardStep = 2;
constexpr int kOutwardSteps = 15;  // 30 in ln(lambda) past the grid
constexpr double kLimitEdf = 1e-3;
constexpr int kMostFits = 100;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The fits of one search: the first from the constant fit, each later one from the one before.
class Probes {
 public:
  Probes(ConvergedFitter& converged, Criterion score, std::span<const double> y)
      : converged_(converged), member_(member_of(score)), y_(y) {}

  // The fit at lnlambda, or none when it did not end ok with a finite score (failure() says where and
  // how it ended).
  std::optional<Probe> at(double lnlambda) {
    const double lambda = std::exp(lnlambda);
    const ConvergedFit& fit = fits_ == 0 ? converged_.fit(lambda, y_) : converged_.refit(lambda, y_);
    ++fits_;
    const double value = fit.*member_;
    if (!fit.ok || !std::isfinite(value)) {
      failure_ = {lnlambda, fit.ok ? NewtonEnd::inaccurate : fit.end};
      return std::nullopt;
    }
    return Probe{lnlambda, value, fit.edf};
  }
  const Failure& failure() const { return failure_; }
  int fits() const { return fits_; }

 private:
  ConvergedFitter& converged_;
  double ConvergedFit::*member_;
  std::span<const double> y_;
  Failure failure_;
  int fits_ = 0;
};

RefinedMinimum found(const Probe& p, SearchLimit limit = SearchLimit::none) {
  return {p.lnlambda, p.score, p.edf, limit, false, std::nullopt};
}

// The best point next to fits that failed: where the responses separate, the score falls on into the
// region where no maximum exists.
RefinedMinimum at_failure(const Probe& best, const Failure& failure) {
  RefinedMinimum r =
      found(best, failure.end == NewtonEnd::ran_away ? SearchLimit::separating : SearchLimit::failed);
  r.failed_at = failure.lnlambda;
  return r;
}

// The limit that a point reached stepping outward in that direction: the line (edf of the unpenalized
// fit) towards large lambda, interpolation towards small.
std::optional<SearchLimit> limit_reached(const Probe& p, double direction, const SearchSetting& setting) {
  if (direction > 0 && std::abs(p.edf - setting.linear_edf) <= kLimitEdf) return SearchLimit::linear;
  if (direction < 0 && std::abs(p.edf - setting.interpolating_edf) <= kLimitEdf)
    return SearchLimit::interpolating;
  return std::nullopt;
}

// Brent's minimization within the bracket [a, b] around the best point known so far: a parabola through
// the three best points where it steps well inside the bracket, else a golden-section step into the
// larger part; x is the best point, w the second and v the third (an end whose fit failed counts as
// infinitely high, and a fit that fails becomes the bracket's end on its side). The first step is the
// parabola through the bracket's ends and the best point. It ends when the bracket is narrower than
// the tolerance, stops shrinking (the spacing of doubles), or after the most fits; a best point within
// the tolerance of a failed fit is a limit there.
RefinedMinimum brent(Probes& probes, const Probe& low, const Probe& high, Probe best, double tolerance,
                     std::optional<Failure> failed) {
  const double golden = (3 - std::sqrt(5.0)) / 2;
  const double tol = tolerance / 4;
  const auto value = [](const Probe& p) { return std::isnan(p.score) ? kInfinity : p.score; };
  double a = low.lnlambda, b = high.lnlambda;
  double x = best.lnlambda, fx = best.score;
  const bool low_second = value(low) <= value(high);
  double w = low_second ? a : b, fw = low_second ? value(low) : value(high);
  double v = low_second ? b : a, fv = low_second ? value(high) : value(low);
  double d = 0, e = b - a;  // the last step and the one before: the first parabola may take any step
  int unchanged = 0;
  while (probes.fits() < kMostFits) {
    const double middle = (a + b) / 2, width = b - a;
    if (std::abs(x - middle) <= 2 * tol - width / 2) break;
    bool parabolic = false;
    if (std::abs(e) > tol && std::isfinite(fw) && std::isfinite(fv)) {
      double r = (x - w) * (fx - fv), q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2 * (q - r);
      if (q > 0) p = -p;
      q = std::abs(q);
      const double before = e;
      e = d;
      // the parabola's step: less than half the one before, and inside the bracket
      if (std::abs(p) < std::abs(q * before / 2) && p > q * (a - x) && p < q * (b - x)) {
        d = p / q;
        if (x + d - a < 2 * tol || b - (x + d) < 2 * tol) d = x < middle ? tol : -tol;
        parabolic = true;
      }
    }
    if (!parabolic) {
      e = (x < middle ? b : a) - x;
      d = golden * e;
    }
    const double u = x + (std::abs(d) >= tol ? d : (d > 0 ? tol : -tol));
    if (u == x) break;  // the step is lost in the spacing of doubles
    const std::optional<Probe> probe = probes.at(u);
    if (!probe) {
      (u < x ? a : b) = u;
      if (!failed || std::abs(u - x) < std::abs(failed->lnlambda - x)) failed = probes.failure();
      e = 0;  // golden sections from here on, until the points are all fits again
      continue;
    }
    const double fu = probe->score;
    if (fu < best.score) best = *probe;
    if (fu <= fx) {
      (u < x ? b : a) = x;
      v = w, fv = fw, w = x, fw = fx, x = u, fx = fu;
    } else {
      (u < x ? a : b) = u;
      if (fu <= fw || w == x) {
        v = w, fv = fw, w = u, fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u, fv = fu;
      }
    }
    unchanged = b - a < width ? 0 : unchanged + 1;
    if (unchanged >= 3) break;
  }
  if (failed && std::abs(failed->lnlambda - best.lnlambda) <= tolerance) return at_failure(best, *failed);
  return found(best);
}

}  // namespace

SearchPlan plan_search(const ScoredRows& rows, Criterion, const SearchSetting& setting) {
  const std::size_t count = rows.lnlambda.size();
  const auto finite = [&](std::size_t r) { return std::isfinite(rows.score[r]); };
  const auto probe = [&](std::size_t r) { return Probe{rows.lnlambda[r], rows.score[r], rows.edf[r]}; };
  const auto failure = [&](std::size_t r) {
    return Failure{rows.lnlambda[r], rows.end.empty() ? NewtonEnd::inaccurate : rows.end[r]};
  };
  std::optional<std::size_t> k;
  for (std::size_t r = 0; r < count; ++r)
    if (finite(r) && (!k || rows.score[r] < rows.score[*k])) k = r;
  SearchPlan plan;
  if (!k) return plan;
  plan.best = probe(*k);
  const auto found_there = [&](SearchLimit limit) {
    plan.kind = SearchPlan::Kind::found;
    plan.found = found(plan.best, limit);
    return plan;
  };
  if (count < 2) return found_there(SearchLimit::none);
  // a side is open where the grid ends, or where the row next to the best failed
  const bool first = *k == 0, last = *k + 1 == count;
  const bool low_open = first || !finite(*k - 1), high_open = last || !finite(*k + 1);
  if (!low_open && !high_open) {
    plan.kind = SearchPlan::Kind::bracket;
    plan.low = probe(*k - 1);
    plan.high = probe(*k + 1);
    return plan;
  }
  // outward on the open side; with both open, towards the grid's end, else towards small lambda
  plan.direction = high_open && (!low_open || last) ? 1 : -1;
  if (const auto limit = limit_reached(plan.best, plan.direction, setting)) return found_there(*limit);
  plan.kind = SearchPlan::Kind::outward;
  const std::size_t inner = plan.direction > 0 ? *k - 1 : *k + 1;  // exists: count >= 2
  if (finite(inner))
    plan.low = probe(inner);
  else
    plan.low_failed = failure(inner), plan.low = {rows.lnlambda[inner], NAN, NAN};
  const bool outer = plan.direction > 0 ? !last : !first;
  if (outer) plan.boundary = failure(plan.direction > 0 ? *k + 1 : *k - 1);
  return plan;
}

std::optional<RefinedMinimum> run_search(const SearchPlan& plan, ConvergedFitter& converged, Criterion score,
                                         const SearchSetting& setting) {
  switch (plan.kind) {
    case SearchPlan::Kind::no_row:
      return std::nullopt;
    case SearchPlan::Kind::found:
      return plan.found;
    default:
      break;
  }
  Probes probes(converged, score, setting.y);
  Probe best = plan.best;
  if (plan.kind == SearchPlan::Kind::bracket)
    return brent(probes, plan.low, plan.high, best, setting.tolerance, std::nullopt);
  // outward until the score turns up or the fit reaches its limit; a step into a fit that fails is
  // halved, and a failure within the tolerance ends the search there
  const double direction = plan.direction;
  Probe before = plan.low;
  std::optional<Failure> before_failed = plan.low_failed, boundary = plan.boundary;
  for (int step = 0; step < kOutwardSteps;) {
    if (boundary && std::abs(boundary->lnlambda - best.lnlambda) <= setting.tolerance)
      return at_failure(best, *boundary);
    if (probes.fits() >= kMostFits) break;
    double lnlambda = best.lnlambda + direction * kOutwardStep;
    if (boundary && direction * (lnlambda - boundary->lnlambda) >= 0)
      lnlambda = (best.lnlambda + boundary->lnlambda) / 2;
    const std::optional<Probe> probe = probes.at(lnlambda);
    if (!probe) {
      boundary = probes.failure();
      continue;
    }
    if (probe->score > best.score) {
      const bool below = before.lnlambda < probe->lnlambda;
      return brent(probes, below ? before : *probe, below ? *probe : before, best, setting.tolerance,
                   before_failed);
    }
    before = best;
    before_failed.reset();
    best = *probe;
    if (const auto limit = limit_reached(best, direction, setting)) return found(best, *limit);
    ++step;
  }
  if (boundary) return at_failure(best, *boundary);
  RefinedMinimum r = found(best);
  r.still_falling = true;
  return r;
}

std::optional<RefinedMinimum> search_minimum(ConvergedFitter& converged, const ScoredRows& rows,
                                             Criterion score, const SearchSetting& setting) {
  return run_search(plan_search(rows, score, setting), converged, score, setting);
}

}  // namespace trov
