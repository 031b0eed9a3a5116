#include "frontend/plot_notes.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "common/report_keys.h"
#include "frontend/engine_messages.h"
#include "frontend/run_details.h"

namespace trov::front {

namespace {

namespace kind = report_keys::warning_kind;

// The symbols that mark the minima on the curves and stand before their lines.
constexpr int kGcvSymbol = 20;  // circle
constexpr int kOcvSymbol = 2;   // triangle

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string two_decimals(double v) { return printed("%.2f", v); }

std::string count_of(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "Classic GCV minimum at ln(lambda) = 4.00 (2.62 parameters)", marked on its curve. Beside a recommended
// lambda it is the classic fits' minimum, and an end of the grid a remark; without one it is the answer.
void add_minimum(const RunReport& r, const std::optional<GridMinimum>& minimum, const char* score, int symbol,
                 PlotNotes& notes) {
  if (!minimum || std::isnan(minimum->score)) return;
  const double trace = r.grid[minimum->index].trace;
  const bool recommended = r.minimum->recommended.has_value();
  std::string text = std::string(recommended ? "Classic " : "") + score +
                     " minimum at ln(lambda) = " + two_decimals(minimum->lnlambda);
  if (std::isfinite(trace)) text += " (" + two_decimals(trace) + " parameters)";
  if (recommended && minimum->at_edge) text += ", at an end of the grid";
  notes.lines.push_back(
      {text, PlotMarker{symbol, static_cast<float>(minimum->lnlambda), static_cast<float>(minimum->score)}});
}

// "demo1.dat, binomial model, ln(lambda) = 4.00, 2.62 parameters, 100 bootstrap replicates"
std::string run_line(const RunReport& r) {
  const ReportSettings& settings = r.settings;
  std::string text =
      std::filesystem::path(settings.data_file).filename().string() + ", " + settings.model + " model";
  if (settings.covariates > 0)
    text += settings.categorical ? ", categorical covariate" : ", continuous covariate";
  text += ", ln(lambda) = " + two_decimals(settings.lmin);
  // the parameters of the converged fit, which the plot draws; the classic fit's where there is none
  if (const double edf = fixed_lambda_edf(r); std::isfinite(edf))
    text += ", " + two_decimals(edf) + " parameters";
  if (r.bootstrap)
    text += ", " + count_of(static_cast<std::size_t>(settings.bootstrap_replicates), "bootstrap replicate",
                            "bootstrap replicates");
  return text;
}

// "Selection gradients: beta = 0.254 (SE 0.034), gamma = -0.461 (SE 0.052)"; the standard errors
// come from a bootstrap. A fit at the linear limit has no curvature of its own: its gamma is the link's.
std::string gradients_line(const ReportSelection& selection) {
  return "Selection gradients: " + gradient_text("beta", selection.beta, {}) + ", " +
         gradient_text("gamma", selection.gamma, {.link_only = selection.linear_limit});
}

// What the plot says of the run beyond its curves, chosen by the kinds of trov.json's warnings and by
// its diagnostics: a classic table that stopped, a data file read otherwise than it looks, a response
// more spread than the model allows. The other warnings, those of the classic fits and kinds this
// program does not know among them, are the run's details' (frontend/details_window.h).
void add_warnings(const RunReport& r, PlotNotes& notes) {
  const ReportDiagnostics& diagnostics = r.diagnostics;
  const auto warn = [&notes](const std::string& text) { notes.lines.push_back({"Warning: " + text, {}}); };
  if (const std::optional<ClassicStop>& stop = diagnostics.classic_stopped)
    notes.lines.push_back(
        {"The classic table of trov.out stopped at ln(lambda) = " + number_text(stop->lnlambda) + " (" +
             stop->message + "); the plot shows the converged fits",
         {}});
  // without a recommended lambda the classic GCV minimum is the answer, and an end of the grid matters
  if (!(r.minimum && r.minimum->recommended) && diagnostics.grid_minimum_at_edge)
    warn("minimum at the edge of the grid: widen it");
  for (const ReportWarning& w : r.warnings) {
    if (w.kind == kind::structure_mismatch || w.kind == kind::irregular_lines ||
        w.kind == kind::decimal_commas) {
      warn(rounded_numbers(w.text));
    } else if (w.kind == kind::overdispersion) {
      const double dispersion = diagnostics.dispersion;
      warn("overdispersed" +
           (std::isfinite(dispersion) ? " (Pearson dispersion " + significant_text(dispersion, 3) + ")"
                                      : std::string()) +
           ": a parametric bootstrap's SE and P are too small; resample the cases instead");
    }
  }
}

}  // namespace

std::string lambda_field_text(double lnlambda) {
  // five decimals as trov.out prints them, trailing zeros dropped; a grid point that should be 0 but
  // carries a rounding error shows as 0
  std::string text = printed("%.5f", lnlambda);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text = "0";
  for (int digits = 7; text.size() > 10 && digits > 0; --digits) {
    char shorter[64];
    std::snprintf(shorter, sizeof shorter, "%.*g", digits, lnlambda);
    text = shorter;
  }
  return text;
}

std::string recommended_field_text(double lnlambda) {
  std::string text = printed("%.2f", lnlambda);
  return text == "-0.00" ? "0.00" : text;
}

PlotNotes plot_notes(const RunReport& r) {
  PlotNotes notes;
  // a run that stopped on an error has no plot, unless only its classic table stopped
  if (!r.has_results()) return notes;
  if (r.minimum) {
    add_minimum(r, r.minimum->gcv, "GCV", kGcvSymbol, notes);
    add_minimum(r, r.minimum->ocv, "OCV", kOcvSymbol, notes);
    // the recommended lambda (2 decimals), else the classic GCV minimum
    if (r.minimum->recommended)
      notes.suggested_lambda = recommended_field_text(r.minimum->recommended->lnlambda);
    else if (r.minimum->gcv)
      notes.suggested_lambda = lambda_field_text(r.minimum->gcv->lnlambda);
  } else if (r.selection) {
    notes.lines.push_back({run_line(r), {}});
    notes.lines.push_back({gradients_line(*r.selection), {}});
  }
  add_warnings(r, notes);
  return notes;
}

PlotNotes read_plot_notes(const std::string& path) { return plot_notes(read_run_report(path)); }

}  // namespace trov::front
