#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "engine/driver/settings.h"

namespace trov {

// trov.out: header, grid table, then the fitted-value table or the bootstrap section. Every line is
// written in its list-directed form or by its format, exactly as readers of the file expect. A file that
// cannot be opened, written, flushed or closed (a full disk) ends the run with a report on standard error
// and status 2; what was written stays in the file.
class ResultsFile {
 public:
  // Opens (creates or rewrites) the file.
  explicit ResultsFile(const char* path);
  ~ResultsFile();
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;

  // Header lines and the heading of the grid table. M counts design columns (0: no covariate);
  // levels holds the M covariate levels of a categorical covariate.
  void header(const Settings& s, int M, long long ntot, int n, std::span<const double> levels);
  void grid_line(const Settings& s, int M, double lnlambda, double trace, double gcv, double ocv, int niter);

  struct FittedColumns {
    std::span<const double> y, x, xsave;
    std::span<const int> irep;
    std::span<const double> sy, snu, syc, nufit, beta, levels;
  };
  void fitted_table(const Settings& s, int M, int n, const FittedColumns& c);

  struct BootstrapColumns {
    std::span<const float> yold;
    std::span<const double> x;
    std::span<const float> fitted;
    std::span<const double> lower, upper;
  };
  void bootstrap_section(int M, int iboot, int ndegen, int n, const BootstrapColumns& c);

  // Closes the file after the last section.
  void close();

 private:
  void put(const std::string& records);
  void flush();
  [[noreturn]] void cannot_write() const;
  const char* path_;
  std::FILE* file_;
};

}  // namespace trov
