// Whole runs of the engine (or another program) as a child process in a folder of generated data,
// timed by the CPU time of the child, which a loaded machine disturbs far less than the elapsed time.
#pragma once

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace bench {

namespace fs = std::filesystem;

// The settings written to trov.in, as texts of their 10-column fields.
struct Parameters {
  int covariates = 0;  // 0 or 1
  int categorical = 0;
  const char* nstep = "21";
  const char* lmin = "-10";
  const char* lmax = "10";
  int model = 2;
  const char* iboot = "0";
  const char* options = nullptr;  // the text of trov.options, where there is one
};

inline std::string field(const std::string& text) {
  std::string f = text.substr(0, 10);
  f.resize(10, ' ');
  return f;
}

inline void write_parameter_file(const fs::path& dir, const Parameters& p) {
  std::ofstream in(dir / "trov.in");
  in << field("10") << "SAVE FIRST 10 COLUMNS OF THIS FILE FOR PARAMETERS ONLY\n"
     << ' ' << p.covariates << "        M\n"
     << ' ' << p.categorical << "        catcov\n"
     << field(p.nstep) << "nstep\n"
     << field(p.lmin) << "lmin\n"
     << field(p.lmax) << "lmax\n"
     << field("5") << "maxit\n"
     << field("0.005") << "stop\n"
     << ' ' << p.model << "        model\n 2        icol\n"
     << field(p.iboot) << "iboot\n"
     << field("2387498") << "seed\n"
     << "data.dat\n";
  if (p.options) std::ofstream(dir / "trov.options") << p.options;
}

// Survival 0/1 along a stabilizing selection curve, every case at its own X (increasing), with a
// categorical covariate of `levels` levels (0: none) that shifts the curve a little: case(y, x, level)
// for each case in turn.
template <class Case>
void survival_cases(int cases, int levels, Case&& case_at) {
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (int i = 0; i < cases; ++i) {
    const double x = 10.0 * (i + uniform(rng)) / cases;
    const int level = levels ? 1 + i % levels : 0;
    const double eta = 1.5 - 0.25 * (x - 5) * (x - 5) + 0.05 * level;
    case_at(uniform(rng) < 1 / (1 + std::exp(-eta)) ? 1 : 0, x, level);
  }
}

// A folder of the system's temporary directory holding a run of those survival data and trov.in with
// the given settings.
inline fs::path prepare_run(const std::string& name, int cases, int levels, const Parameters& parameters) {
  const fs::path dir = fs::temp_directory_path() / ("trov_bench_" + name);
  fs::create_directories(dir);
  std::ofstream data(dir / "data.dat");
  survival_cases(cases, levels, [&](int y, double x, int level) {
    data << y << ' ' << x;
    if (levels) data << ' ' << level;
    data << '\n';
  });
  write_parameter_file(dir, parameters);
  return dir;
}

// The times of one run of a program.
struct RunTimes {
  double cpu;      // user + system, which a loaded machine disturbs far less than the elapsed time
  double elapsed;  // wall-clock
};

// The processors of the machine that are online.
inline int online_processors() { return std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN))); }

// Processor number meaning every online processor.
inline constexpr int kEveryProcessor = -1;

// Restricts the calling thread (and the processes it starts) to one processor, or to every online
// processor: set either way, so a benchmark started under taskset still compares one with all.
inline bool run_on(int processor) {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (processor == kEveryProcessor)
    for (int p = 0; p < online_processors(); ++p) CPU_SET(p, &set);
  else
    CPU_SET(processor, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

// Starts program in dir with trov.in as standard input, on that processor alone or on every one.
inline pid_t start_run(const char* program, const fs::path& dir, int processor) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!run_on(processor)) _exit(97);
    // the console and the bootstrap's progress lines are not the benchmark's output
    if (chdir(dir.c_str()) != 0 || !std::freopen("trov.in", "r", stdin) ||
        !std::freopen("/dev/null", "w", stdout) || !std::freopen("/dev/null", "w", stderr))
      _exit(99);
    execl(program, program, static_cast<char*>(nullptr));
    _exit(98);
  }
  return pid;
}

// Waits for a run that start_run began: its CPU time in seconds. A run that fails ends the benchmark.
inline double cpu_seconds_when_done(pid_t pid) {
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs program once in dir with trov.in as standard input, on processor 0 only when one_processor is
// set (as taskset -c 0 does), else on every online processor.
inline RunTimes times_of_run(const char* program, const fs::path& dir, bool one_processor = false) {
  const auto start = std::chrono::steady_clock::now();
  const double cpu = cpu_seconds_when_done(start_run(program, dir, one_processor ? 0 : kEveryProcessor));
  return {cpu, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
}

// Its CPU time in seconds.
inline double cpu_seconds_of_run(const char* program, const fs::path& dir) {
  return times_of_run(program, dir).cpu;
}

}  // namespace bench
