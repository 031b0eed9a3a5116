#include "frontend/plots.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "frontend/figures.h"
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

}  // namespace

PlotOutcome plot_results(const RunDetails& run, const std::vector<PlotNote>& notes, const Options& options,
                         const std::string& lambda_origin) {
  if (!run.read) return {run.unread, {}, {}};
  const bool grid = run.kind == RunKind::grid;
  const int M = run.covariates;
  Overlay o = overlay_of(run);
  // the columns as the drawing layer takes them
  const std::vector<float> x = as_floats(grid ? run.grid_lnlambda : run.x);
  const std::vector<float> gcv = as_floats(run.grid_gcv), ocv = as_floats(run.grid_ocv);
  // the symbols of a fit without bootstrap with a covariate: its fitted values at each point's covariate
  const std::vector<float> y = as_floats(run.y);
  const std::vector<float> uncorrected =
      run.kind == RunKind::fitted ? as_floats(run.uncorrected) : std::vector<float>();
  const std::vector<float> lower = as_floats(run.lower), upper = as_floats(run.upper);
  const std::vector<float>& fit = o.fit;
  if (x.empty()) return {"trov.json holds no results to plot", {}, {}};
  // a grid's classic scores may stop short (a classic table that stopped): the curves have gaps there,
  // and without any the axis is the criterion's
  const bool finite = grid ? all_finite({&x}) : all_finite({&x, &y, &fit, &uncorrected, &lower, &upper});
  if (!finite) return {"trov.json holds values that are not finite numbers (written as null)", {}, {}};
  const Range classic_range = M == 0 ? range_of({&gcv, &ocv}) : range_of({&gcv});
  const bool classic_scores = classic_range.lo <= classic_range.hi;
  const ScoreRange criterion = criterion_range(run);
  if (grid && !classic_scores && !criterion.any())
    return {"trov.json holds no finite scores to plot", {}, {}};
  const auto n = static_cast<int>(x.size());
  float xa, xe, xor_, xstep, ya, ye, yor, ystep;
  if (grid) {
    const Range r = classic_scores
                        ? classic_range
                        : Range{static_cast<float>(criterion.lo), static_cast<float>(criterion.hi)};
    xstep = (x[n - 1] - x[0]) / 5.0f;
    ystep = (r.hi - r.lo) / 5.0f;
    float lo = r.lo - (r.hi - r.lo) / 20.0f;
    float hi = r.hi + (r.hi - lo) / 20.0f;  // the upper pad uses the lowered bottom
    xa = x[0], xe = x[n - 1], xor_ = x[0];
    ya = lo, ye = hi, yor = lo;
    add_criterion(run, r.lo, r.hi, o);
  } else {
    Range r = run.kind == RunKind::bootstrap ? range_of({&y})
              : M == 0                       ? range_of({&y, &fit})
                                             : range_of({&y, &fit, &uncorrected});
    xstep = (x[n - 1] - x[0]) / 5.0f;
    ystep = (r.hi - r.lo) / 5.0f;
    xa = x[0] - xstep / 10.0f, xe = x[n - 1] + xstep / 10.0f, xor_ = x[0];
    ya = r.lo - ystep / 10.0f, ye = r.hi + ystep / 10.0f, yor = r.lo;
  }
  if (xstep == 0.0f) return {"all values on the horizontal axis are equal", {}, {}};
  if (ystep == 0.0f) return {"all values on the vertical axis are equal", {}, {}};
  // a grid's answer comes first; at a fixed lambda the run, then the legend of what is drawn beside it
  std::vector<PlotNote> lines = grid ? o.notes : notes;
  lines.insert(lines.end(), grid ? notes.begin() : o.notes.begin(), grid ? notes.end() : o.notes.end());
  const std::vector<bool> everywhere(static_cast<std::size_t>(n), true);

  for (const Pass pass : {Pass::screen, Pass::metafile}) {
    if (auto why = setupplot(pass)) return {{}, {}, *why};
    if (grid) {
      plotlib::name("ln(lambda)", "X");
      plotlib::name("Score", "Y");
      plotlib::titlin("Range of lambdas", 1);
      plotlib::titlin(!classic_scores
                          ? criterion_title(run.recommended->criterion) + " score of the converged fits"
                      : M == 0 ? "GCV score (solid) and OCV score (dashed)"
                               : "GCV score",
                      3);
    } else {
      plotlib::name("Trait (X)", "X");
      plotlib::name(M == 0 ? "Fitness (Yhat)" : "Corrected fitness (YhatC)", "Y");
      plotlib::titlin(
          M == 0 ? "Fitness function with data points" : "Fitness function corrected for covariate", 1);
      if (run.kind == RunKind::bootstrap)
        plotlib::titlin("dashed lines are +/- 1 standard error of prediction", 3);
      else if (!uncorrected.empty())
        plotlib::titlin("Symbols are uncorrected predicted values", 3);
    }
    plotlib::graf(xa, xe, xor_, xstep, ya, ye, yor, ystep);
    plotlib::title();
    // solid lines first, then dashed, then long dashes: the drawing layer has no way back to solid
    if (grid) {
      curve_where(x, gcv, everywhere);
      if (M == 0) {
        plotlib::dash();
        curve_where(x, ocv, everywhere);
      }
      if (!o.score.empty()) {
        plotlib::dashl();
        curve_where(x, o.score, everywhere);
      }
    } else {
      plotlib::curve(x, fit, n);
      if (o.any_classic) {
        plotlib::dash();
        curve_where(x, o.classic, o.classic_shown);
      }
      if (run.kind == RunKind::bootstrap) {
        plotlib::dashl();
        curve_where(x, lower, everywhere);
        curve_where(x, upper, everywhere);
      }
      plotlib::incmrk(-1);
      plotlib::hsymbl(20);
      // with a covariate and no bootstrap the symbols are the uncorrected fitted values
      plotlib::curve(x, uncorrected.empty() ? y : uncorrected, n);
    }
    draw_notes(lines);
    plotlib::disfin();
  }
  PlotOutcome outcome;
  if (std::string why = write_figures(run, options, lambda_origin); !why.empty()) outcome.figures_fault = why;
  return outcome;
}

}  // namespace trov::front
