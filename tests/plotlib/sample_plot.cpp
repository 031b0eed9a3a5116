#include "tests/plotlib/sample_plot.h"

#include <cmath>
#include <vector>

#include "plotlib/draw/plotlib.h"

namespace trov::test {
namespace {

void setup(std::string_view device, std::string_view file) {
  plotlib::metafl(device);
  if (!file.empty()) plotlib::setfil(file);
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

}  // namespace

void sample_grid_plot(std::string_view device, std::string_view file) {
  std::vector<float> lnlam, gcv, ocv;
  for (int i = 0; i <= 20; ++i) {
    const float l = -5.0f + 0.5f * static_cast<float>(i);
    lnlam.push_back(l);
    gcv.push_back(0.2f + 0.01f * (l - 1.0f) * (l - 1.0f));
    ocv.push_back(0.21f + 0.012f * (l - 0.5f) * (l - 0.5f));
  }
  const int n = static_cast<int>(lnlam.size());
  float lo = gcv[0], hi = gcv[0];
  for (int i = 0; i < n; ++i) {
    lo = std::fmin(lo, std::fmin(gcv[i], ocv[i]));
    hi = std::fmax(hi, std::fmax(gcv[i], ocv[i]));
  }
  const float xstep = (lnlam[n - 1] - lnlam[0]) / 5.0f;
  const float ystep = (hi - lo) / 5.0f;
  lo = lo - (hi - lo) / 20.0f;
  hi = hi + (hi - lo) / 20.0f;

  setup(device, file);
  plotlib::name("ln(lambda)", "X");
  plotlib::name("Score", "Y");
  plotlib::titlin("Range of lambdas", 1);
  plotlib::titlin("GCV score (solid) and OCV score (dashed)", 3);
  plotlib::graf(lnlam[0], lnlam[n - 1], lnlam[0], xstep, lo, hi, lo, ystep);
  plotlib::title();
  plotlib::curve(lnlam, gcv, n);
  plotlib::dash();
  plotlib::curve(lnlam, ocv, n);
  plotlib::disfin();
}

void sample_fitted_plot(std::string_view device, std::string_view file, int points) {
  std::vector<float> x, y, yhat, yminus, yplus;
  for (int i = 0; i < points; ++i) {
    const float xi = 1.0f + 6.0f * static_cast<float>(i) / static_cast<float>(points - 1);
    const float fit = 1.0f / (1.0f + std::exp(-(xi - 4.0f)));
    x.push_back(xi);
    yhat.push_back(fit);
    y.push_back(fit + 0.15f * std::sin(3.0f * xi));
    yminus.push_back(fit - 0.12f);
    yplus.push_back(fit + 0.12f);
  }
  const int n = static_cast<int>(x.size());
  float lo = y[0], hi = y[0];
  for (const float v : y) {
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
  }
  const float xstep = (x[n - 1] - x[0]) / 5.0f;
  const float ystep = (hi - lo) / 5.0f;

  setup(device, file);
  plotlib::name("Trait (X)", "X");
  plotlib::name("Fitness (Yhat)", "Y");
  plotlib::titlin("Fitness function with data points", 1);
  plotlib::titlin("dashed lines are +/- 1 standard error of prediction", 3);
  plotlib::graf(x[0] - xstep / 10.0f, x[n - 1] + xstep / 10.0f, x[0], xstep, lo - ystep / 10.0f,
                hi + ystep / 10.0f, lo, ystep);
  plotlib::title();
  plotlib::curve(x, yhat, n);
  plotlib::dashl();
  plotlib::curve(x, yminus, n);
  plotlib::curve(x, yplus, n);
  plotlib::incmrk(-1);
  plotlib::hsymbl(20);
  plotlib::curve(x, y, n);
  plotlib::disfin();
}

}  // namespace trov::test
