#include "engine/analysis/diagnostics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace trov {

namespace {

// A number for a person to read: three significant digits.
std::string rounded(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.3g", value);
  return buffer;
}

std::string_view kind_name(WarningKind kind) {
  switch (kind) {
    case WarningKind::classic_stopped:
      return "classic_stopped";
    case WarningKind::overdispersion:
      return "overdispersion";
    case WarningKind::bootstrap_failed_refits:
      return "bootstrap_failed_refits";
    case WarningKind::bootstrap_converged_failed:
      return "bootstrap_converged_failed";
    case WarningKind::bootstrap_degenerate_cases:
      return "bootstrap_degenerate_cases";
    case WarningKind::bootstrap_converged_degenerate:
      return "bootstrap_converged_degenerate";
    case WarningKind::bootstrap_centre:
      return "bootstrap_centre";
    case WarningKind::selection_not_converged:
      return "selection_not_converged";
    case WarningKind::gamma_link_only:
      return "gamma_link_only";
    case WarningKind::search_open:
      return "search_open";
    case WarningKind::search_separating:
      return "search_separating";
    case WarningKind::search_failed:
      return "search_failed";
    case WarningKind::grid_minimum_at_edge:
      return "grid_minimum_at_edge";
    case WarningKind::classic_differs:
    case WarningKind::classic_gcv_minimum_differs:
      return "classic_differs";
    case WarningKind::converged_failed:
      return "converged_failed";
    case WarningKind::classic_inaccurate:
      return "classic_inaccurate";
    case WarningKind::not_converged:
      return "not_converged";
    case WarningKind::bootstrap_not_converged:
      return "bootstrap_not_converged";
    case WarningKind::no_recommended:
      return "no_recommended";
  }
  return "";
}

// The words of a warning, after its kind.
std::string words(const Warning& w) {
  const auto& v = w.values;
  const auto at = [&](std::size_t k) { return shortest_text(v[k]); };
  const std::string count = std::to_string(w.whole);
  switch (w.kind) {
    case WarningKind::classic_stopped:
      return "the classic fit at ln(lambda) = " + at(0) + " stopped the run (" + w.names[0] +
             "), so trov.out's table ends there; the converged fits of trov.json cover the whole run";
    case WarningKind::overdispersion:
      return "the Pearson dispersion of the fit is " + rounded(v[0]) + ": the responses vary more than the " +
             (w.model == Model::poisson ? "Poisson" : "binomial") + " model allows, so " +
             (w.variant ? "only the case bootstrap's standard errors allow for it"
                        : "its parametric bootstrap's standard errors are too small; bootstrap the cases "
                          "(bootstrap_type = cases in trov.options)");
    case WarningKind::bootstrap_failed_refits:
      return "the classic fits of " + count +
             " replicates failed (a GLM weight vanished); the band of trov.out leaves them out";
    case WarningKind::bootstrap_converged_failed:
      return count + " replicates found no converged fit; the band and the gradients' spread leave them out";
    case WarningKind::bootstrap_degenerate_cases:
      return count +
             " replicates of drawn cases had all responses equal or fewer than 4 distinct X; the band and "
             "the gradients' spread leave them out";
    case WarningKind::bootstrap_converged_degenerate:
      return "more draws around the converged fit than replicates had all responses equal, so trov.json "
             "has no converged band (the fit is too close to 0 or 1)";
    case WarningKind::bootstrap_centre:
      return "each replicate chose its own lambda, and so did the observed data: the fit, its gradients "
             "and the band are those at ln(lambda) = " +
             at(0) + ", where they chose it";
    case WarningKind::selection_not_converged:
      return std::string("the converged fit did not end ok, so the selection gradients are null") +
             (w.variant ? "; selection.classic holds the classic fit's, which stops short of the penalized "
                          "maximum"
                        : "");
    case WarningKind::gamma_link_only:
      return w.model == Model::normal
                 ? "the fit is a straight line (no curvature was found), so gamma has no P; report the "
                   "directional gradient beta"
                 : "the fit is a straight line on the " +
                       std::string(w.model == Model::binomial ? "logit" : "log") +
                       " scale (no curvature was found), so gamma reflects the link alone: it has no P; "
                       "report the directional gradient beta";
    case WarningKind::search_open:
      return "the " + w.names[0] + " score still falls at ln(lambda) = " + at(0) +
             ", 30 beyond the grid; the search ended there";
    case WarningKind::search_separating:
      return "the " + w.names[0] + " score falls on where the fits separate: at ln(lambda) = " + at(0) +
             " the responses have no penalized maximum, and the search ended at ln(lambda) = " + at(1) +
             " beside it";
    case WarningKind::search_failed:
      return "the " + w.names[0] + " score falls on where a converged fit failed, at ln(lambda) = " + at(0) +
             "; the search ended at ln(lambda) = " + at(1) + " beside it";
    case WarningKind::grid_minimum_at_edge: {
      std::string beyond = "; widen the grid";
      if (v.size() > 1 && w.names[1].empty())
        beyond = "; the search beyond it found the minimum at ln(lambda) = " + at(1) +
                 " (widen the grid to see it)";
      else if (v.size() > 1)
        beyond = "; the search beyond it reached the limit " + w.names[1] + " at ln(lambda) = " + at(1);
      return "the smallest " + w.names[0] + " score of the grid lies at ln(lambda) = " + at(0) +
             ", an end of the grid" + beyond;
    }
    case WarningKind::classic_differs: {
      const char* value = w.model == Model::binomial  ? "a fitted probability"
                          : w.model == Model::poisson ? "a fitted mean"
                                                      : "a fitted value";
      std::string line = "at ln(lambda) = " + at(0) +
                         " the classic fit differs from the penalized maximum by up to " + rounded(v[1]) +
                         " in " + value;
      if (w.whole > 1) line += ", and by more than " + rounded(v[2]) + " at " + count + " of the lambdas";
      line += w.variant ? ": backfitting stopped after its cycles, short of the joint maximum"
                        : ": its limits and iterations stop short of the maximum";
      return line + "; report the converged fit";
    }
    case WarningKind::classic_gcv_minimum_differs:
      return "the smallest GCV score lies at ln(lambda) = " + at(0) + " for the converged fits but at " +
             at(1) + " for the classic ones; choose lambda by minimum.recommended";
    case WarningKind::converged_failed:
      return "at ln(lambda) = " + shortest_list(v) +
             " the penalized maximum was not found (Newton did not converge, or the fit ran away as it does "
             "for responses that a straight line separates); those converged values are null";
    case WarningKind::classic_inaccurate:
      return "the classic fits at ln(lambda) = " + shortest_list(v) +
             " lost their accuracy (many close X at a large lambda: a trace below 2, or rising with lambda, "
             "or "
             "values off the converged fit's); trov.out shows them as computed, minimum.gcv and minimum.ocv "
             "leave them out: report the converged fits";
    case WarningKind::not_converged:
      return "the classic fits at ln(lambda) = " + shortest_list(v) + " stopped at maxit = " + count +
             " before converging" +
             (w.variant ? "; report the converged fits of trov.json, which do not depend on maxit"
                        : "; raise maxit");
    case WarningKind::bootstrap_not_converged:
      return count + " bootstrap refits stopped at maxit = " + std::to_string(static_cast<long long>(v[0])) +
             " before converging";
    case WarningKind::no_recommended:
      return "the criterion found no lambda to recommend, so there is no fit at one lambda";
  }
  return "";
}

// The row of the smallest finite score, ties to the first; none when no score is finite.
std::optional<GridMinimum> smallest(const std::vector<double>& scores, const std::vector<double>& lnlambda) {
  std::optional<std::size_t> best;
  for (std::size_t k = 0; k < scores.size(); ++k)
    if (std::isfinite(scores[k]) && (!best || scores[k] < scores[*best])) best = k;
  if (!best) return std::nullopt;
  return GridMinimum{*best, lnlambda[*best], scores[*best], *best == 0 || *best + 1 == scores.size()};
}

// Whether the classic smoother lost its accuracy at this row (many close X at a large lambda): a trace
// below a line's 2, a trace that rises with lambda (by more than 1e-6 of it for the normal model, whose
// weights do not move, 1e-3 for the others), or for the normal model without covariate, where the
// classic fit is the converged one up to rounding, a trace or a fitted value that leaves the converged
// fit's by more than 1e-6 (of the edf, of the responses' range).
bool classic_inaccurate(const FitResult& fit, const ConvergedFit* converged, double difference,
                        std::optional<double> previous_trace, Model model, bool covariate, double range) {
  const double trace = fit.trace;
  const bool normal = model == Model::normal;
  bool inaccurate = !(trace >= 2 - 1e-6);
  if (previous_trace && trace > *previous_trace * (1 + (normal ? 1e-6 : 1e-3))) inaccurate = true;
  if (normal && !covariate && converged && converged->ok)
    inaccurate =
        inaccurate || std::abs(trace - converged->edf) > 1e-6 * converged->edf || difference > 1e-6 * range;
  return inaccurate;
}

std::string recommendation_text(Criterion criterion, const RefinedMinimum& refined, Model model) {
  const std::string label(score_label(criterion));
  char at[48], parameters[48];
  std::snprintf(at, sizeof at, "ln(lambda) = %.2f", refined.lnlambda);
  std::snprintf(parameters, sizeof parameters, "%.2f parameters", refined.edf);
  switch (refined.limit) {
    case SearchLimit::linear: {
      const char* scale = model == Model::binomial  ? " on the logit scale"
                          : model == Model::poisson ? " on the log scale"
                                                    : "";
      return label + " finds no curvature: the fitness function is a straight line" + scale + " (from " + at +
             " on, " + parameters + "); report the directional gradient";
    }
    case SearchLimit::interpolating:
      return label + " falls until the curve runs through every point (" + at + ", " + parameters +
             "): it finds no smoothing to report; choose another criterion";
    case SearchLimit::separating:
    case SearchLimit::failed:
      return label + " falls on until the fits " +
             (refined.limit == SearchLimit::separating ? "separate" : "fail") + " (" + at + ", " +
             parameters + "): it finds no smoothing to report; choose another criterion";
    case SearchLimit::none:
      break;
  }
  return label + " chooses " + at + " (" + parameters + ")";
}

// The warnings of a converged score's refined minimum whose search ended at a limit of the fits other
// than the line.
void search_warnings(Criterion score, const RefinedMinimum& refined, std::vector<Warning>& warnings) {
  const std::string label(score_label(score));
  if (refined.still_falling)
    warnings.push_back({.kind = WarningKind::search_open, .values = {refined.lnlambda}, .names = {label}});
  if (refined.limit == SearchLimit::separating || refined.limit == SearchLimit::failed)
    warnings.push_back({.kind = refined.limit == SearchLimit::separating ? WarningKind::search_separating
                                                                         : WarningKind::search_failed,
                        .values = {*refined.failed_at, refined.lnlambda},
                        .names = {label}});
}

}  // namespace

std::string warning_line(const Warning& warning) {
  return std::string(kind_name(warning.kind)) + ": " + words(warning);
}

std::string shortest_text(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string shortest_list(const std::vector<double>& values) {
  std::string text;
  for (double v : values) text += (text.empty() ? "" : ", ") + shortest_text(v);
  return text;
}

const FitResult* reported_classic(const Analysis& analysis, std::size_t row) {
  const std::size_t stopped = analysis.classic_stop ? analysis.classic_stop->row : analysis.rows.size();
  const AnalysisRow& r = analysis.rows[row];
  return r.classic && row < stopped ? &*r.classic : nullptr;
}

GridDiagnostics grid_diagnostics(const Analysis& analysis, const Settings& settings, const RunData& data) {
  GridDiagnostics g;
  const Model model = settings.model;
  const bool covariate = data.covariate.has_value();
  const Points& points = data.points;
  double range = 0;
  if (points.n > 0) {
    const auto [lowest, highest] = std::minmax_element(points.y.begin(), points.y.begin() + points.n);
    range = *highest - *lowest;
  }
  g.differs_limit = classic_differs_limit(model, range);
  std::vector<double> lnlambda, classic_gcv, classic_ocv, edf;
  std::array<std::vector<double>, std::size(kScores)> scores;
  std::vector<std::pair<double, double>> differs;
  std::optional<double> previous_trace;
  for (std::size_t k = 0; k < analysis.rows.size(); ++k) {
    const AnalysisRow& row = analysis.rows[k];
    const FitResult* fit = reported_classic(analysis, k);
    const ConvergedFit* converged = row.converged ? &*row.converged : nullptr;
    bool inaccurate = false;
    if (fit) {
      inaccurate =
          classic_inaccurate(*fit, converged, row.difference, previous_trace, model, covariate, range);
      previous_trace = fit->trace;
    }
    g.classic_inaccurate.push_back(inaccurate);
    lnlambda.push_back(row.lnlambda);
    // the classic minima leave out the rows whose classic fit lost its accuracy
    classic_gcv.push_back(fit && !inaccurate ? fit->gcv : NAN);
    classic_ocv.push_back(covariate || !fit || inaccurate ? NAN : fit->ocv);
    if (inaccurate) g.inaccurate.push_back(row.lnlambda);
    if (model != Model::normal && fit && fit->iterations >= settings.maxit)
      g.not_converged.push_back(row.lnlambda);
    if (!converged) continue;
    for (Criterion score : kScores)
      scores[static_cast<std::size_t>(score)].push_back(converged->ok ? converged->*member_of(score) : NAN);
    edf.push_back(converged->edf);
    if (!converged->ok)
      g.converged_failed.push_back(row.lnlambda);
    else if (fit && row.difference > g.differs_limit)
      differs.emplace_back(row.lnlambda, row.difference);
  }
  for (const auto& [score, refined] : analysis.refined) g.refined[static_cast<std::size_t>(score)] = refined;
  g.converged_fits = !edf.empty();
  g.minima = settings.grid() && analysis.rows.size() >= 2;
  const Criterion criterion = settings.criterion;
  if (g.minima) {
    g.gcv = smallest(classic_gcv, lnlambda);
    g.ocv = smallest(classic_ocv, lnlambda);
    if (g.converged_fits) {
      // the scores searched: as the run searches them, where two rows or more have converged fits
      const bool searched = edf.size() >= 2;
      for (Criterion score : kScores) {
        const auto s = static_cast<std::size_t>(score);
        if (!searched || (score == Criterion::ocv && covariate) ||
            (score == Criterion::ubre && model == Model::normal))
          continue;
        g.converged[s] = smallest(scores[s], lnlambda);
        if (g.converged[s] && g.refined[s]) search_warnings(score, *g.refined[s], g.warnings);
      }
      const auto c = static_cast<std::size_t>(criterion);
      if (g.converged[c] && g.refined[c])
        g.recommended =
            Recommendation{criterion, *g.refined[c], recommendation_text(criterion, *g.refined[c], model)};
    }
    // the grid's edge matters for the criterion that recommends (the classic GCV without converged fits)
    const std::optional<GridMinimum>& edge =
        g.converged_fits ? g.converged[static_cast<std::size_t>(criterion)] : g.gcv;
    if (edge) {
      g.minimum_at_edge = edge->at_edge;
      if (edge->at_edge) {
        Warning w{.kind = WarningKind::grid_minimum_at_edge,
                  .values = {edge->lnlambda},
                  .names = {g.converged_fits ? std::string(score_label(criterion)) : "GCV", ""}};
        const std::optional<RefinedMinimum>& refined =
            g.converged_fits ? g.refined[static_cast<std::size_t>(criterion)] : std::nullopt;
        if (refined) {
          w.values.push_back(refined->lnlambda);
          w.names[1] = limit_name(refined->limit);
        }
        g.warnings.push_back(std::move(w));
      }
    }
  }
  if (g.converged_fits) {
    for (const auto& [at, difference] : differs) g.differs.push_back(at);
    if (!differs.empty()) {
      const auto worst = *std::max_element(differs.begin(), differs.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
      g.warnings.push_back({.kind = WarningKind::classic_differs,
                            .model = model,
                            .values = {worst.first, worst.second, g.differs_limit},
                            .whole = static_cast<long long>(differs.size()),
                            .variant = covariate});
    }
    const std::optional<GridMinimum> classic = smallest(classic_gcv, lnlambda),
                                     converged =
                                         smallest(scores[static_cast<std::size_t>(Criterion::gcv)], lnlambda);
    if (settings.grid() && classic && converged) {
      g.gcv_minimum_differs = classic->index != converged->index;
      if (classic->index != converged->index)
        g.warnings.push_back({.kind = WarningKind::classic_gcv_minimum_differs,
                              .values = {converged->lnlambda, classic->lnlambda}});
    }
    if (!g.converged_failed.empty())
      g.warnings.push_back({.kind = WarningKind::converged_failed, .values = g.converged_failed});
  }
  if (!g.inaccurate.empty())
    g.warnings.push_back({.kind = WarningKind::classic_inaccurate, .values = g.inaccurate});
  if (!g.not_converged.empty())
    g.warnings.push_back({.kind = WarningKind::not_converged,
                          .values = g.not_converged,
                          .whole = settings.maxit,
                          .variant = g.converged_fits});
  return g;
}

std::vector<Warning> classic_stopped_warnings(const Analysis& analysis) {
  if (!analysis.classic_stop) return {};
  const std::string message =
      fault_message(analysis.classic_stop->fault.fault, analysis.classic_stop->fault.details());
  const std::vector<std::string> lines = message_lines(message);
  return {{.kind = WarningKind::classic_stopped,
           .values = {analysis.rows[analysis.classic_stop->row].lnlambda},
           .names = {lines.empty() ? std::string() : lines.front()}}};
}

std::vector<Warning> dispersion_warnings(std::optional<double> dispersion, const Settings& settings) {
  if (!dispersion || !(*dispersion > 1.5)) return {};
  return {{.kind = WarningKind::overdispersion,
           .model = settings.model,
           .values = {*dispersion},
           .variant = settings.bootstrap_type == BootstrapType::cases}};
}

std::vector<Warning> bootstrap_warnings(const BootstrapOutcome& outcome, const Settings& settings) {
  std::vector<Warning> warnings;
  const bool converged = !outcome.converged_fitted.empty();
  if (outcome.failed_refits > 0)
    warnings.push_back({.kind = WarningKind::bootstrap_failed_refits, .whole = outcome.failed_refits});
  if (converged && outcome.converged_failed > 0)
    warnings.push_back({.kind = WarningKind::bootstrap_converged_failed, .whole = outcome.converged_failed});
  if (converged && outcome.converged_degenerate > 0 && settings.bootstrap_type == BootstrapType::cases)
    warnings.push_back(
        {.kind = WarningKind::bootstrap_degenerate_cases, .whole = outcome.converged_degenerate});
  if (outcome.converged_too_many_degenerate)
    warnings.push_back({.kind = WarningKind::bootstrap_converged_degenerate});
  if (outcome.centre_moved)
    warnings.push_back({.kind = WarningKind::bootstrap_centre, .values = {*outcome.centre_lnlambda}});
  return warnings;
}

std::vector<Warning> selection_warnings(bool gradients, bool classic, bool linear, Model model) {
  if (!gradients) return {{.kind = WarningKind::selection_not_converged, .variant = classic}};
  if (linear) return {{.kind = WarningKind::gamma_link_only, .model = model}};
  return {};
}

std::vector<Warning> bootstrap_not_converged_warnings(std::optional<int> refits, int maxit) {
  if (!refits || *refits <= 0) return {};
  return {{.kind = WarningKind::bootstrap_not_converged,
           .values = {static_cast<double>(maxit)},
           .whole = *refits}};
}

bool at_linear_limit(const Analysis& analysis, const RunData& data) {
  const ConvergedFit* converged = analysis.converged ? &*analysis.converged : nullptr;
  const double unpenalized = 2.0 + (data.covariate ? data.covariate->design.columns - 1 : 0);
  return converged && converged->ok && std::abs(converged->edf - unpenalized) <= 1e-3;
}

RunDiagnostics diagnose(const Analysis& analysis, const Settings& settings, const RunData& data) {
  RunDiagnostics d;
  auto add = [&](std::vector<Warning> more) {
    for (Warning& w : more) d.warnings.push_back(std::move(w));
  };
  add(classic_stopped_warnings(analysis));
  std::optional<int> bootstrap_not_converged;
  if (analysis.one_lambda) {
    add(dispersion_warnings(analysis.dispersion, settings));
    if (analysis.bootstrap) {
      add(bootstrap_warnings(*analysis.bootstrap, settings));
      if (settings.model != Model::normal && analysis.bootstrap->classic())
        bootstrap_not_converged = analysis.bootstrap->not_converged;
    }
    const bool classic = analysis.classic_gradients && !analysis.classic_stop;
    add(selection_warnings(analysis.gradients.has_value(), classic, at_linear_limit(analysis, data),
                           settings.model));
  }
  GridDiagnostics grid = grid_diagnostics(analysis, settings, data);
  add(std::move(grid.warnings));
  add(bootstrap_not_converged_warnings(bootstrap_not_converged, settings.maxit));
  d.recommended = std::move(grid.recommended);
  return d;
}

}  // namespace trov
