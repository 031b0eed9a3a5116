#include "frontend/run_report.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "common/report_keys.h"
#include "frontend/engine_messages.h"
#include "frontend/json_members.h"

namespace trov::front {

namespace {

namespace key = report_keys;

using namespace json;

ReportPoints points(const Json& array) {
  ReportPoints p;
  const std::pair<std::vector<double>*, const char*> columns[] = {
      {&p.x, key::point::x},
      {&p.y, key::point::y},
      {&p.n, key::point::n},
      {&p.c, key::point::c},
      {&p.yhat, key::point::yhat},
      {&p.nu, key::point::nu},
      {&p.yhat_corrected, key::point::yhat_corrected},
      {&p.lower, key::point::lower},
      {&p.upper, key::point::upper}};
  for (const Json& point : array)
    for (const auto& [column, name] : columns) column->push_back(number(point, name));
  return p;
}

std::optional<ReportPoints> points_member(const Json& object, const char* name) {
  const Json* m = member(object, name);
  if (!m) return std::nullopt;
  if (!m->is_array()) throw LayoutFault{};
  return points(*m);
}

ReportSettings settings(const Json& s) {
  ReportSettings r;
  r.model = text(s, key::settings::model);
  r.data_file = text(s, key::settings::data_file);
  r.criterion = text(s, key::settings::criterion);
  r.covariates = whole(s, key::settings::covariates);
  r.bootstrap_replicates = whole(s, key::settings::bootstrap_replicates);
  r.categorical = flag(s, key::settings::categorical);
  r.counts_column = flag(s, key::settings::counts_column);
  r.lmin = number(s, key::settings::lmin);
  return r;
}

ReportDiagnostics diagnostics(const Json& d) {
  ReportDiagnostics r;
  if (const Json* stop = object_member(d, key::diagnostics::classic_stopped))
    r.classic_stopped =
        ClassicStop{number(*stop, key::diagnostics::lnlambda), text(*stop, key::diagnostics::message)};
  r.grid_minimum_at_edge = flag(d, key::diagnostics::grid_minimum_at_edge);
  r.dispersion = number(d, key::diagnostics::dispersion);
  return r;
}

ReportWarning warning(const Json& line) {
  if (!line.is_string()) throw LayoutFault{};
  const std::string& text = line.get_ref<const std::string&>();
  return {std::string(warning_kind(text)), std::string(warning_words(text))};
}

GridRow grid_row(const Json& row) {
  GridRow r;
  r.lnlambda = number(row, key::grid::lnlambda);
  r.trace = number(row, key::grid::trace);
  r.gcv = number(row, key::grid::gcv);
  r.ocv = number(row, key::grid::ocv);
  if (const Json* converged = object_member(row, key::grid::converged_fit)) {
    r.converged = true;
    r.converged_edf = number(*converged, key::grid::edf);
    for (const char* criterion : key::criteria) r.converged_score[criterion] = number(*converged, criterion);
  }
  return r;
}

std::optional<GridMinimum> grid_minimum(const Json& minimum, const char* name, std::size_t rows) {
  const Json* entry = object_member(minimum, name);
  if (!entry) return std::nullopt;
  const Json* index = member(*entry, key::minimum::index);
  if (!index || !index->is_number_unsigned() || index->get<std::size_t>() >= rows) throw LayoutFault{};
  return GridMinimum{index->get<std::size_t>(), number(*entry, key::minimum::lnlambda),
                     number(*entry, key::minimum::score), flag(*entry, key::minimum::at_edge)};
}

ReportMinimum minimum(const Json& m, std::size_t rows) {
  ReportMinimum r{grid_minimum(m, key::minimum::gcv, rows), grid_minimum(m, key::minimum::ocv, rows), {}};
  const Json* recommended = object_member(m, key::minimum::recommended);
  if (!recommended) return r;
  Recommended rec;
  rec.criterion = text(*recommended, key::recommended::criterion);
  rec.lnlambda = number(*recommended, key::recommended::lnlambda);
  rec.edf = number(*recommended, key::recommended::edf);
  rec.limit = text(*recommended, key::recommended::limit);
  rec.text = text(*recommended, key::recommended::text);
  // the score at the recommended lambda: the refined minimum of the criterion's converged scores
  rec.score = kNoValue;
  const std::string converged = key::minimum::converged_prefix + rec.criterion;
  if (const Json* entry = object_member(m, converged.c_str())) {
    const Json* refined = object_member(*entry, key::minimum::refined);
    rec.score = number(refined ? *refined : *entry, key::minimum::score);
  }
  r.recommended = rec;
  return r;
}

ReportFit fit(const Json& f) {
  return {numbers(f, key::fit::coefficients), numbers(f, key::fit::converged_coefficients),
          points(array_member(f, key::fit::points)), points_member(f, key::fit::converged_points)};
}

ReportBootstrap bootstrap(const Json& b) {
  ReportBootstrap r;
  r.band = text(b, key::bootstrap::band);
  r.lambda = text(b, key::bootstrap::lambda, "fixed");
  if (const Json* quantiles = object_member(b, key::bootstrap::lnlambda_quantiles))
    for (const char* q : key::bootstrap::quantiles) r.lnlambda_quantiles.push_back(number(*quantiles, q));
  r.coefficients = numbers(b, key::bootstrap::coefficients);
  r.converged_coefficients = numbers(b, key::bootstrap::converged_coefficients);
  r.points = points(array_member(b, key::bootstrap::points));
  r.classic_points = points_member(b, key::bootstrap::classic_points);
  return r;
}

Gradient gradient(const Json& selection, const char* name) {
  Gradient g{number(selection, name)};
  if (const Json* bootstrap = object_member(selection, key::selection::bootstrap))
    if (const Json* spread = object_member(*bootstrap, name)) {
      g.se = number(*spread, key::selection::se);
      g.p = number(*spread, key::selection::p);
    }
  return g;
}

ReportSelection selection(const Json& s) {
  return {gradient(s, key::selection::beta),
          gradient(s, key::selection::gamma),
          gradient(s, key::selection::beta_standardized),
          gradient(s, key::selection::gamma_standardized),
          number(s, key::selection::mean_fitness),
          flag(s, key::selection::linear_limit)};
}

// The members beyond status and error.
void read_body(const Json& r, RunReport& report) {
  const Json* s = object_member(r, key::document::settings);
  if (s) report.settings = settings(*s);
  if (const Json* d = object_member(r, key::document::data))
    report.data = ReportData{whole(*d, key::data::cases), whole(*d, key::data::observations),
                             numbers(*d, key::data::levels)};
  for (const Json& line : array_member(r, key::document::warnings)) report.warnings.push_back(warning(line));
  if (const Json* d = object_member(r, key::document::diagnostics)) report.diagnostics = diagnostics(*d);
  for (const Json& row : array_member(r, key::document::grid)) report.grid.push_back(grid_row(row));
  if (const Json* m = object_member(r, key::document::minimum))
    report.minimum = minimum(*m, report.grid.size());
  if (const Json* f = object_member(r, key::document::fit)) report.fit = fit(*f);
  if (const Json* b = object_member(r, key::document::bootstrap)) report.bootstrap = bootstrap(*b);
  if (const Json* sel = object_member(r, key::document::selection)) report.selection = selection(*sel);
  if (!s && report.has_results()) throw LayoutFault{};  // results of which settings?
}

}  // namespace

std::string ReportWarning::line() const { return kind.empty() ? text : kind + ": " + text; }

bool RunReport::has_results() const {
  return read == Read::whole && (status == key::document::ok || diagnostics.classic_stopped);
}

RunReport read_run_report(const std::string& path) {
  RunReport report;
  report.path = path;
  std::ifstream file(path);
  if (!file) return report;
  const Json r = Json::parse(file, nullptr, /*allow_exceptions=*/false);
  if (!r.is_object()) {
    report.read = RunReport::Read::unreadable;
    return report;
  }
  if (const auto status = r.find(key::document::status); status != r.end() && status->is_string())
    report.status = status->get<std::string>();
  if (report.status == key::document::failed) {
    ErrorReport error;
    if (const auto code = r.find(key::document::error_code); code != r.end() && code->is_number_integer())
      error.code = code->get<int>();
    if (const auto lines = r.find(key::document::error); lines != r.end() && lines->is_array())
      for (const Json& line : *lines)
        if (line.is_string()) error.message.push_back(line.get<std::string>());
    report.error = error;
  }
  report.read = RunReport::Read::whole;
  try {
    read_body(r, report);
  } catch (const LayoutFault&) {  // nothing of the body rather than half of it
    RunReport head;
    head.path = path;
    head.read = RunReport::Read::other_layout;
    head.status = report.status;
    head.error = report.error;
    return head;
  }
  return report;
}

double fixed_lambda_edf(const RunReport& report) {
  if (report.grid.empty()) return kNoValue;
  const GridRow& row = report.grid.front();
  return std::isfinite(row.converged_edf) ? row.converged_edf : row.trace;
}

std::vector<std::string> warning_lines(const std::vector<ReportWarning>& warnings) {
  std::vector<std::string> lines;
  for (const ReportWarning& w : warnings) lines.push_back(w.line());
  return lines;
}

bool has_warning(const std::vector<ReportWarning>& warnings, const char* kind) {
  return std::any_of(warnings.begin(), warnings.end(),
                     [&](const ReportWarning& w) { return w.kind == kind; });
}

}  // namespace trov::front
