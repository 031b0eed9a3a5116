#include "engine/io/results.h"

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "common/format.h"
#include "common/list_writer.h"
#include "common/results_text.h"
#include "engine/io/messages.h"
#include "engine/spline/links.h"

namespace trov {

namespace text = results_text;

namespace {

ListWriter& reals(ListWriter& w, std::span<const double> values) {
  for (double v : values) w.real(v);
  return w;
}

}  // namespace

ResultsFile::ResultsFile(const char* path) : path_(path), file_(std::fopen(path, "w")) {
  if (!file_) cannot_write(errno);
}

ResultsFile::~ResultsFile() {
  if (file_) std::fclose(file_);
}

[[noreturn]] void ResultsFile::cannot_write(int error) const {
  stop_on_file_error(ErrorCode::output_file,
                     "Error: cannot write " + std::string(path_) + ": " + std::strerror(error));
}

void ResultsFile::put(const std::string& records) {
  if (std::fwrite(records.data(), 1, records.size(), file_) != records.size() && write_error_ == 0)
    write_error_ = errno;
}

void ResultsFile::flush() {
  if (write_error_ != 0) cannot_write(write_error_);
  if (std::fflush(file_) != 0) cannot_write(errno);
}

void ResultsFile::close() {
  std::FILE* file = std::exchange(file_, nullptr);
  const int closed = std::fclose(file);
  if (write_error_ != 0) cannot_write(write_error_);
  if (closed != 0) cannot_write(errno);
}

void ResultsFile::header(const Settings& s, const Design* design, std::int64_t ntot, int n) {
  put(ListWriter().text(text::observations).integer(ntot).str());
  if (!design) {
    put(ListWriter().text(text::unique_x).integer(n).str());
  } else {
    put(ListWriter().text(text::unique_x_and_covariate).integer(n).str());
    if (design->categorical) {
      ListWriter w;
      put(reals(w.text(text::levels),
                std::span(design->levels).first(static_cast<std::size_t>(design->columns)))
              .str());
    }
  }
  if (s.grid()) {
    put(ListWriter().text(text::grid_steps).integer(s.grid_points).str());
    put(format_record("(A,2G18.6)", {text::range, s.lnlambda_min, s.lnlambda_max}));
  } else {
    put(format_record("(A,G18.6)", {text::fixed_lambda, *s.lnlambda}));
  }
  if (s.model != Model::normal) {
    put(ListWriter().text(text::max_iterations).integer(s.maxit).str());
    put(format_record("(A,F9.6)", {text::tolerance, s.stop}));
  }
  if (s.grid()) {
    put(format_record("(/A)", {text::search}));
    if (design) put(format_record("(a)", {text::covariate_fitted}));
  }
  const std::string_view heading = design ? text::grid_heading_covariate : text::grid_heading;
  if (s.model == Model::normal)
    put(format_record("(/A)", {heading}));
  else
    put(format_record("(/A,A)", {heading, text::iterations_column}));
  flush();  // the header stays in the file whatever ends the run later
}

void ResultsFile::grid_line(const Settings& s, const Design* design, double lnlambda, const FitResult& fit) {
  if (!design && s.model == Model::normal)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8)", {lnlambda, fit.trace, fit.gcv, fit.ocv}));
  else if (!design)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8,i5)",
                      {lnlambda, fit.trace, fit.gcv, fit.ocv, fit.iterations}));
  else if (s.model == Model::normal)
    put(format_record("(f10.5,4x,f10.5,4x,2G16.8)", {lnlambda, fit.trace, fit.gcv}));
  else
    put(format_record("(f10.5,4x,f10.5,4x,G16.8,i5)", {lnlambda, fit.trace, fit.gcv, fit.iterations}));
  flush();  // a grid line stays in the file whatever ends the run later
}

void ResultsFile::fitted_table(const Settings& s, const Points& points, const Design* design,
                               const FitResult& fit) {
  const int n = points.n;
  if (!design) {
    put(ListWriter().text(" ").str());
    if (s.model == Model::normal)
      put(format_record("(A)", {text::fitted_heading_normal}));
    else if (s.model == Model::binomial)
      put(format_record("(A)", {text::fitted_heading_binomial}));
    else
      put(format_record("(A)", {text::fitted_heading_poisson}));
    for (int i = 0; i < n; ++i) {
      if (s.model == Model::normal)
        put(format_record("(2F12.5,I6,1X,F12.5)", {points.y[i], points.x[i], points.counts[i], fit.mean[i]}));
      else
        put(format_record("(2F12.5,I6,1X,2F12.5)",
                          {points.y[i], points.x[i], points.counts[i], fit.mean[i], fit.eta[i]}));
    }
    return;
  }
  const auto m = static_cast<std::size_t>(design->columns);
  const std::span<const double> levels = std::span(design->levels).first(m),
                                beta = std::span(fit.beta).first(m);
  put(ListWriter().text("").str());
  if (design->categorical) {
    ListWriter levels_line, beta_line;
    put(reals(levels_line.text(text::levels), levels).str());
    put(reals(beta_line.text(text::coefficients), beta).str());
    put(ListWriter().text("").str());
    put(format_record("(a,a)", {text::level_columns, text::in_order}));
    put(format_record("(/3a12,a6,2a12,a)",
                      {" Y  ", "X   ", "Covariate", "N", "Yhat ", "YhatC", text::fitted_values_arrow}));
  } else {
    put(ListWriter().text(text::continuous_coefficients).str());
    put(ListWriter().real(beta[0]).real(beta[1]).str());
    put(format_record("(/3a12,a6,2a12)", {" Y  ", "X   ", "Covariate", "N", "Yhat ", "YhatC"}));
  }
  std::vector<FormatItem> items;
  items.reserve(6 + m);
  for (int i = 0; i < n; ++i) {
    items.assign({points.y[i], points.x[i], points.covariate[i], points.counts[i], fit.mean[i],
                  fit.corrected_mean[i]});
    if (design->categorical) {
      for (std::size_t j = 0; j < m; ++j) {
        // the fitted value of this point had its covariate level j
        double nu = fit.spline_eta[i] + beta[j];
        items.emplace_back(s.model == Model::normal ? nu : nutoy(nu, s.model));
      }
      put(format_record("(3f12.5,i6,22f12.5)", items));
    } else {
      put(format_record("(3f12.5,i6,2f12.5)", items));
    }
  }
}

void ResultsFile::bootstrap_section(const Settings& s, bool covariate, int ndegen,
                                    const BootstrapColumns& c) {
  put(format_record("(/A)", {text::bootstrap_summary}));
  put(format_record("(/A,I5)", {text::replications, s.bootstrap}));
  if (ndegen > 0) put(format_record("(A,I5)", {text::degenerate, ndegen}));
  if (!covariate)
    put(format_record("(/9X,A,A)", {text::bootstrap_heading_start, text::bootstrap_heading_end}));
  else
    put(format_record("(5a12)", {"Y  ", "X  ", "YhatC", "YhatC-1SE", "YhatC+1SE"}));
  for (std::size_t i = 0; i < c.x.size(); ++i)
    put(format_record("(6F12.5)", {c.yold[i], c.x[i], c.fitted[i], c.lower[i], c.upper[i]}));
}

}  // namespace trov
