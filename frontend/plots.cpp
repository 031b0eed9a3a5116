#include "frontend/plots.h"

#include <algorithm>
#include <filesystem>
#include <span>
#include <sstream>

#include "plotlib/draw/messages.h"
#include "plotlib/draw/plotlib.h"

namespace trov::front {

namespace {

struct Range {
  float lo, hi;
};

Range range_of(std::initializer_list<const std::vector<float>*> columns, int n) {
  Range r{(*columns.begin())->front(), (*columns.begin())->front()};
  for (const auto* c : columns) {
    auto [lo, hi] = std::minmax_element(c->begin(), c->begin() + n);
    r.lo = std::min(r.lo, *lo);
    r.hi = std::max(r.hi, *hi);
  }
  return r;
}

// The three drawings of one plot: the screen, then trov.wmf and the figures (always under these names).
enum class Pass { screen, metafile, figures };

// The page layout, in plot units: the axis system and the character height of labels and titles.
constexpr int kAxisLeft = 450, kAxisBottom = 1800, kAxisWidth = 2200, kAxisHeight = 1200;
constexpr int kTextHeight = 40;
constexpr int kPageWidth = 2970;

void setupplot(Pass pass) {
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
    case Pass::figures:
      plotlib::metafl("figs");
      plotlib::setfil("trov");
      break;
  }
  plotlib::setpag("DA4L");
  plotlib::disini();
  plotlib::pagera();
  plotlib::height(kTextHeight);
  plotlib::hname(kTextHeight);
  plotlib::winfnt("Arial");
  plotlib::axspos(kAxisLeft, kAxisBottom);
  plotlib::axslen(kAxisWidth, kAxisHeight);
  plotlib::labdig(3, "XY");
  plotlib::ticks(5, "XY");
}

// The notes stand above the title in a smaller height, centred over the axis system like the title
// and kept on the page; a marked point's symbol stands before its line as the key.
constexpr int kNoteHeight = 30;
constexpr int kMarkerSize = 36;
constexpr int kKeyGap = 15;
constexpr int kTitleGap = 15;  // between the last note and the title
constexpr int kPageMargin = 40;

// A text cut to fit the width, with "..." where it was cut.
std::string fitting(std::string text, int width) {
  if (plotlib::nlmess(text) <= width) return text;
  while (!text.empty() && plotlib::nlmess(text + "...") > width) text.pop_back();
  return text + "...";
}

void draw_notes(const std::vector<PlotNote>& notes) {
  plotlib::height(kNoteHeight);
  plotlib::hsymbl(kMarkerSize);
  for (const PlotNote& note : notes)
    if (note.marker) plotlib::rlsymb(note.marker->symbol, note.marker->x, note.marker->y);
  // title line 1 has its top 7.5 title heights above the axis system
  const int title_top = kAxisBottom - kAxisHeight - kTextHeight * 15 / 2;
  const int centre = kAxisLeft + (kAxisWidth - 1) / 2;
  const int spacing = kNoteHeight * 3 / 2;
  int y = title_top - kTitleGap - static_cast<int>(notes.size()) * spacing;
  for (const PlotNote& note : notes) {
    const int key = note.marker ? kMarkerSize + kKeyGap : 0;
    const std::string text = fitting(note.text, kPageWidth - 2 * kPageMargin - key);
    const int width = key + plotlib::nlmess(text);
    int x = std::clamp(centre - width / 2, kPageMargin, kPageWidth - kPageMargin - width);
    if (note.marker) {
      plotlib::symbol(note.marker->symbol, x + kMarkerSize / 2, y + kNoteHeight / 2);
      x += key;
    }
    plotlib::messag(text, x, y);
    y += spacing;
  }
}

std::span<const float> first(const std::vector<float>& column, int n) {
  return std::span<const float>(column).first(static_cast<std::size_t>(n));
}

}  // namespace

PlotOutcome plot_results(const ResultsTable& t, int M, const std::vector<PlotNote>& notes) {
  const int n = t.n;
  using Kind = ResultsTable::Kind;
  float xa, xe, xor_, xstep, ya, ye, yor, ystep;
  if (t.kind == Kind::grid) {
    Range r = M == 0 ? range_of({&t.gcvf, &t.ocvf}, n) : range_of({&t.gcvf}, n);
    xstep = (t.lnlam[n - 1] - t.lnlam[0]) / 5.0f;
    ystep = (r.hi - r.lo) / 5.0f;
    float lo = r.lo - (r.hi - r.lo) / 20.0f;
    float hi = r.hi + (r.hi - lo) / 20.0f;  // the upper pad uses the lowered bottom
    xa = t.lnlam[0], xe = t.lnlam[n - 1], xor_ = t.lnlam[0];
    ya = lo, ye = hi, yor = lo;
  } else {
    Range r = t.kind == Kind::bootstrap ? range_of({&t.y}, n)
              : M == 0                  ? range_of({&t.y, &t.yhat}, n)
                                        : range_of({&t.y, &t.yhat, &t.ypred}, n);
    xstep = (t.x[n - 1] - t.x[0]) / 5.0f;
    ystep = (r.hi - r.lo) / 5.0f;
    xa = t.x[0] - xstep / 10.0f, xe = t.x[n - 1] + xstep / 10.0f, xor_ = t.x[0];
    ya = r.lo - ystep / 10.0f, ye = r.hi + ystep / 10.0f, yor = r.lo;
  }
  if (xstep == 0.0f) return {"all values on the horizontal axis are equal", {}};
  if (ystep == 0.0f) return {"all values on the vertical axis are equal", {}};

  // the figures are files beside trov.wmf: their pass writes nothing to the console
  std::ostringstream figure_messages;
  for (const Pass pass : {Pass::screen, Pass::metafile, Pass::figures}) {
    if (pass == Pass::figures) plotlib::set_message_stream(&figure_messages);
    setupplot(pass);
    if (t.kind == Kind::grid) {
      plotlib::name("ln(lambda)", "X");
      plotlib::name("Score", "Y");
      plotlib::titlin("Range of lambdas", 1);
      plotlib::titlin(M == 0 ? "GCV score (solid) and OCV score (dashed)" : "GCV score", 3);
    } else {
      plotlib::name("Trait (X)", "X");
      plotlib::name(M == 0 ? "Fitness (Yhat)" : "Corrected fitness (YhatC)", "Y");
      plotlib::titlin(
          M == 0 ? "Fitness function with data points" : "Fitness function corrected for covariate", 1);
      if (t.kind == Kind::bootstrap)
        plotlib::titlin("dashed lines are +/- 1 standard error of prediction", 3);
      else if (M != 0)
        plotlib::titlin("Symbols are uncorrected predicted values", 3);
    }
    plotlib::graf(xa, xe, xor_, xstep, ya, ye, yor, ystep);
    plotlib::title();
    if (t.kind == Kind::grid) {
      plotlib::curve(first(t.lnlam, n), first(t.gcvf, n), n);
      if (M == 0) {
        plotlib::dash();
        plotlib::curve(first(t.lnlam, n), first(t.ocvf, n), n);
      }
    } else {
      plotlib::curve(first(t.x, n), first(t.yhat, n), n);
      if (t.kind == Kind::bootstrap) {
        plotlib::dashl();
        plotlib::curve(first(t.x, n), first(t.yminus, n), n);
        plotlib::curve(first(t.x, n), first(t.yplus, n), n);
      }
      plotlib::incmrk(-1);
      plotlib::hsymbl(20);
      // with a covariate and no bootstrap the symbols are the uncorrected fitted values
      const auto& symbols = t.kind == Kind::fitted && M != 0 ? t.ypred : t.y;
      plotlib::curve(first(t.x, n), first(symbols, n), n);
    }
    draw_notes(notes);
    plotlib::disfin();
  }
  plotlib::set_message_stream(nullptr);
  if (figure_messages.str().find(plotlib::warning_text(36)) == std::string::npos) return {};
  // a figure that could not be written whole is no figure
  std::error_code ec;
  for (const char* figure : {"trov.png", "trov.svg", "trov.pdf"}) std::filesystem::remove(figure, ec);
  return {{}, "trov.png, trov.svg and trov.pdf could not be written in the folder"};
}

}  // namespace trov::front
