#include "frontend/plots.h"

#include <algorithm>
#include <filesystem>
#include <span>

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

// Pass 1 draws on the screen, pass 2 into trov.wmf (always under that name).
void setupplot(int pass) {
  if (pass == 1) {
    plotlib::metafl("xwin");
  } else {
    std::error_code ec;
    std::filesystem::remove("trov.wmf", ec);
    plotlib::metafl("wmf");
    plotlib::setfil("trov.wmf");
  }
  plotlib::setpag("DA4L");
  plotlib::disini();
  plotlib::pagera();
  plotlib::height(40);
  plotlib::hname(40);
  plotlib::winfnt("Arial");
  plotlib::axspos(450, 1800);
  plotlib::axslen(2200, 1200);
  plotlib::labdig(3, "XY");
  plotlib::ticks(5, "XY");
}

std::span<const float> first(const std::vector<float>& column, int n) {
  return std::span<const float>(column).first(static_cast<std::size_t>(n));
}

}  // namespace

std::string plot_results(const ResultsTable& t, int M) {
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
  if (xstep == 0.0f) return "all values on the horizontal axis are equal";
  if (ystep == 0.0f) return "all values on the vertical axis are equal";

  for (int pass = 1; pass <= 2; ++pass) {
    setupplot(pass);
    if (t.kind == Kind::grid) {
      plotlib::name("ln(lambda)", "X");
      plotlib::name("Score", "Y");
      plotlib::titlin("Range of lambdas", 1);
      plotlib::titlin(M == 0 ? "GCV score (solid) and OCV score (dotted)" : "GCV score", 3);
    } else {
      plotlib::name("Trait (X)", "X");
      plotlib::name(M == 0 ? "Fitness (Yhat)" : "Corrected fitness (YhatC)", "Y");
      plotlib::titlin(M == 0 ? "Fitness function with data points" : "Fitness function corrected for covariate", 1);
      if (t.kind == Kind::bootstrap)
        plotlib::titlin("dotted lines are +/- 1 standard error of prediction", 3);
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
    plotlib::disfin();
  }
  return {};
}

}  // namespace trov::front
