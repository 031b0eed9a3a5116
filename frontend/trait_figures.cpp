#include "frontend/trait_figures.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "frontend/engine_messages.h"
#include "frontend/figure_parts.h"
#include "frontend/run_details.h"
#include "plotlib/draw/contour.h"

namespace trov::front {

namespace {

namespace fig = plotlib::figure;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kStem = "trov_traits";

// One row of the plotted data's CSV; a and b the first and second trait (a alone: the trait of a
// curve's panel).
struct Row {
  std::string series, trait;
  double a = kNaN, b = kNaN, y = kNaN, fitted = kNaN, lower = kNaN, upper = kNaN, n = kNaN;
};

struct TraitDrawing {
  std::vector<fig::Figure> figures;  // left to right; one for a surface
  std::vector<Row> rows{};
  std::vector<std::string> caption{};
};

// The individuals are 0/1 outcomes (each one trial): drawn as survivors and the others.
bool zero_one(const TraitRun& t) {
  return t.model == "binomial" &&
         std::all_of(t.y.begin(), t.y.end(), [](double v) { return v == 0 || v == 1; }) &&
         std::all_of(t.n.begin(), t.n.end(), [](double v) { return v == 1; });
}

std::string lowered(std::string text) {
  if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

// Three significant digits without trailing zeros ("0.31", "-0.08"); "undefined" where not finite.
std::string short_number(double v) { return std::isfinite(v) ? printed("%.3g", v) : "undefined"; }

// "0.12 (95% limits 0.05 to 0.2)", with the SE where there are no limits.
std::string value_text(const TraitEstimate& e) {
  std::string text = short_number(e.estimate);
  if (std::isfinite(e.lower) && std::isfinite(e.upper))
    return text + " (95% limits " + short_number(e.lower) + " to " + short_number(e.upper) + ")";
  if (std::isfinite(e.se)) return text + " (SE " + short_number(e.se) + ")";
  return text;
}

std::string estimate_text(const std::string& name, const TraitEstimate& e) {
  return name + " = " + value_text(e);
}

std::string names_text(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t k = 0; k < names.size(); ++k)
    text += (k == 0 ? "" : k + 1 == names.size() ? " and " : ", ") + names[k];
  return text;
}

std::string run_sentence(const TraitRun& t) {
  std::string text = t.model + " model, n = " + std::to_string(t.cases) + " individuals";
  if (t.observations != t.cases) text += " (" + std::to_string(t.observations) + " observations)";
  return text;
}

std::string gradients_sentence(const TraitRun& t) {
  const std::size_t m = t.names.size();
  std::vector<std::string> parts;
  for (std::size_t a = 0; a < m && a < t.beta.size(); ++a)
    parts.push_back(estimate_text("beta[" + t.names[a] + "]", t.beta[a]));
  if (t.gamma.size() == m * m)
    for (std::size_t a = 0; a < m; ++a)
      for (std::size_t b = a; b < m; ++b)
        parts.push_back(estimate_text("gamma[" + t.names[a] + "," + t.names[b] + "]", t.gamma[a * m + b]));
  if (parts.empty()) return {};
  std::string text = "Selection gradients of the fitted function: ";
  for (std::size_t k = 0; k < parts.size(); ++k) text += (k == 0 ? "" : ", ") + parts[k];
  return text + ".";
}

std::string peak_sentence(const TraitRun& t, const std::string& mark) {
  if (!t.peak_inside) return "The fitted function has no peak inside the data.";
  std::string text = mark + "the peak of the fitted function, at ";
  for (std::size_t k = 0; k < t.names.size(); ++k)
    text += (k == 0 ? "" : ", ") + estimate_text(t.names[k], t.peak_location[k]);
  text += "; its height " + value_text(t.peak_height);
  if (t.replicates > 0)
    text += " (" + std::to_string(t.peak_replicates) + " of the " + std::to_string(t.replicates) +
            " bootstrap replicates have a peak inside the data)";
  return text + ".";
}

std::string bootstrap_sentence(const TraitRun& t) {
  if (t.replicates == 0) return {};
  return "SE and 95% limits from " + std::to_string(t.replicates) + " bootstrap replicates (" +
         (t.bootstrap_type == "cases" ? "cases resampled" : "drawn around the fit") +
         (t.bootstrap_lambda == "fixed" ? ", lambdas kept at the fit's" : ", lambdas chosen again") + ").";
}

// The individuals over the two traits: survivors filled and the others open, else open circles whose
// area grows with Y.
void add_individuals(const TraitRun& t, TraitDrawing& d) {
  fig::Figure& f = d.figures[0];
  const std::size_t count = t.y.size();
  const auto n_of = [&](std::size_t i) { return i < t.n.size() ? t.n[i] : kNaN; };
  if (zero_one(t)) {
    fig::Points survived{"survived", {}, {}, {}, fig::Shape::circle, false, 0, 0};
    fig::Points died{"died", {}, {}, {}, fig::Shape::circle, false, 0, -1};
    for (std::size_t i = 0; i < count; ++i) {
      fig::Points& p = t.y[i] == 1 ? survived : died;
      p.x.push_back(t.traits[0][i]);
      p.y.push_back(t.traits[1][i]);
      d.rows.push_back({p.label, {}, t.traits[0][i], t.traits[1][i], t.y[i], kNaN, kNaN, kNaN, n_of(i)});
    }
    f.points.push_back(std::move(died));
    f.points.push_back(std::move(survived));
    d.caption.push_back("Filled circles: the individuals that survived (Y = 1); open: the others.");
    return;
  }
  const double least = t.y.empty() ? 0 : std::min(0.0, *std::min_element(t.y.begin(), t.y.end()));
  fig::Points p{"individuals", {}, {}, {}};
  for (std::size_t i = 0; i < count; ++i) {
    p.x.push_back(t.traits[0][i]);
    p.y.push_back(t.traits[1][i]);
    p.weight.push_back(t.y[i] - least);
    d.rows.push_back({"individual", {}, t.traits[0][i], t.traits[1][i], t.y[i], kNaN, kNaN, kNaN, n_of(i)});
  }
  f.points.push_back(std::move(p));
  d.caption.push_back(std::string("Circles: the individuals, their area growing with Y") +
                      (least < 0 ? " (above its least value)." : "."));
}

// The peak as a star, with its bootstrap limits as a cross where there are any.
void add_peak(const TraitRun& t, TraitDrawing& d) {
  fig::Figure& f = d.figures[0];
  if (!t.peak_inside) return;
  const TraitEstimate &a = t.peak_location[0], &b = t.peak_location[1];
  f.markers.push_back({"peak", a.estimate, b.estimate, fig::Shape::star});
  d.rows.push_back({"peak",
                    {},
                    a.estimate,
                    b.estimate,
                    kNaN,
                    t.peak_height.estimate,
                    t.peak_height.lower,
                    t.peak_height.upper});
  if (std::isfinite(a.lower) && std::isfinite(a.upper) && std::isfinite(b.lower) && std::isfinite(b.upper)) {
    f.lines.push_back({"", {a.lower, a.upper}, {b.estimate, b.estimate}});
    f.lines.push_back({"", {a.estimate, a.estimate}, {b.lower, b.upper}});
    d.rows.push_back({"peak_lower", {}, a.lower, b.lower});
    d.rows.push_back({"peak_upper", {}, a.upper, b.upper});
  }
}

TraitDrawing surface_drawing(const TraitRun& t) {
  TraitDrawing d{{fig::Figure{}}};
  fig::Figure& f = d.figures[0];
  const TraitGrid& g = *t.grid;
  f.x_title = t.names[0];
  f.panels[0].y_title = t.names[1];
  const std::string fitted = "fitted " + lowered(y_title_of(t.model));
  const fig::ContourLevels levels = fig::contour_levels(g.fitted);
  // each value on its longest line, at the point farthest from the labels placed before (on the
  // traits' ranges as the axes scale them), where the line has room for it
  const double span_a = g.grid_a.back() - g.grid_a.front(), span_b = g.grid_b.back() - g.grid_b.front();
  const auto apart = [&](const fig::ContourPoint& p) {
    double nearest = INFINITY;
    for (const fig::Label& l : f.labels)
      nearest = std::min(nearest, std::hypot((p.x - l.x) / span_a, (p.y - l.y) / span_b));
    return nearest;
  };
  for (double level : levels.values) {
    const std::vector<fig::ContourLine> lines = fig::contour_lines(g.grid_a, g.grid_b, g.fitted, level);
    const fig::ContourLine* longest = nullptr;
    for (const fig::ContourLine& line : lines) {
      fig::Line drawn{"contours: " + fitted, {}, {}, fig::Stroke::solid, 0.45};
      for (const fig::ContourPoint& p : line) drawn.x.push_back(p.x), drawn.y.push_back(p.y);
      f.lines.push_back(std::move(drawn));
      if (!longest || line.size() > longest->size()) longest = &line;
    }
    if (!longest || longest->size() < 6) continue;
    const auto best = std::max_element(longest->begin() + 2, longest->end() - 2,
                                       [&](const auto& p, const auto& q) { return apart(p) < apart(q); });
    f.labels.push_back({fig::tick_label(level, levels.step), best->x, best->y});
  }
  for (std::size_t j = 0; j < g.grid_b.size(); ++j)
    for (std::size_t i = 0; i < g.grid_a.size(); ++i)
      d.rows.push_back({"surface", {}, g.grid_a[i], g.grid_b[j], kNaN, g.fitted[j * g.grid_a.size() + i]});
  std::string lambdas;
  for (std::size_t k = 0; k < g.lnlambda.size() && k < 2; ++k)
    lambdas += (k == 0 ? "" : " and ") + printed("%.2f", g.lnlambda[k]) + " (" + t.names[k] + ")";
  d.caption.push_back("Fitness surface of " + names_text(t.names) + ", " + run_sentence(t) +
                      ": a tensor-product spline of the two traits at ln(lambda) = " + lambdas +
                      (std::isfinite(g.edf) ? ", " + short_number(g.edf) + " effective parameters" : "") +
                      ".");
  d.caption.push_back("Contours: the " + fitted +
                      " (covariates at their mean effect), labelled with their values.");
  add_individuals(t, d);
  add_peak(t, d);
  d.caption.push_back(peak_sentence(t, "The star marks "));
  return d;
}

// The individuals' Y along one trait: ticks at 0 and 1, else open circles.
void add_curve_individuals(const TraitRun& t, std::size_t k, bool ticks, TraitDrawing& d) {
  fig::Points p{"", t.traits[k], t.y, {}, fig::Shape::circle, ticks};
  for (std::size_t i = 0; i < t.y.size(); ++i)
    d.rows.push_back({ticks ? (t.y[i] == 1 ? "survived" : "died") : "individual", t.names[k], t.traits[k][i],
                      kNaN, t.y[i], kNaN, kNaN, kNaN, i < t.n.size() ? t.n[i] : kNaN});
  d.figures[k].points.push_back(std::move(p));
}

TraitDrawing additive_drawing(const TraitRun& t, const Options& options) {
  TraitDrawing d;
  const bool ticks = zero_one(t);
  // one vertical scale for every panel, so that the traits' effects compare
  double lo = INFINITY, hi = -INFINITY;
  for (const TraitCurve& c : t.curves)
    for (const auto* column : {&c.fitted, &c.lower, &c.upper})
      for (double v : *column)
        if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  for (double v : t.y)
    if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
  std::string panels;
  for (std::size_t k = 0; k < t.curves.size(); ++k) {
    const TraitCurve& c = t.curves[k];
    fig::Figure f;
    f.x_title = t.names[k];
    f.panels[0].y_title = k == 0 ? (options.y_label.empty() ? y_title_of(t.model) : options.y_label) : "";
    f.panels[0].y_from = lo;
    f.panels[0].y_to = hi;
    f.bands.push_back({"", c.x, c.lower, c.upper});
    f.lines.push_back({"", c.x, c.fitted});
    if (t.peak_inside)
      f.lines.push_back({"",
                         {t.peak_location[k].estimate, t.peak_location[k].estimate},
                         {lo, hi},
                         fig::Stroke::dotted,
                         0.3});
    d.figures.push_back(std::move(f));
    for (std::size_t i = 0; i < c.x.size(); ++i)
      d.rows.push_back({"curve", t.names[k], c.x[i], kNaN, kNaN, c.fitted[i], c.lower[i], c.upper[i]});
    add_curve_individuals(t, k, ticks, d);
    panels += std::string(k == 0 ? "" : "; ") + t.names[k] + ": ln(lambda) = " + printed("%.2f", c.lnlambda) +
              ", edf " + short_number(c.edf) + (c.linear ? " (a straight line: no curvature found)" : "");
  }
  d.caption.push_back(
      "Additive fitness function of " + names_text(t.names) + ", " + run_sentence(t) +
      (std::isfinite(t.edf) ? ", " + short_number(t.edf) + " effective parameters in all" : "") +
      ": one cubic smoothing spline per trait (" + panels + ").");
  d.caption.push_back(
      "Each panel: the " + lowered(y_title_of(t.model)) +
      " along one trait, the other traits at their means and covariates at their mean "
      "effect, with its 95% band (grey). " +
      (ticks ? "Ticks at 0 and 1: the individual outcomes." : "Circles: the individuals' Y."));
  d.caption.push_back(peak_sentence(t, "Dotted: "));
  return d;
}

TraitDrawing drawing_of(const TraitRun& t, const Options& options) {
  TraitDrawing d = t.surface ? surface_drawing(t) : additive_drawing(t, options);
  if (std::string g = gradients_sentence(t); !g.empty()) d.caption.push_back(g);
  if (std::string b = bootstrap_sentence(t); !b.empty()) d.caption.push_back(b);
  // the journal's width across every panel; a contour map near square
  const double width = figure_width_mm(options.figure_size);
  const double height = t.surface ? std::min(width, figure_height_mm(options.figure_size, 2))
                                  : figure_height_mm(options.figure_size, 1);
  for (fig::Figure& f : d.figures) {
    f.font_pt = options.figure_font_pt;
    f.width_mm = width / static_cast<double>(d.figures.size());
    f.height_mm = height;
  }
  return d;
}

std::string csv_text(const std::vector<Row>& rows) {
  std::string text = "series,trait,a,b,y,fitted,lower,upper,n\n";
  for (const Row& r : rows)
    text += r.series + "," + (r.trait.empty() ? "NA" : r.trait) + "," + csv_number(r.a) + "," +
            csv_number(r.b) + "," + csv_number(r.y) + "," + csv_number(r.fitted) + "," + csv_number(r.lower) +
            "," + csv_number(r.upper) + "," + csv_number(r.n) + "\n";
  return text;
}

std::string caption_text(const TraitDrawing& d, const TraitRun& t) {
  std::string text;
  for (const std::string& s : d.caption) text += (text.empty() ? "" : " ") + s;
  text += "\n";
  if (!t.warnings.empty()) {
    text += "\nWarnings of the analysis of the traits:\n";
    for (const std::string& w : t.warnings) text += rounded_numbers(w) + "\n";
  }
  return text;
}

}  // namespace

plotlib::figure::Scene trait_scene(const TraitRun& t, const Options& options) {
  return fig::side_by_side(drawing_of(t, options).figures);
}

std::string write_trait_figures(const TraitRun& t, const Options& options) {
  if (!t.unread.empty()) return t.unread;
  const TraitDrawing d = drawing_of(t, options);
  const std::string stem = kStem;
  const ScriptFigure script{t.surface ? ScriptKind::surface : ScriptKind::additive,
                            t.surface ? t.names[0] : "",
                            t.surface ? t.names[1] : d.figures[0].panels[0].y_title,
                            d.figures[0].width_mm * static_cast<double>(d.figures.size()),
                            d.figures[0].height_mm,
                            options.figure_font_pt};
  if (write_figure_files(fig::side_by_side(d.figures), {caption_text(d, t), csv_text(d.rows), script}, stem))
    return {};
  return "the figures of the traits (trov_traits.png, trov_traits.svg, trov_traits.pdf) and their caption, "
         "data "
         "and scripts could not be written in the folder";
}

}  // namespace trov::front
