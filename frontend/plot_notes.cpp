#include "frontend/plot_notes.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string_view>

#include "frontend/engine_messages.h"
#include "frontend/run_details.h"

namespace trov::front {

namespace {

using Json = nlohmann::json;

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
void add_minimum(Json& r, const char* score, int symbol, PlotNotes& notes) {
  Json& minimum = r["minimum"][score];
  if (!minimum.is_object() || !minimum["score"].is_number()) return;
  const double lnlambda = minimum["lnlambda"].get<double>();
  const Json& trace = r["grid"].at(minimum["index"].get<std::size_t>())["trace"];
  const bool recommended = r["minimum"]["recommended"].is_object();
  std::string text = std::string(recommended ? "Classic " : "") +
                     (score == std::string_view("gcv") ? "GCV" : "OCV") +
                     " minimum at ln(lambda) = " + two_decimals(lnlambda);
  if (trace.is_number()) text += " (" + two_decimals(trace.get<double>()) + " parameters)";
  if (recommended && minimum["at_edge"].is_boolean() && minimum["at_edge"].get<bool>())
    text += ", at an end of the grid";
  notes.lines.push_back({text, PlotMarker{symbol, static_cast<float>(lnlambda),
                                          static_cast<float>(minimum["score"].get<double>())}});
}

// "demo1.dat, binomial model, ln(lambda) = 4.00, 2.62 parameters, 100 bootstrap replicates"
std::string run_line(Json& r) {
  Json& settings = r["settings"];
  std::string text = std::filesystem::path(settings["data_file"].get<std::string>()).filename().string() +
                     ", " + settings["model"].get<std::string>() + " model";
  if (settings["covariates"].get<int>() > 0)
    text += settings["categorical"].get<bool>() ? ", categorical covariate" : ", continuous covariate";
  text += ", ln(lambda) = " + two_decimals(settings["lmin"].get<double>());
  // the parameters of the converged fit, which the plot draws; the classic fit's where there is none
  if (Json& grid = r["grid"]; grid.is_array() && !grid.empty()) {
    Json& edf = grid[0]["converged_fit"].is_object() ? grid[0]["converged_fit"]["edf"] : grid[0]["trace"];
    Json& parameters = edf.is_number() ? edf : grid[0]["trace"];
    if (parameters.is_number()) text += ", " + two_decimals(parameters.get<double>()) + " parameters";
  }
  if (const int replicates = settings["bootstrap_replicates"].get<int>(); r.contains("bootstrap"))
    text +=
        ", " + count_of(static_cast<std::size_t>(replicates), "bootstrap replicate", "bootstrap replicates");
  return text;
}

double number_or_nan(const Json& value) { return value.is_number() ? value.get<double>() : NAN; }

// "Selection gradients: beta = 0.254 (SE 0.034), gamma = -0.461 (SE 0.052)"; the standard errors
// come from a bootstrap. A fit at the linear limit has no curvature of its own: its gamma is the link's.
std::string gradients_line(Json& selection) {
  Json* bootstrap = selection.contains("bootstrap") ? &selection["bootstrap"] : nullptr;
  const bool linear = selection["linear_limit"].is_boolean() && selection["linear_limit"].get<bool>();
  const auto gradient = [&](const char* name) {
    const Gradient g{number_or_nan(selection[name]),
                     bootstrap ? number_or_nan((*bootstrap)[name]["se"]) : NAN, NAN};
    return gradient_text(name, g, {.link_only = linear && name == std::string_view("gamma")});
  };
  return "Selection gradients: " + gradient("beta") + ", " + gradient("gamma");
}

// What the plot says of the run beyond its curves, chosen by the kinds of trov.json's warnings and by
// its diagnostics: a classic table that stopped, a data file read otherwise than it looks, a response
// more spread than the model allows. The other warnings, those of the classic fits and kinds this
// program does not know among them, are the run's details' (frontend/details_window.h).
void add_warnings(Json& r, PlotNotes& notes) {
  Json& diagnostics = r["diagnostics"];
  const auto warn = [&notes](const std::string& text) { notes.lines.push_back({"Warning: " + text, {}}); };
  if (Json& stop = diagnostics["classic_stopped"]; stop.is_object())
    notes.lines.push_back({"The classic table of trov.out stopped at ln(lambda) = " +
                               number_text(stop["lnlambda"].get<double>()) + " (" +
                               stop.value("message", std::string()) + "); the plot shows the converged fits",
                           {}});
  // without a recommended lambda the classic GCV minimum is the answer, and an end of the grid matters
  if (!r["minimum"]["recommended"].is_object() && diagnostics["grid_minimum_at_edge"].is_boolean() &&
      diagnostics["grid_minimum_at_edge"].get<bool>())
    warn("minimum at the edge of the grid: widen it");
  for (const Json& line : r["warnings"]) {
    const std::string text = line.get<std::string>();
    const std::string_view kind = warning_kind(text);
    if (kind == "structure_mismatch" || kind == "irregular_lines" || kind == "decimal_commas") {
      warn(warning_text(text));
    } else if (kind == "overdispersion") {
      const double dispersion = number_or_nan(diagnostics["dispersion"]);
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

PlotNotes read_plot_notes(const std::string& path) {
  std::ifstream file(path);
  // read through the non-const operator[], which gives null for a missing member
  Json r = Json::parse(file, nullptr, /*allow_exceptions=*/false);
  PlotNotes notes;
  // a run that stopped on an error has no plot, unless only its classic table stopped
  if (!r.is_object() || (r.value("status", "") != "ok" && !r["diagnostics"]["classic_stopped"].is_object()))
    return notes;
  try {
    if (r.contains("minimum") && r["minimum"].is_object()) {
      add_minimum(r, "gcv", kGcvSymbol, notes);
      add_minimum(r, "ocv", kOcvSymbol, notes);
      // the recommended lambda (2 decimals), else the classic GCV minimum
      if (Json& recommended = r["minimum"]["recommended"]; recommended.is_object())
        notes.suggested_lambda = recommended_field_text(recommended["lnlambda"].get<double>());
      else if (Json& gcv = r["minimum"]["gcv"]; gcv.is_object())
        notes.suggested_lambda = lambda_field_text(gcv["lnlambda"].get<double>());
    } else if (r.contains("selection")) {
      notes.lines.push_back({run_line(r), {}});
      notes.lines.push_back({gradients_line(r["selection"]), {}});
    }
    add_warnings(r, notes);
  } catch (const Json::exception&) {
    return {};  // a file of another layout: no notes rather than half of them
  }
  return notes;
}

}  // namespace trov::front
