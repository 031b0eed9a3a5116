#include "engine/fit/search.h"

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

struct Probe {
  double lnlambda, score, edf;
};

// The fits of one search: the first from the classic fit at its lambda, each later one from the one
// before; a fit that does not end ok with a finite score ends the search.
class Probes {
 public:
  Probes(ConvergedFitter& converged, Fitter& classic, Score score, std::span<const double> y)
      : converged_(converged), classic_(classic), member_(member_of(score)), y_(y) {}

  std::optional<Probe> at(double lnlambda) {
    const double lambda = std::exp(lnlambda);
    const ConvergedFit& fit =
        fits_ == 0 ? converged_.fit(lambda, y_, classic_.fit(lambda, y_)) : converged_.refit(lambda, y_);
    ++fits_;
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

std::optional<RefinedMinimum> search_minimum(ConvergedFitter& converged, Fitter& classic,
                                             const ScoredRows& rows, Score score,
                                             const SearchSetting& setting) {
  const std::size_t count = rows.lnlambda.size();
  std::optional<std::size_t> k;
  for (std::size_t r = 0; r < count; ++r)
    if (std::isfinite(rows.score[r]) && (!k || rows.score[r] < rows.score[*k])) k = r;
  if (!k) return std::nullopt;
  const auto row = [&](std::size_t r) { return Probe{rows.lnlambda[r], rows.score[r], rows.edf[r]}; };
  Probe best = row(*k);
  if (count < 2) return found(best);
  const bool linear = std::abs(best.edf - setting.linear_edf) <= kLimitEdf;
  const bool interpolating = std::abs(best.edf - setting.interpolating_edf) <= kLimitEdf;
  Probes probes(converged, classic, score, setting.y);
  Probe low, high;  // the bracket around the best point
  if (*k == 0 || *k == count - 1) {
    const double direction = *k == 0 ? -1 : 1;
    if (direction > 0 && linear) return found(best, SearchLimit::linear);
    if (direction < 0 && interpolating) return found(best, SearchLimit::interpolating);
    // outward until the score turns up or the fit reaches its limit
    Probe before = row(*k == 0 ? 1 : count - 2);
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
      if (direction > 0 && std::abs(best.edf - setting.linear_edf) <= kLimitEdf)
        return found(best, SearchLimit::linear);
      if (direction < 0 && std::abs(best.edf - setting.interpolating_edf) <= kLimitEdf)
        return found(best, SearchLimit::interpolating);
    }
    if (!turned) {
      RefinedMinimum r = found(best);
      r.still_falling = true;
      return r;
    }
    low = before.lnlambda < turned->lnlambda ? before : *turned;
    high = before.lnlambda < turned->lnlambda ? *turned : before;
  } else {
    low = row(*k - 1);
    high = row(*k + 1);
  }
  return brent(probes, low, high, best, setting.tolerance);
}

}  // namespace trov
