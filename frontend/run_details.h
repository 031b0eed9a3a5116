#pragma once
// What trov.json adds to trov.out for the plots and figures: the converged fits, the recommended lambda,
// the band of the converged bootstrap refits, the gradients and what the caption names.
#include <optional>
#include <string>
#include <vector>

namespace trov::front {

// The lambda the run puts forward after a grid: the refined minimum of the chosen criterion.
struct Recommended {
  std::string criterion;  // as trov.json names it: "reml", "ml", "gcv", "ubre", "ocv"
  double lnlambda = 0, edf = 0;
  double score = 0;   // the criterion's score there; NaN when trov.json gives none
  std::string limit;  // "linear", "interpolating" or empty
  std::string text;   // the sentence of trov.json
};

// A selection gradient with its bootstrap summary (NaN where there is none).
struct Gradient {
  double value = 0, se = 0, p = 0;
};

struct RunDetails {
  bool read = false;  // false: no trov.json of a run that ended well; everything else is empty
  std::string model, data_file;
  int covariates = 0;
  bool categorical = false;
  int cases = 0, observations = 0, replicates = 0;
  std::string criterion;                   // that of trov.options, as the run used it
  std::string bootstrap_lambda;            // "fixed" or "reselected"; empty without a bootstrap
  std::vector<double> lnlambda_quantiles;  // a reselecting bootstrap's ln(lambda): 2.5, 50, 97.5 %
  std::vector<std::string> warnings;

  // Grid: the converged scores of the chosen criterion per row (NaN where the fit failed).
  std::vector<double> grid_lnlambda, criterion_score;
  std::optional<Recommended> recommended;

  // Fixed lambda: per point (in the order of trov.out's table), the data, the classic fitted values and
  // the converged ones (both corrected for the covariate where there is one; `converged` empty when the
  // converged fit failed), and after a bootstrap the band of the converged refits.
  double lnlambda = 0, edf = 0;
  std::vector<double> x, y, n, c, classic, converged, lower, upper;
  std::vector<double> levels;           // a categorical covariate's values
  std::optional<Gradient> beta, gamma;  // standardized
  double mean_fitness = 0;
};

// Reads trov.json at `path`; a missing or unreadable file, or one of a failed run, gives `read` false.
RunDetails read_run_details(const std::string& path);

// Fitted values corrected for the covariate as trov.out's YhatC are: every point at the case-weighted mean
// covariate effect. `eta` on the link scale per point, `coefficients` laid out as trov.json's.
std::vector<double> corrected_for_covariate(const RunDetails& run, const std::vector<double>& eta,
                                            const std::vector<double>& coefficients);

// The name of a criterion as a reader sees it ("REML", "GCV").
std::string criterion_title(const std::string& criterion);

// Where the classic fit must be drawn beside the converged one: a fitted probability that differs by
// more than 0.01 (binomial), else a fitted value by more than 1% of the range of Y.
std::vector<bool> classic_differs(const RunDetails& run);

}  // namespace trov::front
