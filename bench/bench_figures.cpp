// What the figures add to a run: the pass of a fitted plot (curve, band and every point as a symbol) on
// the figure device, which writes trov.png, trov.svg and trov.pdf, beside the same pass on the metafile
// device; for the demo data's 300 points and for the most a run takes, 10000. CPU is that of the whole
// process (the PNG is rendered on a thread of its own), which a loaded machine disturbs less than the
// elapsed time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "plotlib/draw/plotlib.h"
#include "tests/plotlib/sample_plot.h"

namespace {

namespace fs = std::filesystem;

void plot_pass(benchmark::State& state, const char* device, const char* file) {
  const fs::path dir = fs::temp_directory_path() / ("trov_bench_figures_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  std::ostringstream messages;  // the out-of-scaling lines of the band and the end-of-plot report
  plotlib::set_message_stream(&messages);
  for (auto _ : state) {
    fs::remove("trov.wmf");
    trov::test::sample_fitted_plot(device, file, static_cast<int>(state.range(0)));
    messages.str("");
  }
  plotlib::set_message_stream(nullptr);
  state.counters["png_kB"] =
      fs::exists("trov.png") ? static_cast<double>(fs::file_size("trov.png")) / 1e3 : 0;
  fs::current_path(before);
  fs::remove_all(dir);
}

void figures_pass(benchmark::State& state) { plot_pass(state, "FIGS", "trov"); }
void metafile_pass(benchmark::State& state) { plot_pass(state, "WMF", "trov.wmf"); }

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
