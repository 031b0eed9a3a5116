#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/data_lines.h"
#include "common/options_file.h"
#include "engine/analysis/bootstrap.h"
#include "engine/analysis/diagnostics.h"
#include "engine/core/design.h"
#include "engine/core/error_code.h"
#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/core/settings.h"
#include "engine/fit/converged.h"
#include "engine/fit/search.h"
#include "engine/fit/selection.h"

namespace trov {

// The trov.json document: every result of the run at full precision, the diagnostics a user needs and
// the selection gradients, for programs to read (the README documents each field). The run tells the
// document what it computes as it goes, and the document gives its text; it writes no file (trov40's
// report, engine/io/report.h, puts it in place). Numbers read back to the same double; a value that is
// not finite is null, with a warning saying where.

class ReportDocument {
 public:
  void settings(const Settings& settings, const DataColumns& columns, const std::string& data_file,
                const Options::Import& imported);
  void data(const Points& points, std::int64_t observations, const Covariate* covariate);
  // What the data file's lines hold: irregular lines and decimal commas become warnings.
  void data_lines(const DataLines& lines, int values_per_case);
  // A grid row (or the fixed lambda): the numbers of the classic fit and of the converged fit at the
  // same lambda (their per-point values are not read), and whether the classic fit lost its accuracy
  // (GridDiagnostics). Without the classic fits, or after they stopped the run, fit is null; without the
  // converged fits (RunOptions), penalized is null.
  void grid_row(double lnlambda, const FitResult* fit, const ConvergedFit* penalized, bool inaccurate);
  // What the grid's rows tell (their minima, the recommended answer and their warnings), after the rows.
  void grid_summary(GridDiagnostics diagnostics);
  // The classic fits that stopped the run, where they did (trov.out ends there).
  void classic_stopped(const Analysis& analysis);
  // The fit at one lambda: the classic one (null without classic fits) and the converged one.
  void fit(double lnlambda, const Points& points, const Covariate* covariate, const FitResult* fit,
           const ConvergedFit* converged);
  // The Pearson dispersion of the converged fit at one lambda, where the model has one (a warning
  // above 1.5).
  void dispersion(std::optional<double> dispersion);
  void bootstrap(const Points& points, const BootstrapOutcome& outcome);
  // After bootstrap(), with a covariate: the coefficients of the fits (the classic one null without
  // classic fits), as fit() gives them, so that a reader can tell the fitted values at each point's own
  // covariate.
  void bootstrap_coefficients(const Covariate* covariate, const FitResult* fit,
                              const ConvergedFit* converged);
  // The gradients of the converged fit at the fixed lambda (none when it did not end ok or the run
  // made no converged fits: its gradient fields are then null, with a warning), of the classic fit
  // (none without classic fits), and of every bootstrap replicate. linear: the converged fit is a
  // straight line on the link scale, so that gamma reflects the link alone and has no P.
  void selection(const std::optional<SelectionGradients>& gradients,
                 const std::optional<SelectionGradients>& classic,
                 std::span<const SelectionGradients> replicates, bool linear);
  // The "traits" member of the analysis of several traits (engine/api/traits_document.h), written
  // after every other; none is written unless given.
  void traits(nlohmann::ordered_json member) { traits_ = std::move(member); }
  // The document of a run that reached its results ("ok"), or of one that ended in an error stop.
  std::string document(const char* status = "ok");
  // Its head: everything before the sections of the points' records (the warnings, the grid, the minima).
  nlohmann::ordered_json head(const char* status = "ok") const;
  // The lines of a console warning, as the document's warnings; the message of the error that ended
  // the run, with its code.
  void warned_lines(const std::string& message);
  void error(const std::string& message, ErrorCode code);

 private:
  // The value, or null with a warning naming where it stands (a text made only then).
  template <typename Where>
  nlohmann::ordered_json number(double value, const Where& where) {
    if (std::isfinite(value)) return value;
    warnings_.push_back("non_finite: " + std::string(where()) + " is not a finite number (written as null)");
    return nullptr;
  }
  void write_document(std::ostream& out, const char* status);
  void warn_of(const std::vector<Warning>& warnings);
  static nlohmann::ordered_json refined_entry(const RefinedMinimum& refined);
  static nlohmann::ordered_json recommended_entry(const Recommendation& recommended);

  Model model_ = Model::normal;
  int maxit_ = 0;
  int replicates_ = 0;
  Settings run_settings_;
  bool covariate_ = false;
  nlohmann::ordered_json settings_, data_, fit_, bootstrap_, selection_, classic_stopped_, dispersion_;
  nlohmann::ordered_json traits_;
  nlohmann::ordered_json left_out_;  // what the import of the data file left out; null: no import known
  std::vector<std::string> line_warnings_;
  nlohmann::ordered_json irregular_lines_;
  nlohmann::ordered_json structure_mismatch_;  // lines that each hold more values than a case
  // the points' records, as text
  std::string fit_points_, fit_converged_points_, bootstrap_points_, bootstrap_classic_points_;
  nlohmann::ordered_json grid_ = nlohmann::ordered_json::array();
  GridDiagnostics grid_diagnostics_;
  std::optional<int> bootstrap_not_converged_;
  std::vector<std::string> warnings_, error_;
  ErrorCode error_code_ = ErrorCode::engine_failure;
};

}  // namespace trov
