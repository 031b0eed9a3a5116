#pragma once

#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "engine/analysis/analysis.h"
#include "engine/fit/converged.h"
#include "engine/fit/search.h"

namespace trov {

// The searches of each converged score's smallest value on a grid whose last rows are still being
// fitted. The workers post each row on a board as they finish it; two more items of the grid's job run
// two fixed sequences of searches, the cross-validation scores' and the likelihood scores', each on its
// worker's converged fitter. A sequence plans its searches from the rows that are in: a search's plan
// (where it starts, see plan_search) follows from the rows alone, and what it finds from its plan.
// The restart rule: once all rows are in, a sequence stands if each search it has started would have
// been planned alike from all of them; else it begins again from all of them. So the minima are those
// of searches from the whole grid, whatever the number of workers and the order they finish rows in.

// Whether a score is a likelihood criterion (REML, ML), searched in the second sequence.
bool is_likelihood(Criterion s);

// The grid's rows as the workers finish them, for searches that start before the last is in.
class RowBoard {
 public:
  explicit RowBoard(const std::vector<AnalysisRow>& rows) : rows_(rows), finished_(rows.size()) {}

  // Row k is done, or left because the run was stopped.
  void finish(std::size_t k, bool stopped) {
    {
      std::lock_guard lock(mutex_);
      finished_[k] = true;
      ++count_;
      stopped_ = stopped_ || stopped;
    }
    all_in_.notify_all();
  }

  bool complete() {
    std::lock_guard lock(mutex_);
    return count_ == rows_.size();
  }

  // The converged scores of the rows finished so far, or of them all.
  struct Grid {
    std::vector<double> lnlambda, edf;
    std::vector<NewtonEnd> end;
    std::vector<std::vector<double>> scores = std::vector<std::vector<double>>(std::size(kScores));
    bool complete = false;
    bool stopped = false;  // the run was stopped: there is nothing to search
    ScoredRows of(Criterion s) const { return {lnlambda, scores[static_cast<std::size_t>(s)], edf, end}; }
  };
  Grid grid(bool all) {
    std::unique_lock lock(mutex_);
    if (all) all_in_.wait(lock, [&] { return count_ == rows_.size(); });
    Grid g;
    g.complete = count_ == rows_.size();
    g.stopped = stopped_;
    for (std::size_t k = 0; k < rows_.size(); ++k) {
      const AnalysisRow& row = rows_[k];
      if (!finished_[k] || !row.converged) continue;
      g.lnlambda.push_back(row.lnlambda);
      g.edf.push_back(row.converged->edf);
      g.end.push_back(row.converged->end);
      for (Criterion s : kScores)
        g.scores[static_cast<std::size_t>(s)].push_back(row.converged->ok ? (*row.converged).*member_of(s)
                                                                          : NAN);
    }
    return g;
  }

 private:
  const std::vector<AnalysisRow>& rows_;
  std::vector<bool> finished_;
  std::size_t count_ = 0;
  bool stopped_ = false;
  std::mutex mutex_;
  std::condition_variable all_in_;
};

// The searches of the scores' minima on the grid of `rows`, which the caller fits and tells of.
class GridSearches {
 public:
  static constexpr int kSequences = 2;  // the cross-validation scores' (0), the likelihood scores' (1)

  GridSearches(const std::vector<AnalysisRow>& rows, std::vector<Criterion> scores,
               const SearchSetting& setting);

  // Row k is fitted, or left because the run was stopped.
  void finish_row(std::size_t k, bool stopped) { board_.finish(k, stopped); }

  // Runs sequence `sequence` of searches on a worker's converged fitter, to the end the rule gives.
  void run_sequence(int sequence, ConvergedFitter& converged);

  // The minima found, in the order of the scores (once every sequence has run).
  std::vector<std::pair<Criterion, RefinedMinimum>> minima() const;

 private:
  // A search as it was started: its plan.
  struct StartedSearch {
    Criterion score;
    SearchSetting setting;
    SearchPlan plan;
  };

  void search_until_settled(int sequence, ConvergedFitter& converged);
  bool run_searches(int sequence, ConvergedFitter& converged, RowBoard::Grid& grid);
  StartedSearch start_search(const RowBoard::Grid& grid, Criterion score) const;
  bool searches_stand(RowBoard::Grid& grid, const std::vector<StartedSearch>& started);

  RowBoard board_;
  std::vector<Criterion> scores_;
  SearchSetting setting_;
  std::vector<std::optional<RefinedMinimum>> refined_;  // per score, written by its sequence alone
};

}  // namespace trov
