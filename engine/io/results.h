#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "engine/analysis/bootstrap.h"
#include "engine/core/design.h"
#include "engine/core/fit_result.h"
#include "engine/core/points.h"
#include "engine/core/settings.h"

namespace trov {

// The bootstrap section's columns, per point: the observed Y, X, the fitted value and the band.
struct BootstrapColumns {
  std::span<const float> yold;
  std::span<const double> x;
  std::span<const float> fitted;
  std::span<const double> lower, upper;
};

// The columns of a bootstrap's outcome at its points.
inline BootstrapColumns bootstrap_columns(const BootstrapOutcome& outcome, const Points& points) {
  return {outcome.yold, points.x, outcome.fitted, outcome.lower, outcome.upper};
}

// trov.out: header, grid table, then the fitted-value table or the bootstrap section. Every line is
// written in its list-directed form or by its format, exactly as readers of the file expect. A file
// that cannot be opened, written, flushed or closed (a full disk) ends the run with a report on
// standard error and status 2; what was written stays in the file. The header and each grid line are
// flushed and checked as they are written; the fitted table and the bootstrap section are checked at
// close, so writing them never ends the run (a thread may be making trov.json beside them). `design`
// is null without covariate.
class ResultsFile {
 public:
  // Opens (creates or rewrites) the file.
  explicit ResultsFile(const char* path);
  ~ResultsFile();
  ResultsFile(const ResultsFile&) = delete;
  ResultsFile& operator=(const ResultsFile&) = delete;

  // Header lines and the heading of the grid table.
  void header(const Settings& s, const Design* design, std::int64_t ntot, int n);
  void grid_line(const Settings& s, const Design* design, double lnlambda, const FitResult& fit);
  void fitted_table(const Settings& s, const Points& points, const Design* design, const FitResult& fit);
  void bootstrap_section(const Settings& s, bool covariate, int ndegen, const BootstrapColumns& columns);

  // Closes the file after the last section.
  void close();

 private:
  void put(const std::string& records);
  void flush();
  [[noreturn]] void cannot_write(int error) const;
  const char* path_;
  std::FILE* file_;
  int write_error_ = 0;  // errno of the first write that failed
};

}  // namespace trov
