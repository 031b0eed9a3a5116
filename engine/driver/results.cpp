#include "engine/driver/results.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>
#include <vector>

#include "common/format.h"
#include "common/list_writer.h"
#include "engine/spline/links.h"

namespace trov {

namespace {

ListWriter& reals(ListWriter& w, std::span<const double> values) {
  for (double v : values) w.real(v);
  return w;
}

}  // namespace

ResultsFile::ResultsFile(const char* path) : path_(path), file_(std::fopen(path, "w")) {
  if (!file_) cannot_write();
}

ResultsFile::~ResultsFile() {
  if (file_) std::fclose(file_);
}

[[noreturn]] void ResultsFile::cannot_write() const {
  const int error = errno;
  std::cout.flush();
  std::fprintf(stderr, "Error: cannot write %s: %s\n", path_, std::strerror(error));
  std::exit(2);
}

void ResultsFile::put(const std::string& records) {
  if (std::fwrite(records.data(), 1, records.size(), file_) != records.size()) cannot_write();
}

void ResultsFile::flush() {
  if (std::fflush(file_) != 0) cannot_write();
}

void ResultsFile::close() {
  std::FILE* file = std::exchange(file_, nullptr);
  if (std::fclose(file) != 0) cannot_write();
}

void ResultsFile::header(const Settings& s, int M, long long ntot, int n, std::span<const double> levels) {
  put(ListWriter().text("No. of observations =").integer(ntot).str());
  if (M == 0) {
    put(ListWriter().text("No. of unique X-values =").integer(n).str());
  } else {
    put(ListWriter().text("No. of unique X and covariate values =").integer(n).str());
    if (s.catcov == 1) {
      ListWriter w;
      put(reals(w.text("Levels of the covariate ="), levels.first(static_cast<std::size_t>(M))).str());
    }
  }
  if (s.nstep != 1) {
    put(ListWriter().text("No. of grid steps =    ").integer(s.nstep).str());
    put(format_record("(A,2G18.6)", {" Range of lambdas =     ", s.lmin, s.lmax}));
  } else {
    put(format_record("(A,G18.6)", {" Fixed lambda =    ", s.lmin}));
  }
  if (s.model != 1) {
    put(ListWriter().text("Max no. of iterations =").integer(s.maxit).str());
    put(format_record("(A,F9.6)", {" Convergence tolerance =", s.stop}));
  }
  if (s.nstep != 1) {
    put(format_record("(/A)", {" Search for minimizer of cross validation function"}));
    if (M > 0) put(format_record("(a)", {" Covariate fitted simultaneously"}));
  }
  const char* heading = M == 0 ? " ln(lambda)   #parameters      GCV score       OCV score "
                               : " ln(lambda)   #parameters      GCV score";
  if (s.model == 1)
    put(format_record("(/A)", {heading}));
  else
    put(format_record("(/A,A)", {heading, "    #iter"}));
  flush();  // the header stays in the file whatever ends the run later
}

void ResultsFile::grid_line(const Settings& s, int M, double lnlambda, double trace, double gcv, double ocv,
                            int niter) {
  if (M == 0 && s.model == 1)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8)", {lnlambda, trace, gcv, ocv}));
  else if (M == 0)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8,i5)", {lnlambda, trace, gcv, ocv, niter}));
  else if (s.model == 1)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8)", {lnlambda, trace, gcv}));
  else
    put(format_record("(f10.5,4x,f10.5,4x,G16.8,i5)", {lnlambda, trace, gcv, niter}));
  flush();  // a grid line stays in the file whatever ends the run later
}

void ResultsFile::fitted_table(const Settings& s, int M, int n, const FittedColumns& c) {
  if (M == 0) {
    put(ListWriter().text(" ").str());
    if (s.model == 1)
      put(format_record("(A)", {"         Y          X        N        Yhat  "}));
    else if (s.model == 2)
      put(format_record("(A)", {"         Y          X        N        Yhat   ln Yhat/(1-Yhat)"}));
    else
      put(format_record("(A)", {"         Y          X        N        Yhat      ln Yhat   "}));
    for (int i = 0; i < n; ++i) {
      if (s.model == 1)
        put(format_record("(2F12.5,I6,1X,F12.5)", {c.y[i], c.x[i], c.irep[i], c.sy[i]}));
      else
        put(format_record("(2F12.5,I6,1X,2F12.5)", {c.y[i], c.x[i], c.irep[i], c.sy[i], c.snu[i]}));
    }
    return;
  }
  const auto m = static_cast<std::size_t>(M);
  put(ListWriter().text("").str());
  if (s.catcov == 1) {
    ListWriter levels_line, beta_line;
    put(reals(levels_line.text("Levels of the covariate ="), c.levels.first(m)).str());
    put(reals(beta_line.text("Covariate coefficients ="), c.beta.first(m)).str());
    put(ListWriter().text("").str());
    put(format_record("(a,a)", {" Last columns are fitted Yhats for each covariate level,", " in order:"}));
    put(format_record("(/3a12,a6,2a12,a)",
                      {" Y  ", "X   ", "Covariate", "N", "Yhat ", "YhatC", "     Fitted values ->"}));
  } else {
    put(ListWriter().text("covariate coefficients (intercept,slope):").str());
    put(ListWriter().real(c.beta[0]).real(c.beta[1]).str());
    put(format_record("(/3a12,a6,2a12)", {" Y  ", "X   ", "Covariate", "N", "Yhat ", "YhatC"}));
  }
  std::vector<FormatItem> items;
  items.reserve(6 + m);
  for (int i = 0; i < n; ++i) {
    items.assign({c.y[i], c.x[i], c.xsave[i], c.irep[i], c.sy[i], c.syc[i]});
    if (s.catcov == 1) {
      for (std::size_t j = 0; j < m; ++j) {
        // the fitted value of this point had its covariate level j
        double nu = c.nufit[i] + c.beta[j];
        items.emplace_back(s.model == 1 ? nu : nutoy(nu, s.model));
      }
      put(format_record("(3f12.5,i6,22f12.5)", items));
    } else {
      put(format_record("(3f12.5,i6,2f12.5)", items));
    }
  }
}

void ResultsFile::bootstrap_section(int M, int iboot, int ndegen, int n, const BootstrapColumns& c) {
  put(format_record("(/A)", {" Summary of bootstrap results"}));
  put(format_record("(/A,I5)", {" Number of bootstrap replications =", iboot}));
  if (ndegen > 0)
    put(format_record("(A,I5)", {" Number of times bootstrap sample of Y was degenerate = ", ndegen}));
  if (M == 0)
    put(format_record("(/9X,A,A)", {"Y          X          Yhat     Yhat-1SE", "    Yhat+1SE"}));
  else
    put(format_record("(5a12)", {"Y  ", "X  ", "YhatC", "YhatC-1SE", "YhatC+1SE"}));
  for (int i = 0; i < n; ++i)
    put(format_record("(6F12.5)", {c.yold[i], c.x[i], c.fitted[i], c.lower[i], c.upper[i]}));
}

}  // namespace trov
