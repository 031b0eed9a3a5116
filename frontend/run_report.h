#pragma once
// trov.json read once into plain values: the report of the last run as the engine wrote it
// (engine/report/report_document.cpp; the member names in common/report_keys.h). The front end's plots,
// figures, notes, details and messages take everything from here; nothing else reads the file.
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace trov::front {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// A warning line of trov.json, "kind: words".
struct ReportWarning {
  std::string kind;  // "not_converged"; "Warning" for a setting the engine repaired; empty: none named
  std::string text;  // the words after the kind, as written
  std::string line() const;  // the line as trov.json holds it
};

// A selection gradient with its bootstrap summary (NaN where there is none).
struct Gradient {
  double value = kNoValue, se = kNoValue, p = kNoValue;
};

// Where a classic fit stopped the run (a GLM weight vanished): trov.out's classic table ends there, while
// trov.json holds the converged analysis.
struct ClassicStop {
  double lnlambda = 0;
  std::string message;
};

// The lambda the run puts forward after a grid: the refined minimum of the chosen criterion.
struct Recommended {
  std::string criterion;  // as trov.json names it: "reml", "ml", "gcv", "ubre", "ocv"
  double lnlambda = 0, edf = 0;
  double score = 0;   // the criterion's score there (its refined minimum's); NaN when trov.json gives none
  std::string limit;  // "linear", "interpolating" or empty
  std::string text;   // the sentence of trov.json
};

// Numbers trov.json writes as null, or members a run does not have, are NaN below.
struct ReportSettings {
  std::string model, data_file;
  std::string criterion;  // that of trov.options, as the run used it
  int covariates = 0, bootstrap_replicates = 0;
  bool categorical = false, counts_column = false;
  double lmin = kNoValue;
};

struct ReportData {
  int cases = 0, observations = 0;
  std::vector<double> levels;  // a categorical covariate's values
};

struct ReportDiagnostics {
  std::optional<ClassicStop> classic_stopped;
  bool grid_minimum_at_edge = false;  // of the recommending criterion's scores
  double dispersion = kNoValue;       // Pearson, of a fixed lambda's converged fit
};

struct GridRow {
  double lnlambda = kNoValue, trace = kNoValue, gcv = kNoValue, ocv = kNoValue;
  bool converged = false;                         // the row has a converged fit
  double converged_edf = kNoValue;                // its effective number of parameters
  std::map<std::string, double> converged_score;  // by criterion; NaN where the fit did not end ok
};

// The smallest classic score of a grid.
struct GridMinimum {
  std::size_t index = 0;  // the row of the grid
  double lnlambda = kNoValue, score = kNoValue;
  bool at_edge = false;
};

struct ReportMinimum {
  std::optional<GridMinimum> gcv, ocv;
  std::optional<Recommended> recommended;  // with the converged fits
};

// The points of a fit or a bootstrap as columns, one value per point (NaN where its object has none).
struct ReportPoints {
  std::vector<double> x, y, n, c, yhat, nu, yhat_corrected, lower, upper;
};

// One fixed lambda without bootstrap.
struct ReportFit {
  std::vector<double> coefficients, converged_coefficients;  // with a covariate
  ReportPoints points;
  std::optional<ReportPoints> converged_points;  // none where the converged fit failed
};

struct ReportBootstrap {
  std::string band;                                          // "converged" or "classic"
  std::string lambda = "fixed";                              // or "reselected"
  std::vector<double> lnlambda_quantiles;                    // reselected: 2.5, 50, 97.5 %
  std::vector<double> coefficients, converged_coefficients;  // with a covariate
  ReportPoints points;                         // the converged fit and band, unless band is "classic"
  std::optional<ReportPoints> classic_points;  // the classic fit and band, as trov.out prints them
};

// The gradients of the converged fit (of a fixed lambda).
struct ReportSelection {
  Gradient beta, gamma, beta_standardized, gamma_standardized;
  double mean_fitness = kNoValue;
  bool linear_limit = false;  // a straight line on the link scale: gamma is the link's
};

// trov.json's report of a run that stopped on an error: the engine's message, and the number of its
// fault in the one table of errors (engine/core/error_code.h; 0 when the report gives none).
struct ErrorReport {
  int code = 0;
  std::vector<std::string> message;
};

struct RunReport {
  enum class Read {
    no_file,       // there is no file to read
    unreadable,    // not a JSON object
    other_layout,  // members of other types than trov.json's: only status and error are read
    whole,
  };
  std::string path;
  Read read = Read::no_file;
  std::string status;                // "ok" or "error"
  std::optional<ErrorReport> error;  // status "error"
  ReportSettings settings;
  std::optional<ReportData> data;
  std::vector<ReportWarning> warnings;
  ReportDiagnostics diagnostics;
  std::vector<GridRow> grid;
  std::optional<ReportMinimum> minimum;  // grids of two or more lambdas
  std::optional<ReportFit> fit;
  std::optional<ReportBootstrap> bootstrap;
  std::optional<ReportSelection> selection;

  // The run has results to show: it ended well, or only its classic table stopped.
  bool has_results() const;
};

// Reads trov.json at `path`.
RunReport read_run_report(const std::string& path);

// The effective number of parameters of a fixed lambda's curve: that of the converged fit, or where it
// failed the classic fit's trace; NaN for neither.
double fixed_lambda_edf(const RunReport& report);

// The warning lines as trov.json holds them.
std::vector<std::string> warning_lines(const std::vector<ReportWarning>& warnings);

// Whether a warning of `kind` is among `warnings`.
bool has_warning(const std::vector<ReportWarning>& warnings, const char* kind);

}  // namespace trov::front
