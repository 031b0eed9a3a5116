#include "engine/analysis/grid_search.h"

#include <algorithm>

namespace trov {

namespace {

// ln(lambda) of the likelihood criteria's minima to this: their edf to 1e-4 of themselves
constexpr double kLikelihoodTolerance = 1e-4;

constexpr int kLikelihoodSequence = 1;

int sequence_of(Criterion s) { return is_likelihood(s) ? kLikelihoodSequence : 0; }

}  // namespace

bool is_likelihood(Criterion s) { return s == Criterion::reml || s == Criterion::ml; }

GridSearches::GridSearches(const std::vector<AnalysisRow>& rows, std::vector<Criterion> scores,
                           const SearchSetting& setting)
    : board_(rows), scores_(std::move(scores)), setting_(setting), refined_(scores_.size()) {}

std::vector<std::pair<Criterion, RefinedMinimum>> GridSearches::minima() const {
  std::vector<std::pair<Criterion, RefinedMinimum>> found;
  for (std::size_t k = 0; k < scores_.size(); ++k)
    if (refined_[k]) found.emplace_back(scores_[k], *refined_[k]);
  return found;
}

// The cross-validation scores' sequence reads no likelihood scores: its fits leave them out.
void GridSearches::run_sequence(int sequence, ConvergedFitter& converged) {
  const bool likelihood = converged.computes_likelihood();
  converged.compute_likelihood(likelihood && sequence == kLikelihoodSequence);
  search_until_settled(sequence, converged);
  converged.compute_likelihood(likelihood);
}

// The sequence's searches from the rows that are in, and from all of them where the rule says they
// begin again; nothing where fewer than two rows have converged scores or the run was stopped.
void GridSearches::search_until_settled(int sequence, ConvergedFitter& converged) {
  RowBoard::Grid grid = board_.grid(false);
  while (!grid.stopped) {
    if (grid.lnlambda.size() >= 2) {
      if (run_searches(sequence, converged, grid)) return;
    } else if (grid.complete) {
      return;
    } else {
      grid = board_.grid(true);
    }
  }
}

// Each search of the sequence, planned from `grid` and run, its minimum kept. Once the last rows are in
// (between two searches, or after the last), the rule decides on the searches so far and `grid`
// becomes all the rows. Returns whether the searches stand.
bool GridSearches::run_searches(int sequence, ConvergedFitter& converged, RowBoard::Grid& grid) {
  std::vector<StartedSearch> started;
  for (std::size_t k = 0; k < scores_.size(); ++k) {
    if (sequence_of(scores_[k]) != sequence) continue;
    if (!grid.complete && board_.complete() && !searches_stand(grid, started)) return false;
    const StartedSearch& search = started.emplace_back(start_search(grid, scores_[k]));
    refined_[k] = run_search(search.plan, converged, search.score, search.setting);
  }
  return grid.complete || searches_stand(grid, started);
}

GridSearches::StartedSearch GridSearches::start_search(const RowBoard::Grid& grid, Criterion score) const {
  SearchSetting tuned = setting_;
  if (is_likelihood(score)) tuned.tolerance = kLikelihoodTolerance;
  return {score, tuned, plan_search(grid.of(score), score, tuned)};
}

// The restart rule, once all the rows are in (`grid` becomes theirs): the searches started stand if
// each would have been planned alike from all of them, and the run was not stopped. (A NaN score next
// to the smallest compares unequal: that sequence begins again, which costs only time.)
bool GridSearches::searches_stand(RowBoard::Grid& grid, const std::vector<StartedSearch>& started) {
  grid = board_.grid(true);
  return !grid.stopped && std::all_of(started.begin(), started.end(), [&](const StartedSearch& s) {
    return plan_search(grid.of(s.score), s.score, s.setting) == s.plan;
  });
}

}  // namespace trov
