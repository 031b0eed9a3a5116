#include "frontend/plot_notes.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string_view>

namespace trov::front {

namespace {

using Json = nlohmann::json;

// The symbols that mark the minima on the curves and stand before their lines.
constexpr int kGcvSymbol = 20;  // circle
constexpr int kOcvSymbol = 2;   // triangle

constexpr std::string_view kClassicDiffers = "classic_differs:";
// More classic iterations need not reach the converged fit (they may move away from it): the notes say
// what to report instead of asking for more.
constexpr const char* kGridStopped =
    " stopped at the maximum number of iterations: choose lambda by the converged fits";
constexpr const char* kFitStopped = " stopped at the maximum number of iterations: report the converged fit";

std::string printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Three significant digits, without an exponent unless the value is tiny or huge.
std::string significant(double v) {
  const double a = std::fabs(v);
  if (a == 0.0) return "0";
  if (a < 1e-4 || a >= 1e6) return printed("%.2e", v);
  const int decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(a))));
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

// A number of trov.json, which writes a value that is not finite as null.
std::string number_or_undefined(const Json& value, std::string (*format)(double)) {
  return value.is_number() ? format(value.get<double>()) : "undefined";
}

std::string two_decimals(double v) { return printed("%.2f", v); }

std::string count_of(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// "GCV minimum at ln(lambda) = 4.00 (2.62 parameters)", with the minimum marked on its curve.
void add_minimum(Json& r, const char* score, int symbol, PlotNotes& notes) {
  Json& minimum = r["minimum"][score];
  if (!minimum.is_object() || !minimum["score"].is_number()) return;
  const double lnlambda = minimum["lnlambda"].get<double>();
  const Json& trace = r["grid"].at(minimum["index"].get<std::size_t>())["trace"];
  std::string text = std::string(score == std::string_view("gcv") ? "GCV" : "OCV") +
                     " minimum at ln(lambda) = " + two_decimals(lnlambda);
  if (trace.is_number()) text += " (" + two_decimals(trace.get<double>()) + " parameters)";
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

// "Selection gradients: beta = 0.254 (SE 0.034), gamma = -0.461 (SE 0.052)"; the standard errors
// come from a bootstrap.
std::string gradients_line(Json& selection) {
  Json* bootstrap = selection.contains("bootstrap") ? &selection["bootstrap"] : nullptr;
  const auto gradient = [&](const char* name) {
    std::string text = std::string(name) + " = " + number_or_undefined(selection[name], significant);
    if (bootstrap) text += " (SE " + number_or_undefined((*bootstrap)[name]["se"], significant) + ")";
    return text;
  };
  return "Selection gradients: " + gradient("beta") + ", " + gradient("gamma");
}

void add_warnings(Json& r, PlotNotes& notes) {
  Json& diagnostics = r["diagnostics"];
  const auto warn = [&notes](const std::string& text) { notes.lines.push_back({"Warning: " + text, {}}); };
  if (diagnostics["grid_minimum_at_edge"].is_boolean() && diagnostics["grid_minimum_at_edge"].get<bool>())
    warn("minimum at the edge of the grid: widen it");
  if (Json& fits = diagnostics["not_converged"]; fits.is_array() && !fits.empty())
    warn(r["settings"]["nstep"].get<int>() > 1
             ? count_of(fits.size(), "classic fit", "classic fits") + kGridStopped
             : std::string("the classic fit") + kFitStopped);
  if (Json& refits = diagnostics["bootstrap_not_converged"]; refits.is_number() && refits.get<int>() > 0)
    warn(count_of(refits.get<std::size_t>(), "classic bootstrap refit", "classic bootstrap refits") +
         " stopped at the maximum number of iterations: report the band of the converged refits");
  for (const Json& line : r["warnings"]) {
    const std::string text = line.get<std::string>();
    if (text.starts_with(kClassicDiffers)) {
      const std::size_t start = text.find_first_not_of(' ', kClassicDiffers.size());
      warn(start == std::string::npos ? std::string() : text.substr(start));
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
  if (!r.is_object() || r.value("status", "") != "ok") return notes;
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
