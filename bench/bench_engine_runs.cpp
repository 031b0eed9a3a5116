// Whole runs of the engine as a process on generated data: grid searches and bootstraps.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct RunSpec {
  int cases;
  int levels;  // 0: no covariate
  const char* nstep;
  const char* lmin;
  const char* iboot;
};

std::string field(const std::string& text) {
  std::string f = text.substr(0, 10);
  f.resize(10, ' ');
  return f;
}

// Survival 0/1 with a stabilizing selection curve; every case has its own X.
fs::path prepare(const RunSpec& spec) {
  fs::path dir = fs::temp_directory_path() / ("trov_bench_" + std::to_string(spec.cases) + "_" +
                                              std::to_string(spec.levels) + "_" + spec.nstep + "_" + spec.iboot);
  fs::create_directories(dir);
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::ofstream data(dir / "data.dat");
  for (int i = 0; i < spec.cases; ++i) {
    double x = 10.0 * (i + uniform(rng)) / spec.cases;
    int level = spec.levels ? 1 + i % spec.levels : 0;
    double eta = 1.5 - 0.25 * (x - 5) * (x - 5) + (spec.levels ? 0.05 * level : 0.0);
    int y = uniform(rng) < 1 / (1 + std::exp(-eta)) ? 1 : 0;
    data << y << ' ' << x;
    if (spec.levels) data << ' ' << level;
    data << '\n';
  }
  std::ofstream in(dir / "trov.in");
  in << field("10") << "SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY\n"
     << ' ' << (spec.levels ? 1 : 0) << "        M\n"
     << ' ' << (spec.levels ? 1 : 0) << "        catcov\n"
     << field(spec.nstep) << "nstep\n"
     << field(spec.lmin) << "lmin\n"
     << field("10") << "lmax\n"
     << field("5") << "maxit\n"
     << field("0.005") << "stop\n"
     << " 2        model\n 2        icol\n"
     << field(spec.iboot) << "iboot\n"
     << field("2387498") << "seed\n"
     << "data.dat\n";
  return dir;
}

// Runs the engine once; returns its CPU time (user + system) in seconds, which a loaded machine
// disturbs far less than the elapsed time.
double run_engine(const fs::path& dir) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !std::freopen("trov.in", "r", stdin) || !std::freopen("/dev/null", "w", stdout))
      _exit(99);
    execl(TROV40_PATH, "trov40", static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void whole_run(benchmark::State& state, RunSpec spec) {
  fs::path dir = prepare(spec);
  for (auto _ : state) state.SetIterationTime(run_engine(dir));
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK_CAPTURE(whole_run, grid21_binomial_10000, RunSpec{10000, 0, "21", "-10", "0"})->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, grid21_binomial_10000_cov20, RunSpec{10000, 20, "21", "-10", "0"})
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, boot1000_binomial_1000, RunSpec{1000, 0, "1", "0", "1000"})
    ->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(whole_run, boot100_binomial_10000_cov20, RunSpec{10000, 20, "1", "0", "100"})
    ->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(3);
