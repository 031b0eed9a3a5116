#include "engine/analysis/bootstrap.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/analysis/faults.h"
#include "engine/analysis/pooling.h"
#include "engine/core/covariate_effect.h"
#include "engine/core/grouping.h"
#include "engine/covariate/design.h"
#include "engine/spline/links.h"
#include "engine/spline/natural_spline.h"

namespace trov {

ReplicateDraws::ReplicateDraws(const Points& points, std::span<const double> fitted, Model model,
                               std::int32_t seed)
    : points_(points),
      model_(model),
      sy_(fitted.begin(), fitted.end()),
      syold_(fitted.begin(), fitted.end()),  // single precision
      y_(points.y),
      state_(seed) {}

bool ReplicateDraws::draw(int limit) {
  while (true) {  // degenerate draws are not replicates; they count over the whole loop
    reboot(y_, sy_, syold_, points_.counts, points_.n, model_, state_);
    if (!vartest(y_, points_.n)) return true;
    if (++degenerate_ > limit) return false;
  }
}

CaseDraws::CaseDraws(int cases, std::int32_t seed)
    : generator_(static_cast<std::uint64_t>(seed)), cases_(static_cast<std::uint64_t>(cases)) {}

// Lemire's bounded integers from the 64-bit Mersenne twister, whose output the language fixes: the same
// indices on every platform.
void CaseDraws::draw(std::span<int> indices) {
  for (int& index : indices) {
    unsigned __int128 product = static_cast<unsigned __int128>(generator_()) * cases_;
    auto low = static_cast<std::uint64_t>(product);
    if (low < cases_) {
      const std::uint64_t threshold = -cases_ % cases_;
      while (low < threshold) {
        product = static_cast<unsigned __int128>(generator_()) * cases_;
        low = static_cast<std::uint64_t>(product);
      }
    }
    index = static_cast<int>(product >> 64);
  }
}

namespace {

// Replicates in flight at once: enough to keep every worker busy and to leave few batches, each of
// which ends waiting for its slowest refit, few enough to bound the memory of their responses (this
// batch's and the next's) and values (classic and converged).
int batch_size(int workers, int points) {
  constexpr std::size_t kMostBatchValues = 4'000'000;  // doubles of responses and values: 32 MB
  const auto most = static_cast<int>(kMostBatchValues / (6 * static_cast<std::size_t>(std::max(points, 1))));
  return std::max(1, std::min(64 * workers, most));
}

// The case-weighted mean covariate effect of a converged fit (0 without covariate).
double mean_effect(const ConvergedFit& fit, const Points& points) {
  if (fit.effect.empty()) return 0;
  return case_weighted_mean(std::span<const double>(fit.effect), std::span<const int>(points.counts));
}

// The converged fit's value on the linear-predictor scale (the mean for the normal model), at the
// case-weighted mean covariate effect where there is a covariate: the scale of the band.
void corrected_link(const ConvergedFit& fit, const Points& points, std::span<double> values) {
  const double effect = mean_effect(fit, points);
  for (std::size_t i = 0; i < values.size(); ++i)
    values[i] = fit.effect.empty() ? fit.eta[i] : fit.eta[i] - fit.effect[i] + effect;
}

// The same of a fit to other points (a case replicate), at the observed points' X.
void corrected_link_at(const ConvergedFit& fit, const Points& fitted, const Covariate* covariate,
                       const Points& observed, std::span<double> values) {
  const std::vector<double> knots = covariate ? covariate->groups.x : fitted.x;
  std::vector<double> slope(knots.size()), curvature(knots.size());
  derivatives_from_jumps(knots, fit.spline, fit.jumps, slope, curvature);
  spline_values(knots, fit.spline, slope, curvature, std::span(observed.x).first(values.size()), values);
  const double effect = mean_effect(fit, fitted);
  for (double& v : values) v += effect;
}

}  // namespace

std::optional<double> reselect_lambda(ConvergedFitter& converged, double lnlambda, std::span<const double> y,
                                      const ConvergedFit& start, const ReplicateRefits& refits) {
  double rows_lnlambda[3], rows_score[3], rows_edf[3];
  NewtonEnd rows_end[3];
  for (int r = 0; r < 3; ++r) {
    rows_lnlambda[r] = lnlambda + 2 * (r - 1);
    const double at = std::exp(rows_lnlambda[r]);
    const ConvergedFit& fit = r == 0 ? converged.fit(at, y, start) : converged.refit(at, y);
    rows_score[r] = fit.ok ? fit.*member_of(refits.criterion) : NAN;
    rows_edf[r] = fit.edf;
    rows_end[r] = fit.end;
  }
  SearchSetting setting = refits.search;
  setting.y = y;
  const std::optional<RefinedMinimum> found =
      search_minimum(converged, {rows_lnlambda, rows_score, rows_edf, rows_end}, refits.criterion, setting);
  if (!found) return std::nullopt;
  return found->lnlambda;
}

namespace {

// One bootstrap: the replicates drawn a batch at a time on the calling thread (item 0 of a job of the
// pool draws the next batch while the others refit this one) and summed in replicate order.
class Bootstrap {
 public:
  Bootstrap(const Settings& s, const Points& points, double lambda, const FitResult* classic,
            const ReplicateRefits& refits, WorkerPool& pool, std::span<WorkerFit> workers)
      : s_(s),
        points_(points),
        lambda_(lambda),
        classic_(classic),
        refits_(refits),
        pool_(pool),
        workers_(workers),
        n_(static_cast<std::size_t>(points.n)),
        converged_(refits.observed != nullptr && workers.front().converged.has_value()),
        cases_(converged_ && refits.type == BootstrapType::cases),
        gradients_(workers.front().selection.has_value()),
        batch_(batch_size(pool.size(), points.n)) {
    if (classic_) start_classic(*classic, workers.front());
    if (converged_) start_converged();
    allocate();
  }

  BootstrapOutcome run(const RunControl& control) {
    stop_ = control.stop;
    draw_batch(next_, std::min(batch_, s_.bootstrap));
    for (int first = 1; first <= s_.bootstrap;) {
      std::swap(current_, next_);
      refit_batch(first);
      add_batch(first, control);
      first += current_.count;
    }
    finish();
    outcome_.degenerate = classic_draws_ ? classic_draws_->degenerate() : 0;
    if (converged_draws_) outcome_.converged_degenerate += converged_draws_->degenerate();
    return std::move(outcome_);
  }

 private:
  // What each replicate of a batch is refitted from: its responses (classic, converged) or the indices
  // of its cases; how many replicates, how many of them have converged draws, and whether the classic
  // draws (or, without classic fits, the converged ones) ran out of replicates after them.
  struct Batch {
    std::vector<double> classic, converged;
    std::vector<int> indices;
    int count = 0, converged_count = 0;
    bool too_many_degenerate = false;
  };

  // The classic replicates' draws around the classic fit, and the fitted values their band is about.
  void start_classic(const FitResult& classic, const WorkerFit& first) {
    classic_draws_.emplace(points_, classic.mean, s_.model, s_.seed);
    const std::vector<double>& fitted = first.fitter->covariate() ? classic.corrected_mean : classic.mean;
    outcome_.yold.assign(points_.y.begin(), points_.y.end());
    outcome_.fitted.assign(fitted.begin(), fitted.end());
    mboot_.assign(n_, 0.0f);
    vboot_.assign(n_, 0.0f);
  }

  // The converged replicates' draws (of cases, or around the observed data's converged fit) and the
  // centre their band is about.
  void start_converged() {
    if (cases_)
      case_draws_.emplace(refits_.cases->cases, s_.seed);
    else
      converged_draws_.emplace(points_, refits_.observed->mean, s_.model, s_.seed);
    centre_.resize(n_);
    corrected_link(*refits_.observed, points_, centre_);
    shift_sum_.assign(n_, 0.0);
    shift_squares_.assign(n_, 0.0);
  }

  // The storage of the two batches and of one batch's refits, made once for the bootstrap.
  void allocate() {
    const auto slots = static_cast<std::size_t>(batch_);
    const std::size_t ncases = cases_ ? static_cast<std::size_t>(refits_.cases->cases) : 0;
    for (Batch* b : {&current_, &next_}) {
      b->classic.resize(classic_ ? slots * n_ : 0);
      b->converged.resize(converged_draws_ ? slots * n_ : 0);
      b->indices.resize(slots * ncases);
    }
    values_.resize(classic_ ? slots * n_ : 0);
    converged_values_.resize(converged_ ? slots * n_ : 0);
    status_.resize(slots);
    iterations_.resize(slots);
    converged_ok_.resize(slots);
    degenerate_.resize(slots);
    chosen_.resize(slots);
    batch_gradients_.resize(slots);
    if (gradients_) outcome_.gradients.reserve(static_cast<std::size_t>(s_.bootstrap));
  }

  // The current batch refitted on the workers while item 0 draws the next one (none after the last,
  // or after too many degenerate draws).
  void refit_batch(int first) {
    const int count = current_.count;
    const int following =
        current_.too_many_degenerate ? 0 : std::min(batch_, s_.bootstrap - first + 1 - count);
    const int draw_item = following > 0 ? 1 : 0;
    pool_.run(count + draw_item, [&](int worker, int item) {
      if (item < draw_item)
        draw_batch(next_, following);
      else
        refit(worker, item - draw_item);
    });
  }

  // The current batch's replicates into the sums in order, each told to control.progress; then the
  // fault of too many degenerate draws, or the stop asked.
  void add_batch(int first, const RunControl& control) {
    for (int j = 0; j < current_.count; ++j) {
      add(j);
      if (control.progress) control.progress(first + j, s_.bootstrap);
    }
    if (current_.too_many_degenerate) throw RunFault{.fault = Fault::too_many_degenerate};
    if (control.stopped()) throw RunStopped{};
  }

  // Draws up to `wanted` replicates in order; fewer where the draws run out of replicates.
  void draw_batch(Batch& b, int wanted) {
    b.count = b.converged_count = 0;
    b.too_many_degenerate = false;
    for (; b.count < wanted; ++b.count) {
      const auto slot = static_cast<std::size_t>(b.count);
      if (classic_draws_ && !draw_classic(b, slot)) return;
      if (converged_draws_ && !converged_ended_ && !draw_converged(b, slot)) return;
      if (case_draws_) draw_cases(b, slot);
    }
  }

  // A replicate's responses into its slot of a batch's responses.
  void store(const ReplicateDraws& draws, std::vector<double>& responses, std::size_t slot) const {
    std::copy(draws.response().begin(), draws.response().end(),
              responses.begin() + static_cast<std::ptrdiff_t>(slot * n_));
  }

  // False once the classic draws run out of replicates: the batch ends there.
  bool draw_classic(Batch& b, std::size_t slot) {
    if (!classic_draws_->draw(s_.bootstrap)) {
      b.too_many_degenerate = true;
      return false;
    }
    store(*classic_draws_, b.classic, slot);
    return true;
  }

  // Once the converged draws run out of replicates the classic bootstrap goes on without them; without
  // classic fits the batch ends there (false).
  bool draw_converged(Batch& b, std::size_t slot) {
    if (converged_draws_->draw(s_.bootstrap)) {
      store(*converged_draws_, b.converged, slot);
      ++b.converged_count;
    } else if (classic_) {
      converged_ended_ = true;
    } else {
      b.too_many_degenerate = true;
      return false;
    }
    return true;
  }

  void draw_cases(Batch& b, std::size_t slot) {
    const auto ncases = static_cast<std::size_t>(refits_.cases->cases);
    case_draws_->draw(std::span(b.indices).subspan(slot * ncases, ncases));
    ++b.converged_count;
  }

  void refit(int worker, int j) {
    WorkerFit& w = workers_[static_cast<std::size_t>(worker)];
    const auto slot = static_cast<std::size_t>(j);
    if (classic_) refit_classic(w, slot);
    converged_ok_[slot] = 0;
    degenerate_[slot] = 0;
    if (!converged_ || j >= current_.converged_count) return;
    converged_ok_[slot] = cases_ ? refit_cases(slot) : refit_parametric(w, slot);
  }

  void refit_classic(WorkerFit& w, std::size_t slot) {
    const std::span<const double> y = std::span(current_.classic).subspan(slot * n_, n_);
    const FitResult& fit = w.fitter->fit(lambda_, y);
    status_[slot] = fit.status;
    iterations_[slot] = fit.iterations;
    if (fit.status != FitStatus::ok) return;
    const bool covariate = w.fitter->covariate();
    for (std::size_t i = 0; i < n_; ++i) {
      double v;
      if (!covariate) {
        v = s_.model == Model::normal ? fit.mean[i] : fit.eta[i];
      } else {
        v = fit.corrected_mean[i];
        if (s_.model != Model::normal) v = ytonu(v, s_.model);
      }
      values_[slot * n_ + i] = v;
    }
    if (w.selection && !converged_) batch_gradients_[slot] = w.selection->gradients(y, fit, s_.model);
  }

  // The converged refit of responses y: at the run's lambda from `start`, or at the lambda it chooses.
  const ConvergedFit* converged_refit(ConvergedFitter& fitter, std::span<const double> y,
                                      const ConvergedFit& start, const ReplicateRefits& refits,
                                      double& chosen) {
    chosen = std::log(lambda_);
    if (!refits.reselect) {
      const ConvergedFit& fit = fitter.fit(lambda_, y, start);
      return fit.ok ? &fit : nullptr;
    }
    const std::optional<double> found = reselect_lambda(fitter, chosen, y, start, refits);
    if (!found) return nullptr;
    chosen = *found;
    const ConvergedFit& fit = fitter.refit(std::exp(chosen), y);
    return fit.ok ? &fit : nullptr;
  }

  bool refit_parametric(WorkerFit& w, std::size_t slot) {
    const std::span<const double> y = std::span(current_.converged).subspan(slot * n_, n_);
    const ConvergedFit* fit = converged_refit(*w.converged, y, *refits_.observed, refits_, chosen_[slot]);
    if (!fit) return false;
    corrected_link(*fit, points_, std::span(converged_values_).subspan(slot * n_, n_));
    if (w.selection) batch_gradients_[slot] = w.selection->gradients(y, *fit, s_.model);
    return true;
  }

  // The replicate of drawn cases, pooled into its points and fitted by fitters of its own (from the
  // constant fit at the run's lambda); a draw with all responses equal, or fewer than 4 distinct X,
  // is a degenerate one, left out.
  bool refit_cases(std::size_t slot) {
    const Points drawn = drawn_points(slot);
    if (degenerate_draw(drawn)) {
      degenerate_[slot] = 1;
      return false;
    }
    std::optional<Covariate> covariate;
    if (refits_.covariate)
      covariate.emplace(
          Covariate{build_design(drawn, refits_.categorical), compressx(drawn.x, drawn.counts, drawn.n)});
    const Covariate* with = covariate ? &*covariate : nullptr;
    if (with && with->design.columns > kMaxcol) return false;
    return refit_drawn(slot, drawn, with);
  }

  // The cases of replicate `slot`, pooled into points.
  Points drawn_points(std::size_t slot) const {
    const Points& all = *refits_.cases;
    const auto ncases = static_cast<std::size_t>(all.cases);
    Points drawn;
    for (std::size_t k = 0; k < ncases; ++k) {
      const auto c = static_cast<std::size_t>(current_.indices[slot * ncases + k]);
      drawn.x.push_back(all.x[c]);
      drawn.y.push_back(all.y[c]);
      drawn.covariate.push_back(all.covariate[c]);
      drawn.counts.push_back(all.counts[c]);
    }
    drawn.cases = all.cases;
    organizedata(drawn, refits_.covariate != nullptr);
    return drawn;
  }

  static bool degenerate_draw(const Points& drawn) {
    int distinct = 1;
    for (int i = 1; i < drawn.n; ++i) distinct += drawn.x[i] != drawn.x[i - 1] ? 1 : 0;
    return vartest(drawn.y, drawn.n) || distinct < 4;
  }

  // The drawn points' converged refit, its values at the observed points' X and its gradients.
  bool refit_drawn(std::size_t slot, const Points& drawn, const Covariate* with) {
    ConvergedFitter fitter(drawn, with, s_.model, stop_);
    ReplicateRefits own = refits_;
    own.search.linear_edf = 2.0 + (with ? with->design.columns - 1 : 0);
    own.search.interpolating_edf = drawn.n;
    const ConvergedFit start = fitter.fit(lambda_, drawn.y);
    if (!start.ok) return false;
    const ConvergedFit* fit = converged_refit(fitter, drawn.y, start, own, chosen_[slot]);
    if (!fit) return false;
    corrected_link_at(*fit, drawn, with, points_, std::span(converged_values_).subspan(slot * n_, n_));
    if (gradients_) batch_gradients_[slot] = SelectionWork(drawn, with).gradients(drawn.y, *fit, s_.model);
    return true;
  }

  // Replicate j of the batch into the sums, in replicate order.
  void add(int j) {
    const auto slot = static_cast<std::size_t>(j);
    const bool classic_ok = classic_ && status_[slot] == FitStatus::ok;
    if (classic_ok)
      add_classic(slot);
    else if (classic_)
      ++outcome_.failed_refits;
    const bool drawn = converged_ && j < current_.converged_count;
    if (drawn) add_converged(slot);
    if (gradients_ && (converged_ ? drawn && converged_ok_[slot] : classic_ok))
      outcome_.gradients.push_back(batch_gradients_[slot]);
  }

  void add_classic(std::size_t slot) {
    ++classic_count_;
    if (s_.model != Model::normal && iterations_[slot] >= s_.maxit) ++outcome_.not_converged;
    for (std::size_t i = 0; i < n_; ++i) {
      const double v = values_[slot * n_ + i];
      mboot_[i] = static_cast<float>(mboot_[i] + v);
      vboot_[i] = static_cast<float>(vboot_[i] + v * v);
    }
  }

  // A converged draw: its refit's shifts from the centre into the sums, or the draw counted as
  // degenerate or failed.
  void add_converged(std::size_t slot) {
    if (converged_ok_[slot]) {
      ++converged_count_;
      for (std::size_t i = 0; i < n_; ++i) {
        const double d = converged_values_[slot * n_ + i] - centre_[i];
        shift_sum_[i] += d;
        shift_squares_[i] += d * d;
      }
      if (refits_.reselect) outcome_.lnlambda.push_back(chosen_[slot]);
    } else if (degenerate_[slot]) {
      ++outcome_.converged_degenerate;
    } else {
      ++outcome_.converged_failed;
    }
  }

  // The bands: trov.out's about the classic fit, the converged one about its centre.
  void finish() {
    if (classic_) classic_band();
    outcome_.converged_too_many_degenerate = converged_ended_;
    if (converged_ && !converged_ended_) converged_band();
  }

  // Standard deviation with divisor the replicates summed (the replicates asked, unless refits failed), in
  // single precision, on the scale that was accumulated.
  void classic_band() {
    const auto replicates = static_cast<float>(classic_count_);
    outcome_.lower.resize(n_);
    outcome_.upper.resize(n_);
    for (std::size_t i = 0; i < n_; ++i) {
      float variance =
          classic_count_ > 0 ? (vboot_[i] - mboot_[i] * mboot_[i] / replicates) / replicates : 0.0f;
      if (variance < 0.0f) variance = 0.0f;
      const float se = std::sqrt(variance);
      const float fitted = outcome_.fitted[i];
      if (s_.model == Model::normal) {
        outcome_.lower[i] = fitted - se;  // single-precision difference
        outcome_.upper[i] = fitted + se;
      } else {
        // the band is built on the linear-predictor scale
        const double nu_low = ytonu(fitted, s_.model) - se;
        const double nu_high = ytonu(fitted, s_.model) + se;
        outcome_.lower[i] = nutoy(nu_low, s_.model);
        outcome_.upper[i] = nutoy(nu_high, s_.model);
      }
    }
  }

  // The same band about the converged fit, in double precision and without the limits of the links.
  void converged_band() {
    for (std::size_t i = 0; i < n_; ++i) {
      const double b = converged_count_, mean = converged_count_ > 0 ? shift_sum_[i] / b : 0;
      const double se =
          converged_count_ > 0 ? std::sqrt(std::max(0.0, shift_squares_[i] / b - mean * mean)) : 0;
      outcome_.converged_fitted.push_back(mean_at_eta_direct(centre_[i], s_.model));
      outcome_.converged_lower.push_back(mean_at_eta_direct(centre_[i] - se, s_.model));
      outcome_.converged_upper.push_back(mean_at_eta_direct(centre_[i] + se, s_.model));
    }
  }

  const Settings& s_;
  const Points& points_;
  double lambda_;
  const FitResult* classic_;
  const ReplicateRefits& refits_;
  WorkerPool& pool_;
  std::span<WorkerFit> workers_;
  std::size_t n_;
  bool converged_, cases_, gradients_;
  int batch_;
  std::optional<ReplicateDraws> classic_draws_, converged_draws_;
  std::optional<CaseDraws> case_draws_;
  bool converged_ended_ = false;  // the converged draws ran out of replicates
  const std::atomic<bool>* stop_ = nullptr;
  Batch current_, next_;
  std::vector<double> values_, converged_values_;
  std::vector<FitStatus> status_;
  std::vector<int> iterations_;
  std::vector<char> converged_ok_, degenerate_;
  std::vector<double> chosen_;
  std::vector<SelectionGradients> batch_gradients_;
  std::vector<float> mboot_, vboot_;
  std::vector<double> centre_, shift_sum_, shift_squares_;
  int classic_count_ = 0, converged_count_ = 0;
  BootstrapOutcome outcome_;
};

}  // namespace

BootstrapOutcome run_bootstrap(const Settings& settings, const Points& points, double lambda,
                               const FitResult* classic, const ReplicateRefits& refits, WorkerPool& pool,
                               std::span<WorkerFit> workers, const RunControl& control) {
  return Bootstrap(settings, points, lambda, classic, refits, pool, workers).run(control);
}

}  // namespace trov
