#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "engine/analysis/analysis.h"
#include "engine/analysis/bootstrap.h"
#include "engine/core/model.h"
#include "engine/core/settings.h"
#include "engine/fit/search.h"

namespace trov {

// What a run's results call to a reader's attention, as values: each warning its kind and the values
// its words take. warning_line gives the words ("kind: words"), from one table; trov.json's writer and
// the library both take them from there.
enum class WarningKind {
  classic_stopped,                 // names: the fault's message; values: its ln(lambda)
  overdispersion,                  // values: the dispersion; variant: the bootstrap draws the cases
  bootstrap_failed_refits,         // whole: replicates
  bootstrap_converged_failed,      // whole: replicates
  bootstrap_degenerate_cases,      // whole: replicates
  bootstrap_converged_degenerate,  //
  bootstrap_centre,                // values: the observed data's ln(lambda)
  selection_not_converged,         // variant: the classic fit's gradients stand in
  gamma_link_only,                 //
  search_open,                     // names: the score; values: where the search ended
  search_separating,               // names: the score; values: the failed fit's ln(lambda), the end
  search_failed,                   // as search_separating
  grid_minimum_at_edge,            // names: the score, the search's limit ("" a minimum); values: the
                                   // edge, then the search's end (none: no search)
  classic_differs,                 // values: the worst ln(lambda), its difference, the limit; whole:
                                   // the rows beyond the limit; variant: with covariate
  classic_gcv_minimum_differs,     // values: the converged fits' ln(lambda), the classic ones'
  converged_failed,                // values: the rows' ln(lambda)
  classic_inaccurate,              // values: the rows' ln(lambda)
  not_converged,                   // values: the rows' ln(lambda); whole: maxit; variant: converged
                                   // fits were made
  bootstrap_not_converged,         // whole: refits; values: maxit
  no_recommended,                  //
};

struct Warning {
  WarningKind kind;
  Model model = Model::normal;
  std::vector<double> values{};
  std::vector<std::string> names{};
  long long whole = 0;
  bool variant = false;
};

// "kind: words".
std::string warning_line(const Warning& warning);

// The shortest text that reads back to the same double; a list of them joined by ", ".
std::string shortest_text(double value);
std::string shortest_list(const std::vector<double>& values);

// The smallest finite score of a grid's rows (ties to the first), and whether it lies at an end.
struct GridMinimum {
  std::size_t index = 0;
  double lnlambda = 0, score = 0;
  bool at_edge = false;
};

// The answer to report: the refined minimum of the run's criterion, with the sentence that says it.
struct Recommendation {
  Criterion criterion = Criterion::reml;
  RefinedMinimum refined;
  std::string text;
};

// What a run's grid rows tell: the rows whose classic fit lost its accuracy, did not converge or
// differs from the converged one, the converged fits that failed, the grid's minima and the
// recommended answer, with their warnings (in trov.json's order).
struct GridDiagnostics {
  bool converged_fits = false;           // the rows carry converged fits
  bool minima = false;                   // a grid of two rows or more: its minima are looked for
  std::vector<bool> classic_inaccurate;  // per row (false without a classic fit)
  std::vector<double> inaccurate, not_converged, differs, converged_failed;  // their ln(lambda)
  std::optional<GridMinimum> gcv, ocv;  // the classic fits', inaccurate rows left out
  std::array<std::optional<GridMinimum>, std::size(kScores)> converged;  // of the scores searched
  std::array<std::optional<RefinedMinimum>, std::size(kScores)> refined;
  std::optional<Recommendation> recommended;
  std::optional<bool> minimum_at_edge, gcv_minimum_differs;
  double differs_limit = 0;
  std::vector<Warning> warnings;
};

// The classic fit of each row as trov.json reports it: none after the classic fits stopped the run.
const FitResult* reported_classic(const Analysis& analysis, std::size_t row);

GridDiagnostics grid_diagnostics(const Analysis& analysis, const Settings& settings, const RunData& data);

// The warnings of the fit at one lambda, of its bootstrap and of its gradients; the bootstrap's
// classic refits that stopped at maxit (after every other warning of the run).
std::vector<Warning> classic_stopped_warnings(const Analysis& analysis);
std::vector<Warning> dispersion_warnings(std::optional<double> dispersion, const Settings& settings);
std::vector<Warning> bootstrap_warnings(const BootstrapOutcome& outcome, const Settings& settings);
std::vector<Warning> selection_warnings(bool gradients, bool classic, bool linear, Model model);
std::vector<Warning> bootstrap_not_converged_warnings(std::optional<int> refits, int maxit);

// The fit at one lambda is a straight line on the link scale: edf within 1e-3 of the unpenalized columns.
bool at_linear_limit(const Analysis& analysis, const RunData& data);

// Every warning of a run, in trov.json's order (without those of the files: the data file's lines, the
// values written as null), and the recommended answer.
struct RunDiagnostics {
  std::vector<Warning> warnings;
  std::optional<Recommendation> recommended;
};
RunDiagnostics diagnose(const Analysis& analysis, const Settings& settings, const RunData& data);

}  // namespace trov
