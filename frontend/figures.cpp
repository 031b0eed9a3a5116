#include "frontend/figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

#include "frontend/engine_messages.h"
#include "frontend/figure_parts.h"
#include "frontend/plot_scripts.h"
#include "plotlib/draw/figure_scene.h"

namespace trov::front {

namespace fig = plotlib::figure;

std::string printed(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

double figure_width_mm(FigureSize size) {
  switch (size) {
    case FigureSize::column:
      return 85;
    case FigureSize::page:
      return 175;
    case FigureSize::slide:
      return 254;
  }
  return 85;
}

double figure_height_mm(FigureSize size, int panels) {
  switch (size) {
    case FigureSize::column:
      return panels > 1 ? 100 : 68;
    case FigureSize::page:
      return panels > 1 ? 150 : 110;
    case FigureSize::slide:
      return 143;
  }
  return 68;
}

std::string y_title_of(const std::string& model) {
  if (model == "binomial") return "Survival probability";
  if (model == "poisson") return "Number of offspring";
  return "Fitness";
}

std::string csv_number(double v) { return std::isfinite(v) ? printed("%.9g", v) : "NA"; }

bool write_text(const std::string& name, const std::string& text) {
  std::ofstream file(name, std::ios::trunc);
  file << text;
  return static_cast<bool>(file.flush());
}

bool write_figure_files(const fig::Scene& scene, const FigureTexts& texts, const std::string& stem) {
  const bool ok = fig::write_scene(scene, stem) && write_text(stem + "_caption.txt", texts.caption) &&
                  write_text(stem + "_plot.csv", texts.csv) &&
                  write_text(stem + "_plot.R", r_script(texts.script)) &&
                  write_text(stem + "_plot.py", python_script(texts.script));
  if (ok) return true;
  std::error_code ec;
  for (const char* ending : {".png", ".svg", ".pdf", "_caption.txt", "_plot.csv", "_plot.R", "_plot.py"})
    std::filesystem::remove(stem + ending, ec);
  return false;
}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kStem = "trov";

// One plotted series as the CSV holds it: tidy rows of series, x, y, lower, upper, n, level.
struct Series {
  std::string name;
  std::vector<double> x{}, y{}, lower{}, upper{}, n{}, level{};
};

// What is drawn: the figure, its data and the sentences of its caption.
struct Drawing {
  fig::Figure figure;
  std::vector<Series> series;
  std::vector<std::string> caption;
};

// Where a score explodes at one end of the grid, the panel is cut at five times the spread of its lower
// half above the minimum, so that the minimum shows; NaN: no cut.
double cut_for(const std::vector<double>& scores) {
  std::vector<double> finite;
  for (double s : scores)
    if (std::isfinite(s)) finite.push_back(s);
  if (finite.size() < 3) return kNaN;
  std::sort(finite.begin(), finite.end());
  const double lo = finite.front(), median = finite[finite.size() / 2], hi = finite.back();
  if (!(median > lo) || hi - lo <= 20 * (median - lo)) return kNaN;
  return lo + 5 * (median - lo);
}

std::string run_sentence(const RunDetails& run) {
  std::string text = std::filesystem::path(run.data_file).filename().string() + ", " + run.model +
                     " model, " + std::to_string(run.cases) + " cases (" + std::to_string(run.observations) +
                     " observations)";
  if (run.covariates > 0) text += run.categorical ? ", categorical covariate" : ", continuous covariate";
  return text;
}

// The classic GCV (and without a covariate OCV) scores in the first panel.
void add_classic_scores(const RunDetails& run, Drawing& d) {
  fig::Figure& f = d.figure;
  const std::vector<double>&lnlambda = run.grid_lnlambda, &gcv = run.grid_gcv, &ocv = run.grid_ocv;
  const bool with_ocv = run.covariates == 0;
  f.panels[0].y_title = "Classic score";
  f.lines.push_back({"GCV (classic)", lnlambda, gcv, fig::Stroke::solid});
  d.series.push_back({"gcv_classic", lnlambda, gcv});
  std::vector<double> both = gcv;
  if (with_ocv) {
    f.lines.push_back({"OCV (classic)", lnlambda, ocv, fig::Stroke::dashed});
    d.series.push_back({"ocv_classic", lnlambda, ocv});
    both.insert(both.end(), ocv.begin(), ocv.end());
  }
  f.panels[0].clip_above = cut_for(both);
  std::string panels = with_ocv ? "The classic GCV (solid) and OCV (dashed) scores" : "The classic GCV score";
  d.caption.push_back(panels + " over a grid of " + std::to_string(lnlambda.size()) +
                      " values of ln(lambda) from " + printed("%g", lnlambda.front()) + " to " +
                      printed("%g", lnlambda.back()) + ".");
  if (!std::isnan(f.panels[0].clip_above))
    d.caption.push_back("Classic scores above " + significant_text(f.panels[0].clip_above, 3) +
                        " are cut off at the top of their panel, so that the minimum shows.");
}

// The recommended criterion's converged scores and their minimum: in a panel below the classic
// scores, or alone.
void add_criterion_scores(const RunDetails& run, bool classic, Drawing& d) {
  fig::Figure& f = d.figure;
  const std::vector<double>& lnlambda = run.grid_lnlambda;
  const Recommended& rec = *run.recommended;
  const std::string name = criterion_title(rec.criterion);
  const int panel = classic ? 1 : 0;
  if (classic)
    f.panels.push_back({name + " score (converged)"});
  else
    f.panels[0].y_title = name + " score (converged)";
  f.lines.push_back(
      {name + " (converged fits)", lnlambda, run.criterion_score, fig::Stroke::long_dashed, 0, panel});
  d.series.push_back({rec.criterion + "_converged", lnlambda, run.criterion_score});
  f.panels[panel].clip_above = cut_for(run.criterion_score);
  const std::string where = "ln(lambda) = " + printed("%.2f", rec.lnlambda);
  f.markers.push_back({name + " minimum, " + where, rec.lnlambda, rec.score, fig::Shape::star, panel});
  d.series.push_back({"recommended", {rec.lnlambda}, {rec.score}});
  const std::string over =
      classic ? "" : " over a grid of " + std::to_string(lnlambda.size()) + " values of ln(lambda)";
  d.caption.push_back(std::string(classic ? "Lower panel: the " : "The ") + name +
                      " score of the converged penalized-likelihood fits" + over +
                      "; the star marks its minimum. " + rec.text +
                      (rec.text.empty() || rec.text.back() == '.' ? "" : "."));
  if (!std::isnan(f.panels[panel].clip_above))
    d.caption.push_back(name + " scores above " + significant_text(f.panels[panel].clip_above, 3) +
                        " are cut off at the top of their panel.");
}

// A run without converged fits: the classic GCV minimum, ties to the first row.
void add_gcv_minimum(const RunDetails& run, Drawing& d) {
  const std::vector<double>&lnlambda = run.grid_lnlambda, &gcv = run.grid_gcv;
  d.figure.panels[0].y_title = "Score";
  const auto best = std::min_element(gcv.begin(), gcv.end()) - gcv.begin();
  d.figure.markers.push_back({"GCV minimum, ln(lambda) = " + printed("%.2f", lnlambda[best]), lnlambda[best],
                              gcv[best], fig::Shape::circle});
  d.series.push_back({"gcv_minimum", {lnlambda[best]}, {gcv[best]}});
  d.caption.push_back("The filled circle marks the smallest GCV score.");
}

Drawing grid_drawing(const RunDetails& run) {
  Drawing d;
  d.figure.x_title = "ln(lambda)";
  // a classic table that stopped at the first row leaves no classic scores: the converged ones alone
  const bool classic =
      std::any_of(run.grid_gcv.begin(), run.grid_gcv.end(), [](double v) { return std::isfinite(v); });
  d.caption.push_back("Choice of the smoothing parameter lambda for " + run_sentence(run) + ".");
  if (classic) add_classic_scores(run, d);
  if (run.recommended && run.criterion_score.size() == run.grid_lnlambda.size())
    add_criterion_scores(run, classic, d);
  else
    add_gcv_minimum(run, d);
  return d;
}

// The uncorrected fitted values of a covariate run, one series per level of a categorical covariate.
void add_uncorrected(const RunDetails& run, Drawing& d) {
  static constexpr fig::Shape kShapes[] = {fig::Shape::square, fig::Shape::triangle, fig::Shape::diamond,
                                           fig::Shape::star};
  const std::size_t n = run.x.size();
  const bool by_level = run.categorical && run.c.size() == n && !run.levels.empty();
  const std::vector<double> levels = by_level ? run.levels : std::vector<double>{kNaN};
  for (std::size_t k = 0; k < levels.size(); ++k) {
    Series s{"fitted_uncorrected"};
    for (std::size_t i = 0; i < n; ++i)
      if (!by_level || run.c[i] == levels[k]) {
        s.x.push_back(run.x[i]);
        s.y.push_back(run.uncorrected[i]);
        s.level.push_back(levels[k]);
      }
    const std::string label =
        by_level ? "fitted, covariate = " + printed("%g", levels[k]) : "fitted at each point's covariate";
    d.figure.points.push_back({label, s.x, s.y, {}, kShapes[k % std::size(kShapes)]});
    d.series.push_back(std::move(s));
  }
  d.caption.push_back(std::string("The curve is corrected for the covariate (every point at "
                                  "the mean covariate "
                                  "effect); the ") +
                      (by_level ? "other symbols are the fitted values at each level of the "
                                  "covariate."
                                : "squares are the fitted values at each point's own covariate."));
}

// The curve, converged where there is one, with its bootstrap band; the series "fit" holds both.
void add_fit(const RunDetails& run, bool converged, Drawing& d) {
  const std::size_t n = run.x.size();
  const std::vector<double>& fit = converged ? run.converged : run.classic;
  std::vector<double> lower(n, kNaN), upper(n, kNaN);
  if (run.kind == RunKind::bootstrap) {
    lower = run.lower;
    upper = run.upper;
    d.figure.bands.push_back({"+/- 1 bootstrap SE", run.x, lower, upper});
  }
  d.figure.lines.push_back({converged ? "fit (converged)" : "fit", run.x, fit});
  d.series.push_back({"fit", run.x, fit, lower, upper});
}

// The classic fit where it differs from the converged one (a segment where either end differs);
// whether any point differs.
bool add_classic_fit(const RunDetails& run, Drawing& d) {
  const std::size_t n = run.x.size();
  const std::vector<bool> differs = classic_differs(run);
  if (std::find(differs.begin(), differs.end(), true) == differs.end()) return false;
  std::vector<double> classic(n, kNaN);
  for (std::size_t i = 0; i < n; ++i)
    if (differs[i] || (i > 0 && differs[i - 1]) || (i + 1 < n && differs[i + 1])) classic[i] = run.classic[i];
  d.figure.lines.push_back({"classic", run.x, classic, fig::Stroke::dashed, 0.35});
  d.series.push_back({"classic", run.x, classic});
  return true;
}

// The data: 0/1 outcomes as a rug, else the pooled means sized by their count; whether they are 0/1.
bool add_data(const RunDetails& run, Drawing& d) {
  const std::vector<double>&x = run.x, &y = run.y, &counts = run.n;
  const bool zero_one =
      run.model == "binomial" && std::all_of(y.begin(), y.end(), [](double v) { return v == 0 || v == 1; });
  Series data{"data", x, y, {}, {}, counts};
  if (run.covariates > 0 && run.c.size() == x.size()) data.level = run.c;
  d.figure.points.push_back({"data", x, y, counts, fig::Shape::circle, zero_one});
  d.series.push_back(std::move(data));
  return zero_one;
}

std::string fit_sentence(const RunDetails& run, const std::string& lambda_origin) {
  std::string sentence = "Fitness function of " + run_sentence(run) +
                         ", estimated by a cubic smoothing spline " +
                         "at ln(lambda) = " + number_text(run.lnlambda);
  if (std::isfinite(run.edf)) sentence += " (" + significant_text(run.edf, 3) + " effective parameters)";
  sentence += lambda_origin.empty() ? "." : ", " + lambda_origin + ".";
  return sentence;
}

std::string curve_sentence(const RunDetails& run, bool converged, bool classic_drawn) {
  if (!converged) return "The curve is the classic fit (no converged fit was found).";
  if (!classic_drawn) return "The curve is the converged penalized maximum-likelihood fit.";
  return "The curve is the converged penalized maximum-likelihood fit; dashed: "
         "the classic fit, where "
         "it differs from it by more than " +
         std::string(run.model == "binomial" ? "0.01 in a probability." : "1% of the range of Y.");
}

std::string band_sentence(const RunDetails& run) {
  std::string band = "The band is the fitted value +/- 1 bootstrap standard error" +
                     std::string(run.model == "normal" ? "" : " (on the link scale)") + ", from " +
                     std::to_string(run.replicates) + " bootstrap replicates";
  if (run.bootstrap_lambda != "reselected") return band + " at this lambda.";
  if (run.lnlambda_quantiles.size() != 3)
    return band + ", each choosing its own lambda by " + criterion_title(run.criterion) + ".";
  return band + ", each choosing its own lambda by " + criterion_title(run.criterion) +
         " (median ln(lambda) " + printed("%.2f", run.lnlambda_quantiles[1]) +
         ", 95% of the replicates between " + printed("%.2f", run.lnlambda_quantiles[0]) + " and " +
         printed("%.2f", run.lnlambda_quantiles[2]) + ").";
}

std::string data_sentence(const RunDetails& run, bool zero_one) {
  if (zero_one) return "Ticks at 0 and 1: the individual outcomes.";
  if (run.n.empty()) return "Circles: the data, pooled at equal trait values.";
  return "Circles: the data, pooled at equal trait values, their area growing "
         "with the number of cases.";
}

// The standardized selection gradients: in the caption, and above the plot where trov.options asks.
void add_gradients(const RunDetails& run, const Options& options, Drawing& d) {
  const auto gradients = [&](bool with_p) {
    return gradient_text("beta'", *run.beta_standardized, {.digits = 2, .with_p = with_p}) + ", " +
           gradient_text("gamma'", *run.gamma_standardized,
                         {.digits = 2, .with_p = with_p, .link_only = run.linear_limit});
  };
  d.figure.note = options.figure_gradients ? gradients(false) : "";
  d.caption.push_back("Standardized selection gradients: " + gradients(true) + ".");
}

Drawing fitted_drawing(const RunDetails& run, const Options& options, const std::string& lambda_origin) {
  Drawing d;
  d.figure.x_title = options.x_label.empty() ? "Trait" : options.x_label;
  d.figure.panels[0].y_title = options.y_label.empty() ? y_title_of(run.model) : options.y_label;
  // the curve: converged where there is one; the classic one beside it where it differs
  const bool converged = run.converged.size() == run.x.size();
  add_fit(run, converged, d);
  const bool classic_drawn = converged && add_classic_fit(run, d);
  const bool zero_one = add_data(run, d);
  d.caption.push_back(fit_sentence(run, lambda_origin));
  d.caption.push_back(curve_sentence(run, converged, classic_drawn));
  if (run.kind == RunKind::bootstrap) d.caption.push_back(band_sentence(run));
  if (!run.uncorrected.empty()) add_uncorrected(run, d);
  d.caption.push_back(data_sentence(run, zero_one));
  if (run.beta_standardized && run.gamma_standardized) add_gradients(run, options, d);
  return d;
}

std::string csv_text(const std::vector<Series>& series) {
  std::string text = "series,x,y,lower,upper,n,level\n";
  const auto at = [](const std::vector<double>& v, std::size_t i) { return i < v.size() ? v[i] : kNaN; };
  for (const Series& s : series)
    for (std::size_t i = 0; i < s.x.size(); ++i)
      text += s.name + "," + csv_number(s.x[i]) + "," + csv_number(at(s.y, i)) + "," +
              csv_number(at(s.lower, i)) + "," + csv_number(at(s.upper, i)) + "," + csv_number(at(s.n, i)) +
              "," + csv_number(at(s.level, i)) + "\n";
  return text;
}

// The sentences, then the run's warnings that bear on what the figure shows (those of the classic fits
// concern trov.out's numbers: the run's details tell them), their numbers rounded.
std::string caption_text(const std::vector<std::string>& sentences, const RunDetails& run) {
  std::string text;
  for (const std::string& s : sentences) text += (text.empty() ? "" : " ") + s;
  text += "\n";
  std::string warnings;
  for (const ReportWarning& w : run.warnings)
    if (!about_classic_fits(w.kind)) warnings += rounded_numbers(w.line()) + "\n";
  if (!warnings.empty()) text += "\nWarnings of the run:\n" + warnings;
  return text;
}

// Where trov.out's classic table stopped: the converged analysis shown goes on.
void add_classic_stop(const RunDetails& run, Drawing& d) {
  if (run.classic_stopped)
    d.caption.push_back(
        "The classic fits of trov.out stopped at ln(lambda) = " + number_text(run.classic_stopped->lnlambda) +
        " (" + run.classic_stopped->message + "); the figure shows the converged fits.");
}

}  // namespace

std::string write_figures(const RunDetails& run, const Options& options, const std::string& lambda_origin) {
  if (!run.read) return run.unread;
  const bool grid = run.kind == RunKind::grid;
  Drawing d = grid ? grid_drawing(run) : fitted_drawing(run, options, lambda_origin);
  add_classic_stop(run, d);
  d.figure.font_pt = options.figure_font_pt;
  d.figure.width_mm = figure_width_mm(options.figure_size);
  d.figure.height_mm = figure_height_mm(options.figure_size, static_cast<int>(d.figure.panels.size()));
  const std::string stem = kStem;
  const ScriptFigure script{grid ? ScriptKind::grid : ScriptKind::fitted,
                            d.figure.x_title,
                            d.figure.panels[0].y_title,
                            d.figure.width_mm,
                            d.figure.height_mm,
                            d.figure.font_pt};
  if (write_figure_files(fig::lay_out(d.figure), {caption_text(d.caption, run), csv_text(d.series), script},
                         stem))
    return {};
  return "the figures (trov.png, trov.svg, trov.pdf) and their caption, data "
         "and scripts could not be "
         "written in "
         "the folder";
}

}  // namespace trov::front
