#pragma once
// The member names of trov.json, which the engine writes (engine/report/report_document.cpp) and the front
// end reads (frontend/run_report.cpp), one group per object of the document; and the kinds that start its
// warning lines ("kind: words"). The README's trov.json section documents them; they are fixed.
namespace trov::report_keys {

// The document's own members.
namespace document {
inline constexpr const char* status = "status";  // "ok" or "error"
inline constexpr const char* error = "error";
inline constexpr const char* error_code = "error_code";
inline constexpr const char* settings = "settings";
inline constexpr const char* warnings = "warnings";
inline constexpr const char* diagnostics = "diagnostics";
inline constexpr const char* data = "data";
inline constexpr const char* grid = "grid";
inline constexpr const char* minimum = "minimum";
inline constexpr const char* fit = "fit";
inline constexpr const char* bootstrap = "bootstrap";
inline constexpr const char* selection = "selection";
inline constexpr const char* ok = "ok";
inline constexpr const char* failed = "error";
}  // namespace document

namespace settings {
inline constexpr const char* covariates = "covariates";
inline constexpr const char* categorical = "categorical";
inline constexpr const char* lmin = "lmin";
inline constexpr const char* model = "model";
inline constexpr const char* counts_column = "counts_column";
inline constexpr const char* bootstrap_replicates = "bootstrap_replicates";
inline constexpr const char* data_file = "data_file";
inline constexpr const char* criterion = "criterion";
}  // namespace settings

namespace data {
inline constexpr const char* cases = "cases";
inline constexpr const char* observations = "observations";
inline constexpr const char* levels = "levels";
}  // namespace data

namespace diagnostics {
inline constexpr const char* grid_minimum_at_edge = "grid_minimum_at_edge";
inline constexpr const char* classic_stopped = "classic_stopped";  // an object: lnlambda, message
inline constexpr const char* dispersion = "dispersion";
inline constexpr const char* lnlambda = "lnlambda";
inline constexpr const char* message = "message";
}  // namespace diagnostics

// A row of the grid, and its converged fit, whose scores are named as the criteria.
namespace grid {
inline constexpr const char* lnlambda = "lnlambda";
inline constexpr const char* trace = "trace";
inline constexpr const char* gcv = "gcv";
inline constexpr const char* ocv = "ocv";
inline constexpr const char* converged_fit = "converged_fit";
inline constexpr const char* edf = "edf";
}  // namespace grid

// The criteria, as settings.criterion, minimum.recommended.criterion and the converged fits' scores name
// them.
inline constexpr const char* criteria[] = {"gcv", "ocv", "ubre", "reml", "ml"};

// The minima of a grid: gcv and ocv of the classic scores, "converged_" and a criterion of the converged
// ones, each an entry; and the recommended lambda.
namespace minimum {
inline constexpr const char* gcv = "gcv";
inline constexpr const char* ocv = "ocv";
inline constexpr const char* converged_prefix = "converged_";
inline constexpr const char* recommended = "recommended";
inline constexpr const char* index = "index";
inline constexpr const char* lnlambda = "lnlambda";
inline constexpr const char* score = "score";
inline constexpr const char* at_edge = "at_edge";
inline constexpr const char* refined = "refined";
}  // namespace minimum

namespace recommended {
inline constexpr const char* criterion = "criterion";
inline constexpr const char* lnlambda = "lnlambda";
inline constexpr const char* edf = "edf";
inline constexpr const char* limit = "limit";
inline constexpr const char* text = "text";
}  // namespace recommended

// fit and bootstrap, and their points.
namespace fit {
inline constexpr const char* coefficients = "coefficients";
inline constexpr const char* converged_coefficients = "converged_coefficients";
inline constexpr const char* points = "points";
inline constexpr const char* converged_points = "converged_points";
}  // namespace fit

namespace bootstrap {
inline constexpr const char* band = "band";      // "converged" or "classic"
inline constexpr const char* lambda = "lambda";  // "fixed" or "reselected"
inline constexpr const char* lnlambda_quantiles = "lnlambda_quantiles";
inline constexpr const char* quantiles[] = {"2.5", "50", "97.5"};
inline constexpr const char* coefficients = "coefficients";
inline constexpr const char* converged_coefficients = "converged_coefficients";
inline constexpr const char* points = "points";
inline constexpr const char* classic_points = "classic_points";
}  // namespace bootstrap

namespace point {
inline constexpr const char* x = "x";
inline constexpr const char* y = "y";
inline constexpr const char* n = "n";
inline constexpr const char* c = "c";
inline constexpr const char* yhat = "yhat";
inline constexpr const char* nu = "nu";
inline constexpr const char* yhat_corrected = "yhat_corrected";
inline constexpr const char* lower = "lower";
inline constexpr const char* upper = "upper";
}  // namespace point

namespace selection {
inline constexpr const char* mean_fitness = "mean_fitness";
inline constexpr const char* beta = "beta";
inline constexpr const char* gamma = "gamma";
inline constexpr const char* beta_standardized = "beta_standardized";
inline constexpr const char* gamma_standardized = "gamma_standardized";
inline constexpr const char* linear_limit = "linear_limit";
inline constexpr const char* bootstrap = "bootstrap";  // per gradient: se, p
inline constexpr const char* se = "se";
inline constexpr const char* p = "p";
}  // namespace selection

// The kinds of the warning lines the front end tells apart.
namespace warning_kind {
inline constexpr const char* settings = "Warning";  // a console warning: a setting was repaired
inline constexpr const char* irregular_lines = "irregular_lines";
inline constexpr const char* structure_mismatch = "structure_mismatch";
inline constexpr const char* decimal_commas = "decimal_commas";
inline constexpr const char* overdispersion = "overdispersion";
inline constexpr const char* not_converged = "not_converged";
inline constexpr const char* bootstrap_not_converged = "bootstrap_not_converged";
inline constexpr const char* classic_differs = "classic_differs";
inline constexpr const char* classic_gcv_minimum_differs = "classic_gcv_minimum_differs";
inline constexpr const char* classic_inaccurate = "classic_inaccurate";
}  // namespace warning_kind

}  // namespace trov::report_keys
