// What the figures add to a run: the figures a fitted run writes (curve, band and every point as a
// symbol), trov.png, trov.svg and trov.pdf, beside the pass of the same plot on the metafile device; for
// the demo data's 300 points and for the most a run takes, 10000. CPU is that of the whole process, which
// a loaded machine disturbs less than the elapsed time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "plotlib/draw/figure_layout.h"
#include "plotlib/draw/plotlib.h"
#include "tests/plotlib/sample_plot.h"

namespace {

namespace fs = std::filesystem;

// Runs `pass` with the points of the state's argument in a folder of its own.
template <typename Pass>
void in_temporary_folder(benchmark::State& state, Pass pass) {
  const fs::path dir = fs::temp_directory_path() / ("trov_bench_figures_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  for (auto _ : state) pass(static_cast<int>(state.range(0)));
  state.counters["png_kB"] =
      fs::exists("trov.png") ? static_cast<double>(fs::file_size("trov.png")) / 1e3 : 0;
  fs::current_path(before);
  fs::remove_all(dir);
}

// The fitted curve of sample_fitted_plot, its band and its points, as a run's figure.
plotlib::figure::Figure fitted_figure(int points) {
  namespace fig = plotlib::figure;
  fig::Figure figure;
  figure.x_title = "Trait (X)";
  figure.panels[0].y_title = "Fitness";
  fig::Line fit{"Fitted", {}, {}};
  fig::Band band{"+/- 1 SE", {}, {}, {}};
  fig::Points data{"Data", {}, {}, {}};
  for (int i = 0; i < points; ++i) {
    const double x = 1.0 + 6.0 * i / (points - 1), y = 1.0 / (1.0 + std::exp(-(x - 4.0)));
    fit.x.push_back(x);
    fit.y.push_back(y);
    band.x.push_back(x);
    band.lower.push_back(y - 0.12);
    band.upper.push_back(y + 0.12);
    data.x.push_back(x);
    data.y.push_back(y + 0.15 * std::sin(3.0 * x));
    data.weight.push_back(1);
  }
  figure.lines = {fit};
  figure.bands = {band};
  figure.points = {data};
  return figure;
}

void figures_pass(benchmark::State& state) {
  in_temporary_folder(state,
                      [](int points) { plotlib::figure::write_figure(fitted_figure(points), "trov"); });
}

void metafile_pass(benchmark::State& state) {
  std::ostringstream messages;  // the out-of-scaling lines of the band and the end-of-plot report
  plotlib::set_message_stream(&messages);
  in_temporary_folder(state, [&messages](int points) {
    fs::remove("trov.wmf");
    trov::test::sample_fitted_plot("WMF", "trov.wmf", points);
    messages.str("");
  });
  plotlib::set_message_stream(nullptr);
}

}  // namespace

BENCHMARK(figures_pass)
    ->Arg(300)
    ->Arg(10000)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK(metafile_pass)
    ->Arg(300)
    ->Arg(10000)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
