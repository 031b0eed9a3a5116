#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/fit/converged.h"
#include "engine/fit/fitter.h"

namespace trov {

// The scores of the converged fits by which lambda can be chosen.
enum class Score { gcv, ocv, ubre, reml, ml };
inline constexpr Score kScores[] = {Score::gcv, Score::ocv, Score::ubre, Score::reml, Score::ml};

double ConvergedFit::*member_of(Score score);
std::string_view score_name(Score score);   // "gcv", "ocv", "ubre", "reml", "ml"
std::string_view score_label(Score score);  // "GCV", "OCV", "UBRE", "REML", "ML"

// Where a search for the smallest score stopped at a limit of the fits, not at a minimum: the fit had
// become a straight line (edf within 1e-3 of the unpenalized columns) or interpolated the points
// (edf within 1e-3 of their number).
enum class SearchLimit { none, linear, interpolating };

// The ln(lambda) of the smallest score that a search found, with its score and edf.
struct RefinedMinimum {
  double lnlambda = 0;
  double score = 0;
  double edf = 0;
  SearchLimit limit = SearchLimit::none;
  bool still_falling = false;       // the score still fell where the outward steps ended (30 past the grid)
  std::optional<double> failed_at;  // a fit of the search failed here: the search stopped, not ok
  bool ok() const { return !failed_at; }
  bool operator==(const RefinedMinimum&) const = default;
};

// Rows whose converged fits are known: ln(lambda) increasing, the score and edf of each (NaN where the
// fit did not end ok).
struct ScoredRows {
  std::span<const double> lnlambda, score, edf;
};

// The fits that searches made one after the other: each later search starts from them as from more
// rows, so searches for scores whose minima lie close together share their fits.
struct ProbeRecord {
  double lnlambda = 0, edf = 0;
  double scores[std::size(kScores)] = {};  // NaN where the fit did not end ok
};
using ProbeLog = std::vector<ProbeRecord>;

// What a search needs besides the rows: the responses, the fitters of one worker, and the edf at
// which the fits reach their limits.
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

// Where a search starts, decided by the rows and the log alone: every fit it then makes follows from
// this. Plans that compare equal make the same fits and find the same.
struct SearchPlan {
  enum class Kind { no_row, found, outward, bracket };
  Kind kind = Kind::no_row;  // no finite row; found without a fit; steps outward; within [low, high]
  RefinedMinimum found;      // for Kind::found
  Probe best;                // the smallest score
  Probe low, high;           // the bracket around it (Kind::bracket)
  Probe before;              // the row next to best inside the grid (Kind::outward)
  double direction = 0;      // -1 or +1 (Kind::outward)
  bool operator==(const SearchPlan&) const = default;
};

// search_minimum in its two halves: where it starts, from the rows and the fits of the log, and the
// fits it makes from there (added to the log).
SearchPlan plan_search(const ScoredRows& rows, Score score, const SearchSetting& setting,
                       std::span<const ProbeRecord> log = {});
std::optional<RefinedMinimum> run_search(const SearchPlan& plan, ConvergedFitter& converged, Fitter& classic,
                                         Score score, const SearchSetting& setting, ProbeLog* log = nullptr);

// The smallest score around the smallest row: where that row is the first or the last, the search
// steps outward by 2 in ln(lambda), at most 30 past it, until the score turns up or the fit reaches a
// limit; then Brent's search (parabolas and golden sections) within the cells on either side of the
// best point until the bracket is narrower than the tolerance or stops shrinking, at most 100 fits.
// The first fit starts from the classic fit at its lambda, each later one from the one before, so the
// result depends on nothing but the rows, the log and the responses. A fit that does not end ok stops
// the search (failed_at): it cannot tell on which side the minimum lies. None without a finite row.
// With a log, its fits count as rows too, and the search adds its own fits to it.
std::optional<RefinedMinimum> search_minimum(ConvergedFitter& converged, Fitter& classic,
                                             const ScoredRows& rows, Score score,
                                             const SearchSetting& setting, ProbeLog* log = nullptr);

}  // namespace trov
