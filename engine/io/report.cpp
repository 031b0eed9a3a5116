#include "engine/io/report.h"

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
#include "engine/io/report_file.h"
#include "engine/spline/links.h"

namespace trov {

using Json = nlohmann::ordered_json;

namespace {

// The document's text. A text that is not UTF-8 (a data file name in Latin-1, in the settings and the
// messages that name it) has each invalid byte written as U+FFFD, as the warning of settings() says.
std::string text_of(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The shortest text that reads back to the same double.
std::string shortest(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string list_of(const std::vector<double>& values) {
  std::string text;
  for (double v : values) text += (text.empty() ? "" : ", ") + shortest(v);
  return text;
}

// The message's lines without their leading blank; empty lines left out.
std::vector<std::string> lines_of(const std::string& message) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(start, end - start);
    if (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// A number for a person to read: three significant digits.
std::string rounded(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", value);
  return buffer;
}

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

// The row of the smallest finite score, ties to the first; none when no score is finite.
std::optional<std::size_t> smallest(const std::vector<double>& scores) {
  std::optional<std::size_t> best;
  for (std::size_t k = 0; k < scores.size(); ++k)
    if (std::isfinite(scores[k]) && (!best || scores[k] < scores[*best])) best = k;
  return best;
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

RunReport::RunReport(std::string path) : path_(std::move(path)) {}

RunReport::~RunReport() {
  if (!prepared_.empty()) discard_temporary(prepared_);
}

void RunReport::settings(const Settings& s, const std::string& data_file, const Options& options) {
  model_ = s.model;
  maxit_ = s.maxit;
  criterion_ = score_of(options.criterion);
  grid_search_ = s.grid();
  replicates_ = s.iboot;
  bootstrap_lambda_ = bootstrap_lambda_name(options.bootstrap_lambda);
  bootstrap_type_ = bootstrap_type_name(options.bootstrap_type);
  settings_ = {{"covariates", s.covariates},
               {"categorical", s.categorical},
               {"nstep", s.nstep},
               {"lmin", s.lmin},
               {"lmax", s.grid() ? Json(s.lmax) : Json(nullptr)},
               {"maxit", s.maxit},
               {"stop", s.stop},
               {"model", model_name(s.model)},
               {"counts_column", s.counts_column},
               {"bootstrap_replicates", s.iboot},
               {"seed", s.seed},
               {"data_file", data_file},
               {"criterion", criterion_name(options.criterion)},
               {"bootstrap_lambda", bootstrap_lambda_name(options.bootstrap_lambda)},
               {"bootstrap_type", bootstrap_type_name(options.bootstrap_type)}};
  if (!valid_utf8(data_file))
    warnings_.push_back(
        "data_file_not_utf8: the data file name is not valid UTF-8; trov.json shows each of its invalid "
        "bytes as U+FFFD");
  // the import's facts belong to the data file it wrote, under any name that leads to it
  std::error_code ec;
  const auto& imported = options.import;
  if (!imported.data.empty() &&
      (imported.data == data_file || std::filesystem::equivalent(imported.data, data_file, ec)))
    left_out_ = {{"table", imported.table}, {"cases", imported.left_out}, {"lines", imported.left_out_lines}};
}

void RunReport::data_lines(const DataLines& lines, int values_per_case) {
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

void RunReport::data(const Points& points, std::int64_t observations, const Covariate* covariate) {
  covariate_ = covariate != nullptr;
  data_ = {{"cases", points.nraw},
           {"observations", observations},
           {"points", points.n},
           {"distinct_x", covariate ? covariate->groups.nunique : points.n}};
  if (!left_out_.is_null()) data_["left_out"] = left_out_;
  const auto [lowest, highest] = std::minmax_element(points.y.begin(), points.y.begin() + points.n);
  response_range_ = *highest - *lowest;
  if (covariate && covariate->design.categorical) {
    const auto& levels = covariate->design.levels;
    data_["levels"] = std::vector<double>(levels.begin(), levels.begin() + covariate->design.columns);
  }
}

void RunReport::grid_row(double lnlambda, const FitResult* fit, const ConvergedFit* penalized,
                         double difference) {
  auto at = [&](const char* what) {
    return [=] { return what + (" at ln(lambda) = " + shortest(lnlambda)); };
  };
  const bool covariate = covariate_;
  const bool glm = model_ != Model::normal;
  const bool converged = fit && fit->iterations < maxit_;
  const auto classic = [&](double FitResult::*member, const char* what) {
    return fit ? number((*fit).*member, at(what)) : Json(nullptr);
  };
  const bool inaccurate = fit && classic_inaccurate(*fit, penalized, difference);
  grid_.push_back({{"lnlambda", lnlambda},
                   {"trace", classic(&FitResult::trace, "trace")},
                   {"gcv", classic(&FitResult::gcv, "gcv")},
                   {"ocv", covariate ? Json(nullptr) : classic(&FitResult::ocv, "ocv")},
                   {"iterations", glm && fit ? Json(fit->iterations) : Json(nullptr)},
                   {"converged", glm && fit ? Json(converged) : Json(nullptr)},
                   {"classic_inaccurate", fit ? Json(inaccurate) : Json(nullptr)},
                   {"converged_fit", penalized ? converged_row(*penalized) : Json(nullptr)}});
  grid_lnlambda_.push_back(lnlambda);
  // the classic minima leave out the rows whose classic fit lost its accuracy
  grid_gcv_.push_back(fit && !inaccurate ? fit->gcv : NAN);
  grid_ocv_.push_back(covariate || !fit || inaccurate ? NAN : fit->ocv);
  if (inaccurate) classic_inaccurate_.push_back(lnlambda);
  if (glm && fit && !converged) not_converged_.push_back(lnlambda);

  if (!penalized) return;
  for (Score score : kScores)
    converged_scores_[static_cast<std::size_t>(score)].push_back(penalized->ok ? penalized->*member_of(score)
                                                                               : NAN);
  converged_edf_.push_back(penalized->edf);
  if (!penalized->ok) {
    converged_failed_.push_back(lnlambda);
    return;
  }
  if (fit && difference > differs_limit()) classic_differs_.emplace_back(lnlambda, difference);
}

void RunReport::dispersion(std::optional<double> dispersion) {
  dispersion_ = dispersion ? Json(*dispersion) : Json(nullptr);
  if (!dispersion || !(*dispersion > 1.5)) return;
  const char* model = model_ == Model::poisson ? "Poisson" : "binomial";
  std::string line = "overdispersion: the Pearson dispersion of the fit is " + rounded(*dispersion) +
                     ": the responses vary more than the " + model + " model allows, so ";
  line += bootstrap_type_ == "cases"
              ? "only the case bootstrap's standard errors allow for it"
              : "its parametric bootstrap's standard errors are too small; bootstrap the cases "
                "(bootstrap_type = cases in trov.options)";
  warnings_.push_back(line);
}

void RunReport::classic_stopped(double lnlambda, const std::string& message) {
  const std::vector<std::string> lines = lines_of(message);
  classic_stopped_ = {{"lnlambda", lnlambda}, {"message", lines.empty() ? std::string() : lines.front()}};
  warnings_.push_back("classic_stopped: the classic fit at ln(lambda) = " + shortest(lnlambda) +
                      " stopped the "
                      "run (" +
                      classic_stopped_["message"].get<std::string>() +
                      "), so trov.out's table ends "
                      "there; the converged fits of trov.json cover the whole run");
}

// Whether the classic smoother lost its accuracy at this row (many close X at a large lambda): a trace
// below a line's 2, a trace that rises with lambda (by more than 1e-6 of it for the normal model, whose
// weights do not move, 1e-3 for the others), or for the normal model without covariate, where the
// classic fit is the converged one up to rounding, a trace or a fitted value that leaves the converged
// fit's by more than 1e-6 (of the edf, of the responses' range).
bool RunReport::classic_inaccurate(const FitResult& fit, const ConvergedFit* converged, double difference) {
  const double trace = fit.trace;
  const bool normal = model_ == Model::normal;
  bool inaccurate = !(trace >= 2 - 1e-6);
  if (previous_trace_ && trace > *previous_trace_ * (1 + (normal ? 1e-6 : 1e-3))) inaccurate = true;
  previous_trace_ = trace;
  if (normal && !covariate_ && converged && converged->ok)
    inaccurate = inaccurate || std::abs(trace - converged->edf) > 1e-6 * converged->edf ||
                 difference > 1e-6 * response_range_;
  return inaccurate;
}

double RunReport::differs_limit() const { return classic_differs_limit(model_, response_range_); }

std::vector<Score> RunReport::converged_scores() const {
  if (!grid_search_ || converged_edf_.size() < 2) return {};
  std::vector<Score> scores;
  for (Score score : kScores)
    if (!(score == Score::ocv && covariate_) && !(score == Score::ubre && model_ == Model::normal))
      scores.push_back(score);
  return scores;
}

ScoredRows RunReport::converged_rows(Score score) const {
  return {grid_lnlambda_, converged_scores_[static_cast<std::size_t>(score)], converged_edf_};
}

void RunReport::refined_minimum(Score score, const RefinedMinimum& refined) {
  refined_[static_cast<std::size_t>(score)] = refined;
}

void RunReport::fit(double lnlambda, const Points& points, const Covariate* covariate,
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
    records.field("n", points.irep[i]);
    if (design) records.field("c", points.covariate[i]);
    if (classic) {
      const FitResult& fit = *classic;
      records.field("yhat", fit.sy[i]);
      if (model_ != Model::normal) records.field("nu", fit.snu[i]);
      if (design) records.field("yhat_corrected", fit.syc[i]);
      if (design && design->categorical) {
        for (std::size_t j = 0; j < columns; ++j) {
          double nu = fit.nufit[i] + fit.beta[j];  // the fitted value had the point level j
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

void RunReport::bootstrap(const Points& points, const BootstrapOutcome& outcome) {
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
      {"type", bootstrap_type_},
      {"degenerate_draws", classic_count(outcome.degenerate)},
      {"not_converged", model_ != Model::normal ? classic_count(outcome.not_converged) : Json(nullptr)},
      {"failed_refits", classic_count(outcome.failed_refits)},
      {"converged_degenerate", converged ? Json(outcome.converged_degenerate) : Json(nullptr)},
      {"converged_failed", converged ? Json(outcome.converged_failed) : Json(nullptr)},
      {"band", converged ? "converged" : "classic"},
      {"lambda", bootstrap_lambda_},
      {"centre_lnlambda", outcome.centre_lnlambda ? Json(*outcome.centre_lnlambda) : Json(nullptr)},
      {"lnlambda_quantiles", quantiles}};
  if (model_ != Model::normal && classic) bootstrap_not_converged_ = outcome.not_converged;
  if (outcome.failed_refits > 0)
    warnings_.push_back("bootstrap_failed_refits: the classic fits of " +
                        std::to_string(outcome.failed_refits) +
                        " replicates failed (a GLM weight vanished); the band of trov.out leaves them out");
  if (converged && outcome.converged_failed > 0)
    warnings_.push_back(
        "bootstrap_converged_failed: " + std::to_string(outcome.converged_failed) +
        " replicates found no converged fit; the band and the gradients' spread leave them out");
  if (converged && outcome.converged_degenerate > 0 && bootstrap_type_ == "cases")
    warnings_.push_back("bootstrap_degenerate_cases: " + std::to_string(outcome.converged_degenerate) +
                        " replicates of drawn cases had all responses equal or fewer than 4 distinct X; "
                        "the band and the gradients' spread leave them out");
  if (outcome.converged_too_many_degenerate)
    warnings_.push_back(
        "bootstrap_converged_degenerate: more draws around the converged fit than replicates "
        "had all responses equal, so trov.json has no converged band (the fit is too close "
        "to 0 or 1)");
  if (outcome.centre_moved)
    warnings_.push_back(
        "bootstrap_centre: each replicate chose its own lambda, and so did the observed data: "
        "the fit, its gradients and the band are those at ln(lambda) = " +
        shortest(*outcome.centre_lnlambda) + ", where they chose it");
}

void RunReport::bootstrap_coefficients(const Covariate* covariate, const FitResult* fit,
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

void RunReport::selection(const std::optional<SelectionGradients>& gradients,
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
  if (!gradients)
    warnings_.push_back(std::string("selection_not_converged: the converged fit did not end ok, so the "
                                    "selection gradients are null") +
                        (classic ? "; selection.classic holds the classic fit's, which stops short of the "
                                   "penalized maximum"
                                 : ""));
  if (gradients && linear)
    warnings_.push_back(
        model_ == Model::normal
            ? "gamma_link_only: the fit is a straight line (no curvature was found), so gamma "
              "has no P; report the directional gradient beta"
            : "gamma_link_only: the fit is a straight line on the " +
                  std::string(model_ == Model::binomial ? "logit" : "log") +
                  " scale (no curvature was found), so gamma reflects the link alone: it has "
                  "no P; report the directional gradient beta");
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

void RunReport::warned(const std::string& message) {
  for (std::string& line : lines_of(message)) warnings_.push_back(std::move(line));
}

void RunReport::stopping(const std::string& message, ErrorCode code) {
  error_ = lines_of(message);
  error_code_ = code;
  if (!prepared_.empty()) discard_temporary(std::exchange(prepared_, {}));
  claim();  // a failed run leaves no older report behind, even when its own cannot be written
  const std::string temporary = write_temporary("error");
  if (temporary.empty() || !put_in_place(temporary, path_)) {
    write_errno_ = errno;
    report_write_failure();  // the run goes on to its error stop
  }
  report_done();
}

void RunReport::claim() {
  if (!claimed_) claim_report(path_);
  claimed_ = true;
}

bool RunReport::prepare() {
  prepared_ = write_temporary("ok");
  return !prepared_.empty();
}

bool RunReport::finish() {
  if (prepared_.empty() && !prepare()) return false;
  const bool placed = put_in_place(std::exchange(prepared_, {}), path_);
  if (!placed) write_errno_ = errno;
  report_done();
  return placed;
}

void RunReport::report_write_failure() const {
  std::cout.flush();
  std::fprintf(stderr, "Error: cannot write %s: %s\n", path_.c_str(), std::strerror(write_errno_));
}

Json RunReport::head(const char* status) const {
  std::vector<std::string> warnings = warnings_;
  warnings.insert(warnings.end(), line_warnings_.begin(), line_warnings_.end());
  Json diagnostics = {
      {"grid_minimum_at_edge", nullptr},
      {"not_converged", not_converged_},
      {"bootstrap_not_converged", bootstrap_not_converged_ ? Json(*bootstrap_not_converged_) : Json()}};
  Json minimum;
  if (grid_search_ && grid_.size() >= 2) {
    auto entry = [&](const std::vector<double>& scores) -> Json {
      const std::optional<std::size_t> k = smallest(scores);
      if (!k) return nullptr;
      return {{"index", *k},
              {"lnlambda", grid_lnlambda_[*k]},
              {"score", scores[*k]},
              {"at_edge", *k == 0 || *k + 1 == scores.size()}};
    };
    minimum = {{"gcv", entry(grid_gcv_)}, {"ocv", entry(grid_ocv_)}};
    if (!converged_edf_.empty()) {  // a run with the converged fits
      const std::vector<Score> searched = converged_scores();
      for (Score score : kScores) {
        const bool applies = std::find(searched.begin(), searched.end(), score) != searched.end();
        Json e = applies ? entry(converged_scores_[static_cast<std::size_t>(score)]) : Json(nullptr);
        if (e.is_object()) e["refined"] = converged_minimum(score, warnings);
        minimum["converged_" + std::string(score_name(score))] = std::move(e);
      }
      minimum["recommended"] = recommended(minimum);
    }
    // the grid's edge matters for the criterion that recommends (the classic GCV without converged fits)
    const bool converged = !converged_edf_.empty();
    const std::string key = converged ? "converged_" + std::string(score_name(criterion_)) : "gcv";
    const Json& edge = minimum.value(key, Json());
    if (edge.is_object()) {
      const bool at_edge = edge["at_edge"].get<bool>();
      diagnostics["grid_minimum_at_edge"] = at_edge;
      const Json& refined = edge.value("refined", Json());
      std::string beyond = "; widen the grid";
      if (refined.is_object() && refined["limit"].is_null())
        beyond = "; the search beyond it found the minimum at ln(lambda) = " +
                 shortest(refined["lnlambda"].get<double>()) + " (widen the grid to see it)";
      else if (refined.is_object())
        beyond = "; the search beyond it reached the limit " + refined["limit"].get<std::string>() +
                 " at ln(lambda) = " + shortest(refined["lnlambda"].get<double>());
      if (at_edge)
        warnings.push_back(
            "grid_minimum_at_edge: the smallest " + std::string(converged ? score_label(criterion_) : "GCV") +
            " score of the grid lies at ln(lambda) = " + shortest(edge["lnlambda"].get<double>()) +
            ", an end of the grid" + beyond);
    }
  }
  if (!classic_stopped_.is_null()) diagnostics["classic_stopped"] = classic_stopped_;
  if (!dispersion_.is_null() || !fit_.is_null() || !bootstrap_.is_null())
    diagnostics["dispersion"] = dispersion_;
  if (!converged_edf_.empty()) classic_differs(diagnostics, warnings);
  diagnostics["classic_inaccurate"] = classic_inaccurate_;
  if (!classic_inaccurate_.empty())
    warnings.push_back(
        "classic_inaccurate: the classic fits at ln(lambda) = " + list_of(classic_inaccurate_) +
        " lost their accuracy (many close X at a large lambda: a trace below 2, or rising with "
        "lambda, or values off the converged fit's); trov.out shows them as computed, "
        "minimum.gcv and minimum.ocv leave them out: report the converged fits");
  if (!not_converged_.empty())
    warnings.push_back("not_converged: the classic fits at ln(lambda) = " + list_of(not_converged_) +
                       " stopped at maxit = " + std::to_string(maxit_) + " before converging" +
                       (converged_edf_.empty() ? "; raise maxit"
                                               : "; report the converged fits of trov.json, which do not "
                                                 "depend on maxit"));
  if (bootstrap_not_converged_ && *bootstrap_not_converged_ > 0)
    warnings.push_back("bootstrap_not_converged: " + std::to_string(*bootstrap_not_converged_) +
                       " bootstrap refits stopped at maxit = " + std::to_string(maxit_) +
                       " before converging");

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

void RunReport::write_document(std::ostream& out, const char* status) {
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
  out << "}\n";
}

// The refined minimum of a converged score, with a warning where its search ended at a limit of the fits
// other than the line.
Json RunReport::converged_minimum(Score score, std::vector<std::string>& warnings) const {
  const std::optional<RefinedMinimum>& refined = refined_[static_cast<std::size_t>(score)];
  if (!refined) return nullptr;
  const std::string label(score_label(score));
  if (refined->still_falling)
    warnings.push_back("search_open: the " + label + " score still falls at ln(lambda) = " +
                       shortest(refined->lnlambda) + ", 30 beyond the grid; the search ended there");
  if (refined->limit == SearchLimit::separating)
    warnings.push_back(
        "search_separating: the " + label +
        " score falls on where the fits separate: at ln(lambda) = " + shortest(*refined->failed_at) +
        " the responses have no penalized maximum, and the search "
        "ended at ln(lambda) = " +
        shortest(refined->lnlambda) + " beside it");
  if (refined->limit == SearchLimit::failed)
    warnings.push_back(
        "search_failed: the " + label +
        " score falls on where a converged fit failed, at ln(lambda) = " + shortest(*refined->failed_at) +
        "; the search ended at ln(lambda) = " + shortest(refined->lnlambda) + " beside it");
  const std::string_view limit = limit_name(refined->limit);
  Json entry = {{"lnlambda", refined->lnlambda},
                {"score", refined->score},
                {"edf", refined->edf},
                {"limit", limit.empty() ? Json(nullptr) : Json(limit)}};
  if (refined->failed_at) entry["failed_at"] = *refined->failed_at;
  return entry;
}

// The answer to report: the refined minimum of the run's criterion, with a sentence that says it.
Json RunReport::recommended(const Json& minimum) const {
  const std::string name(score_name(criterion_)), label(score_label(criterion_));
  const Json& entry = minimum.value("converged_" + name, Json());
  if (!entry.is_object() || !entry["refined"].is_object()) return nullptr;
  const Json& refined = entry["refined"];
  const double lnlambda = refined["lnlambda"].get<double>(), edf = refined["edf"].get<double>();
  char at[48], parameters[48];
  std::snprintf(at, sizeof at, "ln(lambda) = %.2f", lnlambda);
  std::snprintf(parameters, sizeof parameters, "%.2f parameters", edf);
  std::string text;
  const Json& limit = refined["limit"];
  if (limit == "linear") {
    const char* scale = model_ == Model::binomial  ? " on the logit scale"
                        : model_ == Model::poisson ? " on the log scale"
                                                   : "";
    text = label + " finds no curvature: the fitness function is a straight line" + scale + " (from " + at +
           " on, " + parameters + "); report the directional gradient";
  } else if (limit == "interpolating") {
    text = label + " falls until the curve runs through every point (" + at + ", " + parameters +
           "): it finds no smoothing to report; choose another criterion";
  } else if (limit == "separating" || limit == "failed") {
    text = label + " falls on until the fits " + (limit == "separating" ? "separate" : "fail") + " (" + at +
           ", " + parameters + "): it finds no smoothing to report; choose another criterion";
  } else {
    text = label + " chooses " + at + " (" + parameters + ")";
  }
  return {{"criterion", name}, {"lnlambda", lnlambda}, {"edf", edf}, {"limit", limit}, {"text", text}};
}

// Where the classic fits differ from the converged ones: in a fitted mean by more than the limit, or
// in the grid row of the smallest GCV score; and where no converged fit was found. One line per kind.
void RunReport::classic_differs(Json& diagnostics, std::vector<std::string>& warnings) const {
  std::vector<double> rows;
  for (const auto& [lnlambda, difference] : classic_differs_) rows.push_back(lnlambda);
  diagnostics["classic_differs"] = rows;
  if (!classic_differs_.empty()) {
    const auto worst = *std::max_element(classic_differs_.begin(), classic_differs_.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    const char* value = model_ == Model::binomial  ? "a fitted probability"
                        : model_ == Model::poisson ? "a fitted mean"
                                                   : "a fitted value";
    std::string line = "classic_differs: at ln(lambda) = " + shortest(worst.first) +
                       " the classic fit differs from the penalized maximum by up to " +
                       rounded(worst.second) + " in " + value;
    if (rows.size() > 1)
      line += ", and by more than " + rounded(differs_limit()) + " at " + std::to_string(rows.size()) +
              " of the lambdas";
    line += covariate_ ? ": backfitting stopped after its cycles, short of the joint maximum"
                       : ": its limits and iterations stop short of the maximum";
    line += "; report the converged fit";
    warnings.push_back(line);
  }
  const std::optional<std::size_t> classic = smallest(grid_gcv_),
                                   converged =
                                       smallest(converged_scores_[static_cast<std::size_t>(Score::gcv)]);
  Json minimum_differs = nullptr;
  if (grid_search_ && classic && converged) {
    minimum_differs = *classic != *converged;
    if (*classic != *converged)
      warnings.push_back("classic_differs: the smallest GCV score lies at ln(lambda) = " +
                         shortest(grid_lnlambda_[*converged]) + " for the converged fits but at " +
                         shortest(grid_lnlambda_[*classic]) +
                         " for the classic ones; choose lambda by minimum.recommended");
  }
  diagnostics["classic_gcv_minimum_differs"] = minimum_differs;
  diagnostics["converged_failed"] = converged_failed_;
  if (!converged_failed_.empty())
    warnings.push_back(
        "converged_failed: at ln(lambda) = " + list_of(converged_failed_) +
        " the penalized maximum was not found (Newton did not converge, or the fit ran away as it "
        "does for responses that a straight line separates); those converged values are null");
}

std::string RunReport::document() {
  std::ostringstream document;
  write_document(document, "ok");
  return document.str();
}

std::string RunReport::write_temporary(const char* status) {
  std::ostringstream document;
  write_document(document, status);
  std::string temporary = trov::write_temporary(path_, document.str());
  if (temporary.empty()) write_errno_ = errno;
  return temporary;
}

}  // namespace trov
