// Whole runs of the engine (or another program) as a child process in a folder of generated data,
// timed by the CPU time of the child, which a loaded machine disturbs far less than the elapsed time.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
}

// Runs program once in dir with trov.in as standard input; returns its CPU time (user + system) in
// seconds. A run that fails ends the benchmark.
inline double cpu_seconds_of_run(const char* program, const fs::path& dir) {
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !std::freopen("trov.in", "r", stdin) ||
        !std::freopen("/dev/null", "w", stdout))
      _exit(99);
    execl(program, program, static_cast<char*>(nullptr));
    _exit(98);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace bench
