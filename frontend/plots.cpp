#include "frontend/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "frontend/figures.h"
#include "frontend/trait_figures.h"
#include "plotlib/draw/figure_window.h"
#include "plotlib/draw/plotlib.h"

namespace trov::front {

namespace {

struct Range {
  float lo, hi;
};

// The range of the finite values of the columns; lo > hi when there is none.
Range range_of(std::initializer_list<const std::vector<float>*> columns) {
  Range r{INFINITY, -INFINITY};
  for (const auto* c : columns)
    for (float v : *c)
      if (std::isfinite(v)) r.lo = std::min(r.lo, v), r.hi = std::max(r.hi, v);
  return r;
}

bool all_finite(std::initializer_list<const std::vector<float>*> columns) {
  for (const auto* c : columns)
    if (!std::all_of(c->begin(), c->end(), [](float v) { return std::isfinite(v); })) return false;
  return true;
}

// The two drawings of one plot: the screen, then trov.wmf (always under this name).
enum class Pass { screen, metafile };

// The page layout, in plot units: the axis system and the character height of labels and titles.
constexpr int kAxisLeft = 450, kAxisBottom = 1800, kAxisWidth = 2200, kAxisHeight = 1200;
constexpr int kTextHeight = 40;
constexpr int kPageWidth = 2970;

// Nothing, or why the device has no file to open (which ends trovwin).
std::optional<std::string> setupplot(Pass pass) {
  switch (pass) {
    case Pass::screen:
      plotlib::metafl("xwin");
      break;
    case Pass::metafile: {
      std::error_code ec;
      std::filesystem::remove("trov.wmf", ec);
      plotlib::metafl("wmf");
      plotlib::setfil("trov.wmf");
      break;
    }
  }
  plotlib::setpag("DA4L");
  if (auto why = plotlib::disini()) return why;
  plotlib::pagera();
  plotlib::height(kTextHeight);
  plotlib::hname(kTextHeight);
  plotlib::winfnt("Arial");
  plotlib::axspos(kAxisLeft, kAxisBottom);
  plotlib::axslen(kAxisWidth, kAxisHeight);
  plotlib::labdig(3, "XY");
  plotlib::ticks(5, "XY");
  return std::nullopt;
}

// The notes stand above the title in a smaller height, centred over the axis system like the title
// and kept on the page; a marked point's symbol stands before its line as the key. A note too long for
// the page goes on over lines of its own; when there are more lines than the room above the title holds,
// they stand closer, and at the closest the last notes are left out: the first, the answer of the run,
// always shows whole.
constexpr int kNoteHeight = 30;
constexpr int kMarkerSize = 36;
constexpr int kKeyGap = 15;
constexpr int kTitleGap = 15;  // between the last note and the title
constexpr int kPageMargin = 40;
constexpr int kNoteSpacing = kNoteHeight * 3 / 2, kTightestSpacing = kNoteHeight + 4;

// The lines a text takes at this width, broken at blanks (a word longer than the width stands alone).
std::vector<std::string> broken_lines(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(at, end - at);
    const std::string longer = line.empty() ? word : line + " " + word;
    if (!line.empty() && plotlib::nlmess(longer) > width) {
      lines.push_back(line);
      line = word;
    } else {
      line = longer;
    }
    at = end + 1;
  }
  if (!line.empty() || lines.empty()) lines.push_back(line);
  return lines;
}

void draw_notes(const std::vector<PlotNote>& notes) {
  plotlib::height(kNoteHeight);
  plotlib::hsymbl(kMarkerSize);
  struct Line {
    std::string text;
    const PlotNote* keyed;  // the note whose symbol stands before this line; null: none
    int indent;
  };
  std::vector<Line> lines;
  std::size_t first_lines = 0;  // those of the first note, which always show
  for (const PlotNote& note : notes) {
    const int key = note.marker ? kMarkerSize + kKeyGap : 0;
    const std::vector<std::string> parts = broken_lines(note.text, kPageWidth - 2 * kPageMargin - key);
    for (std::size_t k = 0; k < parts.size(); ++k)
      lines.push_back({parts[k], k == 0 && key ? &note : nullptr, key});
    if (first_lines == 0) first_lines = lines.size();
  }
  // title line 1 has its top 7.5 title heights above the axis system
  const int title_top = kAxisBottom - kAxisHeight - kTextHeight * 15 / 2;
  const int room = title_top - kTitleGap - kPageMargin;
  std::size_t shown = std::min(lines.size(), std::max<std::size_t>(first_lines, room / kTightestSpacing));
  const int spacing =
      shown == 0 ? kNoteSpacing : std::clamp(room / static_cast<int>(shown), kTightestSpacing, kNoteSpacing);
  for (const PlotNote& note : notes)
    if (note.marker) plotlib::rlsymb(note.marker->symbol, note.marker->x, note.marker->y);
  const int centre = kAxisLeft + (kAxisWidth - 1) / 2;
  int y = std::max(kPageMargin, title_top - kTitleGap - static_cast<int>(shown) * spacing);
  for (std::size_t k = 0; k < shown; ++k) {
    const Line& line = lines[k];
    const int width = line.indent + plotlib::nlmess(line.text);
    int x = std::clamp(centre - width / 2, kPageMargin, kPageWidth - kPageMargin - width);
    if (line.keyed) plotlib::symbol(line.keyed->marker->symbol, x + kMarkerSize / 2, y + kNoteHeight / 2);
    plotlib::messag(line.text, x + line.indent, y);
    y += spacing;
  }
}

std::vector<float> as_floats(const std::vector<double>& values) { return {values.begin(), values.end()}; }

// A curve with gaps: each run of points where `shown` holds (and y is finite) is drawn on its own.
void curve_where(const std::vector<float>& x, const std::vector<float>& y, const std::vector<bool>& shown) {
  std::size_t start = 0;
  const auto drawn = [&](std::size_t i) { return shown[i] && std::isfinite(y[i]); };
  while (start < y.size()) {
    while (start < y.size() && !drawn(start)) ++start;
    std::size_t end = start;
    while (end < y.size() && drawn(end)) ++end;
    if (end - start >= 2) {
      const auto count = static_cast<int>(end - start);
      plotlib::curve(std::span<const float>(x).subspan(start, end - start),
                     std::span<const float>(y).subspan(start, end - start), count);
    }
    start = end;
  }
}

std::string two_decimals(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

constexpr int kRecommendedSymbol = 7;  // a star: the recommended lambda on the criterion's curve

// What the plot draws beside the data or the classic scores: the converged curves and the recommended
// lambda.
struct Overlay {
  std::vector<float> fit;      // the curve: converged where there is one, else classic
  std::vector<float> classic;  // the classic fit where it differs from the converged one
  std::vector<bool> classic_shown;
  std::vector<float> score;     // the criterion's converged scores, scaled to the axis
  std::vector<PlotNote> notes;  // before those of trov.json
  bool any_classic = false;
};

// The range of the criterion's converged scores and its recommended minimum, at their precision;
// lo > hi when there is none.
struct ScoreRange {
  double lo = INFINITY, hi = -INFINITY;
  bool any() const { return lo <= hi; }
};
ScoreRange criterion_range(const RunDetails& run) {
  ScoreRange r;
  if (!run.recommended || run.criterion_score.size() != run.grid_lnlambda.size()) return r;
  std::vector<double> scores = run.criterion_score;
  scores.push_back(run.recommended->score);
  for (double s : scores)
    if (std::isfinite(s)) r.lo = std::min(r.lo, s), r.hi = std::max(r.hi, s);
  return r;
}

// The criterion's scores drawn on the axis of the classic scores: their range onto the axis's range.
void add_criterion(const RunDetails& run, float lo, float hi, Overlay& o) {
  const ScoreRange range = criterion_range(run);
  const double smin = range.lo, smax = range.hi;
  if (!(smax > smin)) return;
  const Recommended& rec = *run.recommended;
  const auto scaled = [&](double s) {
    return static_cast<float>(lo + (s - smin) / (smax - smin) * (hi - lo));
  };
  for (double s : run.criterion_score) o.score.push_back(std::isfinite(s) ? scaled(s) : NAN);
  const std::string name = criterion_title(rec.criterion);
  std::optional<PlotMarker> marker;
  if (std::isfinite(rec.score))
    marker = PlotMarker{kRecommendedSymbol, static_cast<float>(rec.lnlambda), scaled(rec.score)};
  o.notes.push_back(
      {rec.text.empty() ? name + " chooses ln(lambda) = " + two_decimals(rec.lnlambda) : rec.text, marker});
  o.notes.push_back({name + " score of the converged fits (long dashes), " + two_decimals(smin) +
                         " at the bottom, " + two_decimals(smax) + " at the top",
                     std::nullopt});
}

Overlay overlay_of(const RunDetails& run) {
  Overlay o;
  const std::size_t n = run.x.size();
  if (run.kind == RunKind::grid) return o;
  if (run.converged.size() == n) {
    o.fit = as_floats(run.converged);
    o.classic = as_floats(run.classic);
    o.classic_shown = classic_differs(run);
    // a segment is drawn where either end differs
    std::vector<bool> ends = o.classic_shown;
    for (std::size_t i = 0; i + 1 < n; ++i)
      if (o.classic_shown[i + 1]) ends[i] = true;
    for (std::size_t i = n; i-- > 1;)
      if (o.classic_shown[i - 1]) ends[i] = true;
    o.any_classic = std::find(o.classic_shown.begin(), o.classic_shown.end(), true) != o.classic_shown.end();
    o.classic_shown = ends;
    if (o.any_classic)
      o.notes.push_back(
          {"Dashed: the classic fit, where it differs from the converged fit (solid)", std::nullopt});
  } else {
    o.fit = as_floats(run.classic);
    o.notes.push_back({"The converged fit failed: the curve is the classic fit", std::nullopt});
  }
  return o;
}

// The axis system as graf takes it: each axis's ends, origin and label step.
struct Axes {
  float xa, xe, xor_, xstep, ya, ye, yor, ystep;
};

// A grid: the lambdas end to end, the scores with a twentieth of their range added below and above.
Axes grid_axes(const std::vector<float>& x, Range r) {
  const std::size_t n = x.size();
  Axes a;
  a.xstep = (x[n - 1] - x[0]) / 5.0f;
  a.ystep = (r.hi - r.lo) / 5.0f;
  float lo = r.lo - (r.hi - r.lo) / 20.0f;
  float hi = r.hi + (r.hi - lo) / 20.0f;  // the upper pad uses the lowered bottom
  a.xa = x[0], a.xe = x[n - 1], a.xor_ = x[0];
  a.ya = lo, a.ye = hi, a.yor = lo;
  return a;
}

// A fit: both axes with a tenth of a label step added at either end.
Axes fitted_axes(const std::vector<float>& x, Range r) {
  const std::size_t n = x.size();
  Axes a;
  a.xstep = (x[n - 1] - x[0]) / 5.0f;
  a.ystep = (r.hi - r.lo) / 5.0f;
  a.xa = x[0] - a.xstep / 10.0f, a.xe = x[n - 1] + a.xstep / 10.0f, a.xor_ = x[0];
  a.ya = r.lo - a.ystep / 10.0f, a.ye = r.hi + a.ystep / 10.0f, a.yor = r.lo;
  return a;
}

// One run's plot: its columns as the drawing layer takes them, scaled once and drawn on each pass.
class Plot {
 public:
  explicit Plot(const RunDetails& run)
      : run_(run),
        grid_(run.kind == RunKind::grid),
        M_(run.covariates),
        o_(overlay_of(run)),
        x_(as_floats(grid_ ? run.grid_lnlambda : run.x)),
        gcv_(as_floats(run.grid_gcv)),
        ocv_(as_floats(run.grid_ocv)),
        y_(as_floats(run.y)),
        // the symbols of a fit without bootstrap with a covariate: its fitted values at each point's
        // covariate
        uncorrected_(run.kind == RunKind::fitted ? as_floats(run.uncorrected) : std::vector<float>()),
        lower_(as_floats(run.lower)),
        upper_(as_floats(run.upper)),
        everywhere_(x_.size(), true) {}

  // The axes and the lines above the title, the notes of trov.json among them; empty, or why nothing
  // can be plotted.
  std::string scale(const std::vector<PlotNote>& notes) {
    if (x_.empty()) return "trov.json holds no results to plot";
    // a grid's classic scores may stop short (a classic table that stopped): the curves have gaps
    // there, and without any the axis is the criterion's
    const bool finite =
        grid_ ? all_finite({&x_}) : all_finite({&x_, &y_, &o_.fit, &uncorrected_, &lower_, &upper_});
    if (!finite) return "trov.json holds values that are not finite numbers (written as null)";
    const Range classic_range = M_ == 0 ? range_of({&gcv_, &ocv_}) : range_of({&gcv_});
    classic_scores_ = classic_range.lo <= classic_range.hi;
    if (grid_) {
      const ScoreRange criterion = criterion_range(run_);
      if (!classic_scores_ && !criterion.any()) return "trov.json holds no finite scores to plot";
      const Range r = classic_scores_
                          ? classic_range
                          : Range{static_cast<float>(criterion.lo), static_cast<float>(criterion.hi)};
      axes_ = grid_axes(x_, r);
      add_criterion(run_, r.lo, r.hi, o_);
    } else {
      axes_ = fitted_axes(x_, run_.kind == RunKind::bootstrap ? range_of({&y_})
                              : M_ == 0                       ? range_of({&y_, &o_.fit})
                                                              : range_of({&y_, &o_.fit, &uncorrected_}));
    }
    if (axes_.xstep == 0.0f) return "all values on the horizontal axis are equal";
    if (axes_.ystep == 0.0f) return "all values on the vertical axis are equal";
    // a grid's answer comes first; at a fixed lambda the run, then the legend of what is drawn beside it
    lines_ = grid_ ? o_.notes : notes;
    lines_.insert(lines_.end(), grid_ ? notes.begin() : o_.notes.begin(),
                  grid_ ? notes.end() : o_.notes.end());
    return {};
  }

  // One pass's drawing, between setupplot and disfin.
  void draw() const {
    if (grid_)
      grid_titles();
    else
      fitted_titles();
    plotlib::graf(axes_.xa, axes_.xe, axes_.xor_, axes_.xstep, axes_.ya, axes_.ye, axes_.yor, axes_.ystep);
    plotlib::title();
    // solid lines first, then dashed, then long dashes: the drawing layer has no way back to solid
    if (grid_)
      grid_curves();
    else
      fitted_curves();
    draw_notes(lines_);
  }

 private:
  void grid_titles() const {
    plotlib::name("ln(lambda)", "X");
    plotlib::name("Score", "Y");
    plotlib::titlin("Range of lambdas", 1);
    plotlib::titlin(!classic_scores_
                        ? criterion_title(run_.recommended->criterion) + " score of the converged fits"
                    : M_ == 0 ? "GCV score (solid) and OCV score (dashed)"
                              : "GCV score",
                    3);
  }

  void fitted_titles() const {
    plotlib::name("Trait (X)", "X");
    plotlib::name(M_ == 0 ? "Fitness (Yhat)" : "Corrected fitness (YhatC)", "Y");
    plotlib::titlin(
        M_ == 0 ? "Fitness function with data points" : "Fitness function corrected for covariate", 1);
    if (run_.kind == RunKind::bootstrap)
      plotlib::titlin("dashed lines are +/- 1 standard error of prediction", 3);
    else if (!uncorrected_.empty())
      plotlib::titlin("Symbols are uncorrected predicted values", 3);
  }

  void grid_curves() const {
    curve_where(x_, gcv_, everywhere_);
    if (M_ == 0) {
      plotlib::dash();
      curve_where(x_, ocv_, everywhere_);
    }
    if (!o_.score.empty()) {
      plotlib::dashl();
      curve_where(x_, o_.score, everywhere_);
    }
  }

  void fitted_curves() const {
    const auto n = static_cast<int>(x_.size());
    plotlib::curve(x_, o_.fit, n);
    if (o_.any_classic) {
      plotlib::dash();
      curve_where(x_, o_.classic, o_.classic_shown);
    }
    if (run_.kind == RunKind::bootstrap) {
      plotlib::dashl();
      curve_where(x_, lower_, everywhere_);
      curve_where(x_, upper_, everywhere_);
    }
    plotlib::incmrk(-1);
    plotlib::hsymbl(20);
    // with a covariate and no bootstrap the symbols are the uncorrected fitted values
    plotlib::curve(x_, uncorrected_.empty() ? y_ : uncorrected_, n);
  }

  const RunDetails& run_;
  const bool grid_;
  const int M_;
  Overlay o_;
  const std::vector<float> x_, gcv_, ocv_, y_, uncorrected_, lower_, upper_;
  const std::vector<bool> everywhere_;
  bool classic_scores_ = false;  // a grid's classic scores hold finite values
  Axes axes_{};
  std::vector<PlotNote> lines_;  // above the title
};

}  // namespace

PlotOutcome plot_results(const RunDetails& run, const std::vector<PlotNote>& notes, const Options& options,
                         const std::string& lambda_origin) {
  if (!run.read) return {run.unread, {}, {}};
  Plot plot(run);
  if (std::string why = plot.scale(notes); !why.empty()) return {why, {}, {}};
  for (const Pass pass : {Pass::screen, Pass::metafile}) {
    if (auto why = setupplot(pass)) return {{}, {}, *why};
    plot.draw();
    plotlib::disfin();
  }
  PlotOutcome outcome;
  if (std::string why = write_figures(run, options, lambda_origin); !why.empty()) outcome.figures_fault = why;
  return outcome;
}

std::string plot_traits(const TraitRun& traits, const Options& options) {
  if (!traits.unread.empty()) return traits.unread;
  plotlib::show_figure(trait_scene(traits, options), (traits.surface ? "the surface of " : "the curves of ") +
                                                         std::to_string(traits.names.size()) + " traits");
  return write_trait_figures(traits, options);
}

}  // namespace trov::front
