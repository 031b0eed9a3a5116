#include "engine/fit/search.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace trov {

double ConvergedFit::*member_of(Score score) {
  switch (score) {
    case Score::gcv:
      return &ConvergedFit::gcv;
    case Score::ocv:
      return &ConvergedFit::ocv;
    case Score::ubre:
      return &ConvergedFit::ubre;
    case Score::reml:
      return &ConvergedFit::reml;
    case Score::ml:
      return &ConvergedFit::ml;
  }
  return &ConvergedFit::gcv;
}

std::string_view score_name(Score score) {
  constexpr std::string_view names[] = {"gcv", "ocv", "ubre", "reml", "ml"};
  return names[static_cast<int>(score)];
}

std::string_view score_label(Score score) {
  constexpr std::string_view labels[] = {"GCV", "OCV", "UBRE", "REML", "ML"};
  return labels[static_cast<int>(score)];
}

namespace {

constexpr double kOutwardStep = 2;
constexpr int kOutwardSteps = 15;  // 30 in ln(lambda) past the grid
constexpr double kLimitEdf = 1e-3;
constexpr int kMostFits = 100;

// The fits of one search: the first from the classic fit at its lambda, each later one from the one
// before; a fit that does not end ok with a finite score ends the search.
class Probes {
 public:
  Probes(ConvergedFitter& converged, Fitter& classic, Score score, std::span<const double> y, ProbeLog* log)
      : converged_(converged), classic_(classic), member_(member_of(score)), y_(y), log_(log) {}

  std::optional<Probe> at(double lnlambda) {
    const double lambda = std::exp(lnlambda);
    const ConvergedFit& fit = fits_ == 0 ? converged_.fit(lambda, y_) : converged_.refit(lambda, y_);
    ++fits_;
    if (log_) {
      ProbeRecord& record = log_->emplace_back();
      record.lnlambda = lnlambda;
      record.edf = fit.edf;
      for (Score s : kScores) record.scores[static_cast<int>(s)] = fit.ok ? fit.*member_of(s) : NAN;
    }
    const double value = fit.*member_;
    if (!fit.ok || !std::isfinite(value)) return std::nullopt;
    return Probe{lnlambda, value, fit.edf};
  }
  int fits() const { return fits_; }

 private:
  ConvergedFitter& converged_;
  Fitter& classic_;
  double ConvergedFit::*member_;
  std::span<const double> y_;
  ProbeLog* log_;
  int fits_ = 0;
};

RefinedMinimum found(const Probe& p, SearchLimit limit = SearchLimit::none) {
  return {p.lnlambda, p.score, p.edf, limit, false, std::nullopt};
}

RefinedMinimum failed(const Probe& best, double lnlambda) {
  RefinedMinimum r = found(best);
  r.failed_at = lnlambda;
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

// Brent's minimization within the bracket [a, b] around the best point known so far, whose ends' scores
// are known too: a parabola through the three best points where it steps well inside the bracket, else a
// golden-section step into the larger part; x is the best point, w the second and v the third. The first
// step is the parabola through the bracket's ends and the best point. It ends when the bracket is
// narrower than the tolerance, stops shrinking (the spacing of doubles), or after the most fits.
RefinedMinimum brent(Probes& probes, const Probe& low, const Probe& high, Probe best, double tolerance) {
  const double golden = (3 - std::sqrt(5.0)) / 2;
  const double tol = tolerance / 4;
  double a = low.lnlambda, b = high.lnlambda;
  double x = best.lnlambda, fx = best.score;
  const bool low_second = low.score <= high.score;
  double w = low_second ? a : b, fw = low_second ? low.score : high.score;
  double v = low_second ? b : a, fv = low_second ? high.score : low.score;
  double d = 0, e = b - a;  // the last step and the one before: the first parabola may take any step
  int unchanged = 0;
  while (probes.fits() < kMostFits) {
    const double middle = (a + b) / 2, width = b - a;
    if (std::abs(x - middle) <= 2 * tol - width / 2) break;
    bool parabolic = false;
    if (std::abs(e) > tol) {
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
    if (!probe) return failed(best, u);
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
  return found(best);
}

}  // namespace

SearchPlan plan_search(const ScoredRows& grid, Score score, const SearchSetting& setting,
                       std::span<const ProbeRecord> log) {
  // the grid's rows and the logged fits, in order of ln(lambda)
  std::vector<Probe> known;
  for (std::size_t r = 0; r < grid.lnlambda.size(); ++r)
    known.push_back({grid.lnlambda[r], grid.score[r], grid.edf[r]});
  for (const ProbeRecord& p : log) known.push_back({p.lnlambda, p.scores[static_cast<int>(score)], p.edf});
  std::stable_sort(known.begin(), known.end(),
                   [](const Probe& a, const Probe& b) { return a.lnlambda < b.lnlambda; });
  known.erase(std::unique(known.begin(), known.end(),
                          [](const Probe& a, const Probe& b) { return a.lnlambda == b.lnlambda; }),
              known.end());
  const std::size_t count = known.size();
  std::optional<std::size_t> k;
  for (std::size_t r = 0; r < count; ++r)
    if (std::isfinite(known[r].score) && (!k || known[r].score < known[*k].score)) k = r;
  SearchPlan plan;
  if (!k) return plan;
  plan.best = known[*k];
  const auto found_there = [&](SearchLimit limit) {
    plan.kind = SearchPlan::Kind::found;
    plan.found = found(plan.best, limit);
    return plan;
  };
  if (count < 2) return found_there(SearchLimit::none);
  if (*k == 0 || *k == count - 1) {
    plan.direction = *k == 0 ? -1 : 1;
    if (const auto limit = limit_reached(plan.best, plan.direction, setting)) return found_there(*limit);
    plan.kind = SearchPlan::Kind::outward;
    plan.before = known[*k == 0 ? 1 : count - 2];
    return plan;
  }
  plan.kind = SearchPlan::Kind::bracket;
  plan.low = known[*k - 1];
  plan.high = known[*k + 1];
  return plan;
}

std::optional<RefinedMinimum> run_search(const SearchPlan& plan, ConvergedFitter& converged, Fitter& classic,
                                         Score score, const SearchSetting& setting, ProbeLog* log) {
  switch (plan.kind) {
    case SearchPlan::Kind::no_row:
      return std::nullopt;
    case SearchPlan::Kind::found:
      return plan.found;
    default:
      break;
  }
  Probes probes(converged, classic, score, setting.y, log);
  Probe best = plan.best;
  if (plan.kind == SearchPlan::Kind::bracket)
    return brent(probes, plan.low, plan.high, best, setting.tolerance);
  // outward until the score turns up or the fit reaches its limit
  const double direction = plan.direction;
  Probe before = plan.before;
  std::optional<Probe> turned;
  for (int step = 0; step < kOutwardSteps && !turned; ++step) {
    const double lnlambda = best.lnlambda + direction * kOutwardStep;
    const std::optional<Probe> probe = probes.at(lnlambda);
    if (!probe) return failed(best, lnlambda);
    if (probe->score > best.score) {
      turned = probe;
      break;
    }
    before = best;
    best = *probe;
    if (const auto limit = limit_reached(best, direction, setting)) return found(best, *limit);
  }
  if (!turned) {
    RefinedMinimum r = found(best);
    r.still_falling = true;
    return r;
  }
  const Probe& low = before.lnlambda < turned->lnlambda ? before : *turned;
  const Probe& high = before.lnlambda < turned->lnlambda ? *turned : before;
  return brent(probes, low, high, best, setting.tolerance);
}

std::optional<RefinedMinimum> search_minimum(ConvergedFitter& converged, Fitter& classic,
                                             const ScoredRows& rows, Score score,
                                             const SearchSetting& setting, ProbeLog* log) {
  const std::span<const ProbeRecord> logged =
      log ? std::span<const ProbeRecord>(*log) : std::span<const ProbeRecord>();
  return run_search(plan_search(rows, score, setting, logged), converged, classic, score, setting, log);
}

}  // namespace trov
