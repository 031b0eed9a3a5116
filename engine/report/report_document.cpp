#include "engine/report/report_document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string_view>
#include <utility>

#include "common/utf8.h"
#include "engine/spline/links.h"

namespace trov {

using Json = nlohmann::ordered_json;

namespace {

// The document's text. A text that is not UTF-8 (a data file name in Latin-1, in the settings and the
// messages that name it) has each invalid byte written as U+FFFD, as the warning of settings() says.
std::string text_of(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The summary of a converged fit in its grid row; its values are null when it did not end ok.
// Why a converged fit ended, as trov.json names it.
std::string_view end_name(NewtonEnd end) {
  switch (end) {
    case NewtonEnd::converged:
      return "converged";
    case NewtonEnd::ran_away:
      return "ran_away";
    case NewtonEnd::no_ascent:
      return "no_ascent";
    case NewtonEnd::inaccurate:
      return "inaccurate";
    case NewtonEnd::step_limit:
      return "step_limit";
    case NewtonEnd::singular:
      return "singular";
    case NewtonEnd::stopped:
      return "stopped";
  }
  return "";
}

Json converged_row(const ConvergedFit& fit) {
  auto value = [&](double v) { return fit.ok && std::isfinite(v) ? Json(v) : Json(nullptr); };
  return {{"edf", value(fit.edf)},   {"gcv", value(fit.gcv)},           {"ocv", value(fit.ocv)},
          {"ubre", value(fit.ubre)}, {"deviance", value(fit.deviance)}, {"reml", value(fit.reml)},
          {"ml", value(fit.ml)},     {"iterations", fit.iterations},    {"ok", fit.ok},
          {"end", end_name(fit.end)}};
}

// The points' records, the bulk of the file, written straight to text: each holds only numbers, and a
// document tree of thousands of small objects would cost more than the fit itself. Numbers are the
// shortest text that reads back to the same double, as everywhere in the file; a value that is not
// finite is null, and its name and point are kept for the warning.
class PointRecords {
 public:
  explicit PointRecords(int points) { text_.reserve(static_cast<std::size_t>(points) * 100); }
  void begin() {
    text_ += text_.empty() ? "[{" : ",{";
    fields_ = 0;
  }
  void end() { text_ += '}'; }
  void field(const char* key, double value) {
    name(key);
    if (std::isfinite(value)) {
      append(value);
    } else {
      text_ += "null";
      non_finite_.push_back(std::string(key) + " of point " + std::to_string(points_ + 1));
    }
  }
  void field(const char* key, int value) {
    name(key);
    append(value);
  }
  void field(const char* key, std::span<const double> values) {
    name(key);
    text_ += '[';
    for (std::size_t j = 0; j < values.size(); ++j) {
      if (j > 0) text_ += ',';
      if (std::isfinite(values[j]))
        append(values[j]);
      else
        text_ += "null", non_finite_.push_back(std::string(key) + " of point " + std::to_string(points_ + 1));
    }
    text_ += ']';
  }
  void next_point() { ++points_; }
  // The array's text; the records are used up.
  std::string take_text() {
    text_ += text_.empty() ? "[]" : "]";
    return std::move(text_);
  }
  const std::vector<std::string>& non_finite() const { return non_finite_; }

 private:
  void name(const char* key) {
    if (fields_++ > 0) text_ += ',';
    text_ += '"';
    text_ += key;
    text_ += "\":";
  }
  template <typename T>
  void append(T value) {
    char buffer[32];
    text_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
  }
  std::string text_;
  int fields_ = 0;
  int points_ = 0;
  std::vector<std::string> non_finite_;
};

// Writes "key":object with more members at its end, whose values are text already (empty: left out).
void write_with_members(std::ostream& out, const char* key, const Json& object,
                        std::initializer_list<std::pair<const char*, const std::string*>> members) {
  std::string text = text_of(object);
  text.pop_back();
  out << ",\"" << key << "\":" << text;
  bool first = object.empty();
  for (const auto& [name, value] : members) {
    if (value->empty()) continue;
    out << (first ? "\"" : ",\"") << name << "\":" << *value;
    first = false;
  }
  out << '}';
}

}  // namespace

void ReportDocument::settings(const Settings& s, const DataColumns& columns, const std::string& data_file,
                              const Options::Import& imported) {
  model_ = s.model;
  maxit_ = s.maxit;
  replicates_ = s.bootstrap;
  run_settings_ = s;
  settings_ = {{"covariates", columns.covariate ? 1 : 0},
               {"categorical", s.categorical},
               {"nstep", s.grid() ? s.grid_points : 1},
               {"lmin", s.first_lnlambda()},
               {"lmax", s.grid() ? Json(s.lnlambda_max) : Json(nullptr)},
               {"maxit", s.maxit},
               {"stop", s.stop},
               {"model", model_name(s.model)},
               {"counts_column", columns.counts},
               {"bootstrap_replicates", s.bootstrap},
               {"seed", s.seed},
               {"data_file", data_file},
               {"criterion", criterion_name(s.criterion)},
               {"bootstrap_lambda", bootstrap_lambda_name(s.bootstrap_lambda)},
               {"bootstrap_type", bootstrap_type_name(s.bootstrap_type)}};
  if (!valid_utf8(data_file))
    warnings_.push_back(
        "data_file_not_utf8: the data file name is not valid UTF-8; trov.json shows each of its invalid "
        "bytes as U+FFFD");
  // the import's facts belong to the data file it wrote, under any name that leads to it
  std::error_code ec;
  if (!imported.data.empty() &&
      (imported.data == data_file || std::filesystem::equivalent(imported.data, data_file, ec)))
    left_out_ = {{"table", imported.table}, {"cases", imported.left_out}, {"lines", imported.left_out_lines}};
}

void ReportDocument::data_lines(const DataLines& lines, int values_per_case) {
  if (lines.irregular_count > 0) {
    std::vector<int> numbers;
    for (const DataLines::Line& line : lines.irregular) numbers.push_back(line.number);
    irregular_lines_ = {
        {"count", lines.irregular_count}, {"usual_values", lines.usual_values}, {"lines", numbers}};
    line_warnings_.push_back("irregular_lines: lines hold different numbers of values (" +
                             irregular_lines_text(lines, DataLines::kMostNamed) + ", most hold " +
                             std::to_string(lines.usual_values) +
                             "); a case may have taken values of the next line");
  }
  if (lines_hold_more_than_a_case(lines, values_per_case)) {
    structure_mismatch_ = {{"values_per_line", lines.usual_values}, {"values_per_case", values_per_case}};
    line_warnings_.push_back("structure_mismatch: " + more_than_a_case_text(lines, values_per_case) +
                             "; check the data file structure and the covariate");
  }
  if (lines.first_decimal_comma_line > 0)
    line_warnings_.push_back(
        "decimal_commas: line " + std::to_string(lines.first_decimal_comma_line) +
        " holds decimal commas between tabs or semicolons, which are read as separators");
}

void ReportDocument::data(const Points& points, std::int64_t observations, const Covariate* covariate) {
  covariate_ = covariate != nullptr;
  data_ = {{"cases", points.cases},
           {"observations", observations},
           {"points", points.n},
           {"distinct_x", covariate ? covariate->groups.size : points.n}};
  if (!left_out_.is_null()) data_["left_out"] = left_out_;
  if (covariate && covariate->design.categorical) {
    const auto& levels = covariate->design.levels;
    data_["levels"] = std::vector<double>(levels.begin(), levels.begin() + covariate->design.columns);
  }
}

void ReportDocument::grid_row(double lnlambda, const FitResult* fit, const ConvergedFit* penalized,
                              bool inaccurate) {
  auto at = [&](const char* what) {
    return [=] { return what + (" at ln(lambda) = " + shortest_text(lnlambda)); };
  };
  const bool glm = model_ != Model::normal;
  const auto classic = [&](double FitResult::*member, const char* what) {
    return fit ? number((*fit).*member, at(what)) : Json(nullptr);
  };
  grid_.push_back({{"lnlambda", lnlambda},
                   {"trace", classic(&FitResult::trace, "trace")},
                   {"gcv", classic(&FitResult::gcv, "gcv")},
                   {"ocv", covariate_ ? Json(nullptr) : classic(&FitResult::ocv, "ocv")},
                   {"iterations", glm && fit ? Json(fit->iterations) : Json(nullptr)},
                   {"converged", glm && fit ? Json(fit->iterations < maxit_) : Json(nullptr)},
                   {"classic_inaccurate", fit ? Json(inaccurate) : Json(nullptr)},
                   {"converged_fit", penalized ? converged_row(*penalized) : Json(nullptr)}});
}

void ReportDocument::grid_summary(GridDiagnostics diagnostics) { grid_diagnostics_ = std::move(diagnostics); }

void ReportDocument::warn_of(const std::vector<Warning>& warnings) {
  for (const Warning& w : warnings) warnings_.push_back(warning_line(w));
}

void ReportDocument::dispersion(std::optional<double> dispersion) {
  dispersion_ = dispersion ? Json(*dispersion) : Json(nullptr);
  warn_of(dispersion_warnings(dispersion, run_settings_));
}

void ReportDocument::classic_stopped(const Analysis& analysis) {
  const std::vector<Warning> stopped = classic_stopped_warnings(analysis);
  if (stopped.empty()) return;
  classic_stopped_ = {{"lnlambda", stopped.front().values.front()},
                      {"message", stopped.front().names.front()}};
  warn_of(stopped);
}

void ReportDocument::fit(double lnlambda, const Points& points, const Covariate* covariate,
                         const FitResult* classic, const ConvergedFit* penalized) {
  fit_ = {{"lnlambda", lnlambda}};
  const Design* design = covariate ? &covariate->design : nullptr;
  const auto columns = static_cast<std::size_t>(design ? design->columns : 0);
  if (design && classic)
    fit_["coefficients"] = std::vector<double>(classic->beta.begin(), classic->beta.begin() + columns);
  PointRecords records(points.n);
  std::vector<double> by_level(columns);
  for (int i = 0; i < points.n; ++i) {
    records.begin();
    records.field("x", points.x[i]);
    records.field("y", points.y[i]);
    records.field("n", points.counts[i]);
    if (design) records.field("c", points.covariate[i]);
    if (classic) {
      const FitResult& fit = *classic;
      records.field("yhat", fit.mean[i]);
      if (model_ != Model::normal) records.field("nu", fit.eta[i]);
      if (design) records.field("yhat_corrected", fit.corrected_mean[i]);
      if (design && design->categorical) {
        for (std::size_t j = 0; j < columns; ++j) {
          double nu = fit.spline_eta[i] + fit.beta[j];  // the fitted value had the point level j
          by_level[j] = model_ == Model::normal ? nu : nutoy(nu, model_);
        }
        records.field("yhat_by_level", by_level);
      }
    }
    records.end();
    records.next_point();
  }

  fit_points_ = records.take_text();
  for (const std::string& where : records.non_finite()) number(NAN, [&] { return where; });
  if (!penalized) return;
  const ConvergedFit& converged = *penalized;
  if (!converged.ok) {
    fit_["converged_points"] = nullptr;
    if (design) fit_["converged_coefficients"] = nullptr;
    return;
  }
  if (design) fit_["converged_coefficients"] = converged.beta;
  PointRecords fitted(points.n);
  for (int i = 0; i < points.n; ++i) {
    fitted.begin();
    fitted.field("yhat", converged.mean[i]);
    if (model_ != Model::normal) fitted.field("nu", converged.eta[i]);
    fitted.end();
    fitted.next_point();
  }
  fit_converged_points_ = fitted.take_text();
  for (const std::string& where : fitted.non_finite()) number(NAN, [&] { return "converged " + where; });
}

namespace {

// The quantile of sorted values, linear between order statistics (R's type 7).
double quantile(const std::vector<double>& sorted, double p) {
  const double h = (static_cast<double>(sorted.size()) - 1) * p;
  const auto low = static_cast<std::size_t>(std::floor(h));
  if (low + 1 >= sorted.size()) return sorted.back();
  return sorted[low] + (h - static_cast<double>(low)) * (sorted[low + 1] - sorted[low]);
}

}  // namespace

void ReportDocument::bootstrap(const Points& points, const BootstrapOutcome& outcome) {
  const bool converged = !outcome.converged_fitted.empty(), classic = outcome.classic();
  PointRecords records(points.n), classic_records(points.n);
  for (int i = 0; i < points.n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    records.begin();
    records.field("x", points.x[i]);
    records.field("y", points.y[i]);
    records.field("yhat", converged ? outcome.converged_fitted[k] : static_cast<double>(outcome.fitted[i]));
    records.field("lower", converged ? outcome.converged_lower[k] : outcome.lower[k]);
    records.field("upper", converged ? outcome.converged_upper[k] : outcome.upper[k]);
    records.end();
    records.next_point();
    if (!classic) continue;
    classic_records.begin();
    classic_records.field("yhat", static_cast<double>(outcome.fitted[i]));
    classic_records.field("lower", outcome.lower[k]);
    classic_records.field("upper", outcome.upper[k]);
    classic_records.end();
    classic_records.next_point();
  }
  bootstrap_points_ = records.take_text();
  if (classic) bootstrap_classic_points_ = classic_records.take_text();
  for (const std::string& where : records.non_finite()) number(NAN, [&] { return "bootstrap " + where; });
  for (const std::string& where : classic_records.non_finite())
    number(NAN, [&] { return "bootstrap classic " + where; });
  Json quantiles = nullptr;
  if (!outcome.lnlambda.empty()) {
    std::vector<double> sorted = outcome.lnlambda;
    std::sort(sorted.begin(), sorted.end());
    quantiles = {
        {"2.5", quantile(sorted, 0.025)}, {"50", quantile(sorted, 0.5)}, {"97.5", quantile(sorted, 0.975)}};
  }
  const auto classic_count = [&](int count) { return classic ? Json(count) : Json(nullptr); };
  bootstrap_ = {
      {"replicates", replicates_},
      {"type", bootstrap_type_name(run_settings_.bootstrap_type)},
      {"degenerate_draws", classic_count(outcome.degenerate)},
      {"not_converged", model_ != Model::normal ? classic_count(outcome.not_converged) : Json(nullptr)},
      {"failed_refits", classic_count(outcome.failed_refits)},
      {"converged_degenerate", converged ? Json(outcome.converged_degenerate) : Json(nullptr)},
      {"converged_failed", converged ? Json(outcome.converged_failed) : Json(nullptr)},
      {"band", converged ? "converged" : "classic"},
      {"lambda", bootstrap_lambda_name(run_settings_.bootstrap_lambda)},
      {"centre_lnlambda", outcome.centre_lnlambda ? Json(*outcome.centre_lnlambda) : Json(nullptr)},
      {"lnlambda_quantiles", quantiles}};
  if (model_ != Model::normal && classic) bootstrap_not_converged_ = outcome.not_converged;
  warn_of(bootstrap_warnings(outcome, run_settings_));
}

void ReportDocument::bootstrap_coefficients(const Covariate* covariate, const FitResult* fit,
                                            const ConvergedFit* converged) {
  if (!covariate) return;
  const auto columns = static_cast<std::size_t>(covariate->design.columns);
  bootstrap_["coefficients"] =
      fit ? Json(std::vector<double>(fit->beta.begin(), fit->beta.begin() + columns)) : Json(nullptr);
  bootstrap_["converged_coefficients"] = converged && converged->ok ? Json(converged->beta) : Json(nullptr);
}

namespace {

// The gradients that depend on the fit, in the order trov.json gives them.
constexpr std::pair<const char*, double SelectionGradients::*> kFitGradients[] = {
    {"mean_fitness", &SelectionGradients::mean_fitness},
    {"beta", &SelectionGradients::beta},
    {"gamma", &SelectionGradients::gamma},
    {"beta_standardized", &SelectionGradients::beta_standardized},
    {"gamma_standardized", &SelectionGradients::gamma_standardized},
    {"beta_mean_standardized", &SelectionGradients::beta_mean_standardized},
    {"gamma_mean_standardized", &SelectionGradients::gamma_mean_standardized}};

bool mean_standardized(const char* name) { return std::string_view(name).ends_with("_mean_standardized"); }

}  // namespace

void ReportDocument::selection(const std::optional<SelectionGradients>& gradients,
                               const std::optional<SelectionGradients>& classic,
                               std::span<const SelectionGradients> replicates, bool linear) {
  // the mean-standardized gradients apply only to a positive trait: null without a warning otherwise
  auto fit_gradients = [&](const SelectionGradients* g, const std::string& prefix) {
    Json fields;
    for (const auto& [name, member] : kFitGradients) {
      if (!g || (mean_standardized(name) && !g->trait_positive))
        fields[name] = nullptr;
      else
        fields[name] = number(g->*member, [&, name = name] { return prefix + name; });
    }
    return fields;
  };
  // what depends on the data alone: from whichever fit there is
  const SelectionGradients* data = gradients ? &*gradients : classic ? &*classic : nullptr;
  const auto of_data = [&](double SelectionGradients::*member, const char* where) {
    return data ? number(data->*member, [=] { return where; }) : Json(nullptr);
  };
  const Json main = fit_gradients(gradients ? &*gradients : nullptr, "");
  selection_ = {{"mean_fitness", main["mean_fitness"]},
                {"trait_mean", of_data(&SelectionGradients::trait_mean, "trait_mean")},
                {"trait_sd", of_data(&SelectionGradients::trait_sd, "trait_sd")}};
  for (const auto& [name, member] : kFitGradients)
    if (name != std::string_view("mean_fitness")) selection_[name] = main[name];
  selection_["linear_limit"] = gradients ? Json(linear) : Json(nullptr);
  selection_["lande_arnold"] = {
      {"beta", of_data(&SelectionGradients::lande_arnold_beta, "lande_arnold beta")},
      {"gamma", of_data(&SelectionGradients::lande_arnold_gamma, "lande_arnold gamma")}};
  selection_["classic"] = classic ? fit_gradients(&*classic, "classic ") : Json(nullptr);
  warn_of(selection_warnings(gradients.has_value(), classic.has_value(), linear, model_));
  if (replicates.empty()) return;
  Json spread = {{"replicates", replicates.size()}};
  std::vector<std::pair<const char*, double SelectionGradients::*>> spread_of(std::begin(kFitGradients) + 1,
                                                                              std::end(kFitGradients));
  spread_of.emplace_back("lande_arnold_beta", &SelectionGradients::lande_arnold_beta);
  spread_of.emplace_back("lande_arnold_gamma", &SelectionGradients::lande_arnold_gamma);
  std::vector<double> values(replicates.size());
  for (const auto& [name, member] : spread_of) {
    if (mean_standardized(name) && !(data && data->trait_positive)) {
      spread[name] = nullptr;
      continue;
    }
    for (std::size_t b = 0; b < replicates.size(); ++b) values[b] = replicates[b].*member;
    const ReplicateSummary s = summarize_replicates(values);
    auto at = [&, name = name](const char* what) {
      return [=] { return std::string("bootstrap ") + name + " " + what; };
    };
    // at the linear limit the curvature of the link is all there is to gamma: no test of it
    const bool untested = linear && std::string_view(name).starts_with("gamma");
    spread[name] = {{"se", number(s.se, at("se"))},
                    {"p", untested ? Json(nullptr) : number(s.p, at("p"))},
                    {"lower", number(s.lower, at("lower"))},
                    {"upper", number(s.upper, at("upper"))}};
  }
  selection_["bootstrap"] = std::move(spread);
}

Json ReportDocument::head(const char* status) const {
  std::vector<std::string> warnings = warnings_;
  warnings.insert(warnings.end(), line_warnings_.begin(), line_warnings_.end());
  const GridDiagnostics& g = grid_diagnostics_;
  for (const Warning& w : g.warnings) warnings.push_back(warning_line(w));
  for (const Warning& w : bootstrap_not_converged_warnings(bootstrap_not_converged_, maxit_))
    warnings.push_back(warning_line(w));
  const auto optional = [](const std::optional<bool>& value) { return value ? Json(*value) : Json(nullptr); };
  Json diagnostics = {
      {"grid_minimum_at_edge", optional(g.minimum_at_edge)},
      {"not_converged", g.not_converged},
      {"bootstrap_not_converged", bootstrap_not_converged_ ? Json(*bootstrap_not_converged_) : Json()}};
  Json minimum;
  if (g.minima) {
    auto entry = [](const std::optional<GridMinimum>& m) -> Json {
      if (!m) return nullptr;
      return {{"index", m->index}, {"lnlambda", m->lnlambda}, {"score", m->score}, {"at_edge", m->at_edge}};
    };
    minimum = {{"gcv", entry(g.gcv)}, {"ocv", entry(g.ocv)}};
    if (g.converged_fits) {
      for (Criterion score : kScores) {
        const auto s = static_cast<std::size_t>(score);
        Json e = entry(g.converged[s]);
        if (e.is_object()) e["refined"] = g.refined[s] ? refined_entry(*g.refined[s]) : Json(nullptr);
        minimum["converged_" + std::string(score_name(score))] = std::move(e);
      }
      minimum["recommended"] = g.recommended ? recommended_entry(*g.recommended) : Json(nullptr);
    }
  }
  if (!classic_stopped_.is_null()) diagnostics["classic_stopped"] = classic_stopped_;
  if (!dispersion_.is_null() || !fit_.is_null() || !bootstrap_.is_null())
    diagnostics["dispersion"] = dispersion_;
  if (g.converged_fits) {
    diagnostics["classic_differs"] = g.differs;
    diagnostics["classic_gcv_minimum_differs"] = optional(g.gcv_minimum_differs);
    diagnostics["converged_failed"] = g.converged_failed;
  }
  diagnostics["classic_inaccurate"] = g.inaccurate;

  Json doc = {{"format", "trov-results"}, {"version", 1}, {"status", status}};
  if (!error_.empty() && std::string_view(status) == "error") {
    doc["error"] = error_;
    doc["error_code"] = static_cast<int>(error_code_);
  }
  if (!settings_.is_null()) doc["settings"] = settings_;
  doc["warnings"] = warnings;
  if (!irregular_lines_.is_null()) diagnostics["irregular_lines"] = irregular_lines_;
  if (!structure_mismatch_.is_null()) diagnostics["structure_mismatch"] = structure_mismatch_;
  doc["diagnostics"] = std::move(diagnostics);
  if (!data_.is_null()) doc["data"] = data_;
  doc["grid"] = grid_;
  if (!minimum.is_null()) doc["minimum"] = std::move(minimum);
  return doc;
}

void ReportDocument::write_document(std::ostream& out, const char* status) {
  std::string text = text_of(head(status));
  text.pop_back();  // the sections with the points' records follow
  out << text;
  if (!fit_.is_null())
    write_with_members(out, "fit", fit_,
                       {{"points", &fit_points_}, {"converged_points", &fit_converged_points_}});
  if (!bootstrap_.is_null())
    write_with_members(out, "bootstrap", bootstrap_,
                       {{"points", &bootstrap_points_}, {"classic_points", &bootstrap_classic_points_}});
  if (!selection_.is_null()) out << ",\"selection\":" << text_of(selection_);
  if (!traits_.is_null()) out << ",\"traits\":" << text_of(traits_);
  out << "}\n";
}

Json ReportDocument::refined_entry(const RefinedMinimum& refined) {
  const std::string_view limit = limit_name(refined.limit);
  Json entry = {{"lnlambda", refined.lnlambda},
                {"score", refined.score},
                {"edf", refined.edf},
                {"limit", limit.empty() ? Json(nullptr) : Json(limit)}};
  if (refined.failed_at) entry["failed_at"] = *refined.failed_at;
  return entry;
}

Json ReportDocument::recommended_entry(const Recommendation& recommended) {
  const RefinedMinimum& refined = recommended.refined;
  const std::string_view limit = limit_name(refined.limit);
  return {{"criterion", score_name(recommended.criterion)},
          {"lnlambda", refined.lnlambda},
          {"edf", refined.edf},
          {"limit", limit.empty() ? Json(nullptr) : Json(limit)},
          {"text", recommended.text}};
}

void ReportDocument::warned_lines(const std::string& message) {
  for (std::string& line : message_lines(message)) warnings_.push_back(std::move(line));
}

void ReportDocument::error(const std::string& message, ErrorCode code) {
  error_ = message_lines(message);
  error_code_ = code;
}

std::string ReportDocument::document(const char* status) {
  std::ostringstream document;
  write_document(document, status);
  return document.str();
}

}  // namespace trov
