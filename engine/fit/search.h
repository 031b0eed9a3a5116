#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/core/settings.h"
#include "engine/fit/converged.h"

namespace trov {

// The converged fits' scores (each a criterion by which lambda can be chosen) in the order the
// results list them.
inline constexpr Criterion kScores[] = {Criterion::gcv, Criterion::ocv, Criterion::ubre, Criterion::reml,
                                        Criterion::ml};

double ConvergedFit::*member_of(Criterion score);
std::string_view score_name(Criterion score);   // "gcv", "ocv", "ubre", "reml", "ml"
std::string_view score_label(Criterion score);  // "GCV", "OCV", "UBRE", "REML", "ML"

// Where a search for the smallest score stopped at a limit of the fits, not at a minimum: the fit had
// become a straight line (edf within 1e-3 of the unpenalized columns), interpolated the points (edf
// within 1e-3 of their number), or the score still fell where the fits beyond ran away, as they do
// where the responses separate (no maximum exists there), or failed otherwise.
enum class SearchLimit { none, linear, interpolating, separating, failed };
std::string_view limit_name(SearchLimit limit);  // "", "linear", "interpolating", "separating", "failed"

// The smallest score that a search found: its ln(lambda), score and edf, or the limit it reached.
struct RefinedMinimum {
  double lnlambda = 0;
  double score = 0;
  double edf = 0;
  SearchLimit limit = SearchLimit::none;
  bool still_falling = false;       // the score still fell where the outward steps ended (30 past the grid)
  std::optional<double> failed_at;  // separating or failed: the nearest ln(lambda) whose fit failed
  bool operator==(const RefinedMinimum&) const = default;
};

// Rows whose converged fits are known: ln(lambda) increasing, the score and edf of each (the score NaN
// where the fit did not end ok), and, where known, how each fit ended.
struct ScoredRows {
  std::span<const double> lnlambda, score, edf;
  std::span<const NewtonEnd> end = {};
};

// What a search needs besides the rows: the responses and the edf at which the fits reach their limits.
struct SearchSetting {
  std::span<const double> y;
  double linear_edf = 2;         // the unpenalized columns: the line and the covariate's
  double interpolating_edf = 0;  // the points
  double tolerance = 1e-3;       // of ln(lambda)
};

// A known score: a row's or a fit's of the search.
struct Probe {
  double lnlambda = 0, score = 0, edf = 0;
  bool operator==(const Probe&) const = default;
};

// A fit that failed: where, and how it ended.
struct Failure {
  double lnlambda = 0;
  NewtonEnd end = NewtonEnd::ran_away;
  bool operator==(const Failure&) const = default;
};

// Where a search starts, decided by the rows alone: every fit it then makes follows from this. Plans
// that compare equal make the same fits and find the same.
struct SearchPlan {
  enum class Kind { no_row, found, outward, bracket };
  Kind kind = Kind::no_row;  // no finite row; found without a fit; steps outward; within [low, high]
  RefinedMinimum found;      // for Kind::found
  Probe best;                // the smallest score
  // Kind::bracket: the rows on either side of best. Kind::outward: the row next to best on the inner
  // side (low), or the fit that failed there (low_failed).
  Probe low, high;
  std::optional<Failure> low_failed;
  double direction = 0;             // -1 or +1 (Kind::outward)
  std::optional<Failure> boundary;  // Kind::outward: the row next to best outward, whose fit failed
  bool operator==(const SearchPlan&) const = default;
};

// search_minimum in its two halves: where it starts, from the rows, and the fits it makes from there.
SearchPlan plan_search(const ScoredRows& rows, Criterion score, const SearchSetting& setting);
std::optional<RefinedMinimum> run_search(const SearchPlan& plan, ConvergedFitter& converged, Criterion score,
                                         const SearchSetting& setting);

// The smallest score around the smallest finite row, on fits of its own: where that row is the first
// or the last, or its neighbour's fit failed, the search steps outward by 2 in ln(lambda), at most 30
// past it, until the score turns up or the fit reaches a limit, halving a step into a fit that fails
// until the failure lies within the tolerance (a limit, named); then Brent's search (parabolas and
// golden sections) within the cells on either side of the best point until the bracket is narrower
// than the tolerance or stops shrinking, at most 100 fits, a fit that fails bounding the bracket. A
// failed row is never an end of a bracket with a score. The first fit starts from the constant, each
// later one from the one before, so the result depends on nothing but the rows and the responses.
// None without a finite row.
std::optional<RefinedMinimum> search_minimum(ConvergedFitter& converged, const ScoredRows& rows,
                                             Criterion score, const SearchSetting& setting);

}  // namespace trov
