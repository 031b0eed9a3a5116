#pragma once
// What the plots and figures show, all of it from trov.json's report (frontend/run_report.h; trov.out is
// never read): the grid's scores or the fitted values and data, the converged fits, the recommended
// lambda, the bootstrap band, the gradients and what the caption names.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/run_report.h"

namespace trov::front {

// What the run computed: a grid of lambdas, the fit at one lambda, or that fit with a bootstrap.
enum class RunKind { grid, fitted, bootstrap };

struct RunDetails {
  bool read = false;   // false: no trov.json with results; everything else is empty
  std::string unread;  // why not, as the end of a sentence ("the engine wrote no trov.json")
  RunKind kind = RunKind::grid;
  std::string model, data_file;
  int covariates = 0;
  bool categorical = false;
  int cases = 0, observations = 0, replicates = 0;
  bool counts_column = false;              // the data file's structure has the count N
  std::string criterion;                   // that of trov.options, as the run used it
  std::string bootstrap_lambda;            // "fixed" or "reselected"; empty without a bootstrap
  std::vector<double> lnlambda_quantiles;  // a reselecting bootstrap's ln(lambda): 2.5, 50, 97.5 %
  std::vector<ReportWarning> warnings;
  std::optional<ClassicStop> classic_stopped;  // the run stopped in trov.out's classic table
  double dispersion = kNoValue;                // Pearson, of the converged fit

  // Grid: per row the classic fit's GCV and OCV scores (OCV NaN with a covariate), and with the converged
  // fits (a recommended lambda) the chosen criterion's scores (NaN where the fit failed).
  std::vector<double> grid_lnlambda, grid_gcv, grid_ocv, criterion_score;
  std::optional<Recommended> recommended;

  // Fixed lambda: per point (by X, as trov.out's table), the data, the classic fitted values and the
  // converged ones (both corrected for the covariate where there is one; `converged` empty when the
  // converged fit failed), after a bootstrap its band (that of the converged refits, else the classic
  // one), and a covariate run's fitted values at each point's own covariate (without a bootstrap the
  // classic ones; after one, complete_bootstrap_points gives them and the counts N).
  double lnlambda = 0, edf = 0;
  std::vector<double> x, y, n, c, classic, converged, lower, upper, uncorrected;
  std::vector<double> curve_coefficients;  // a covariate bootstrap's: those of its curve's fit
  std::vector<double> levels;              // a categorical covariate's values
  std::optional<Gradient> beta, gamma, beta_standardized, gamma_standardized;
  bool linear_limit = false;  // the converged fit is a straight line on the link scale: gamma is the link's
  double mean_fitness = 0;
};

// What the plots take from `report`: that of a run that ended well, or of one whose classic table stopped
// (classic_stopped) with its converged analysis. A missing or unreadable file, or one of another failed
// run, gives `read` false and says why in `unread`.
RunDetails run_details(const RunReport& report);
RunDetails read_run_details(const std::string& path);

// The report of a failed run; nothing when there is no trov.json of a failed run at `path`.
std::optional<ErrorReport> read_error_report(const std::string& path);

// The counts N of a bootstrap's points, with a covariate its values and the curve's fit at each point's
// own covariate (`uncorrected`), which trov.json's bootstrap points do not hold: from the data file read
// as the engine reads it and its cases pooled as the engine pools them (equal X and covariate). Filled in
// only when the pooled points are trov.json's (the same X in the same order, the counts adding up to its
// observations); otherwise, as for a data file changed since the run, N stays unknown (`n` empty).
void complete_bootstrap_points(RunDetails& run);

// Fitted values corrected for the covariate as trov.out's YhatC are: every point at the case-weighted mean
// covariate effect. `eta` on the link scale per point, `coefficients` laid out as trov.json's.
std::vector<double> corrected_for_covariate(const RunDetails& run, const std::vector<double>& eta,
                                            const std::vector<double>& coefficients);

// `digits` significant digits, without an exponent unless the value is tiny or huge; "undefined" for a
// value that is not finite.
std::string significant_text(double value, int digits);

// A gradient as the plots and figures show it, `digits` significant: "gamma = -0.46 (SE 0.052, P = 0.01)"
// (the SE where a bootstrap gave one, P where asked for). At the linear limit gamma reflects the link
// alone: "gamma = 0.0374: link only (no curvature found)", without SE and P.
struct GradientStyle {
  int digits = 3;
  bool with_p = false;
  bool link_only = false;  // the gradient is gamma of a run at the linear limit
};
std::string gradient_text(std::string_view name, const Gradient& gradient, GradientStyle style);

// The name of a criterion as a reader sees it ("REML", "GCV").
std::string criterion_title(const std::string& criterion);

// Where the classic fit must be drawn beside the converged one: a fitted probability that differs by
// more than 0.01 (binomial), else a fitted value by more than 1% of the range of Y; never where the
// classic fit has no value.
std::vector<bool> classic_differs(const RunDetails& run);

}  // namespace trov::front
