#pragma once

// What the package's bindings share (bindings.cpp for one trait and many, traits.cpp for several at
// once): the R settings as the library's, its refusals as R lists, R vectors and data frames, and the
// library's calls under R's Ctrl-C.

#include <Rcpp.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/api/trov.h"
#include "engine/api/watched.h"

namespace trov_r {

namespace api = trov::api;
using Rcpp::_;

inline constexpr const char* kModels[] = {"normal", "binomial", "poisson"};
inline constexpr const char* kCriteria[] = {"reml", "ml", "gcv", "ubre", "ocv"};
inline constexpr const char* kBootstrapLambdas[] = {"fixed", "reselected"};
inline constexpr const char* kBootstrapTypes[] = {"parametric", "cases"};

// A setting the R call gives in a type the library cannot take, or one the library refuses.
struct Refused {
  api::Error error;
};

[[noreturn]] void refuse(const std::string& text);
double number(SEXP value, const std::string& setting);
int whole(SEXP value, const std::string& setting);
bool flag(SEXP value, const std::string& setting);

// The settings the R call names; every other one keeps the library's default (workers: every processor).
api::Settings settings_from(const Rcpp::List& given, int& workers);
Rcpp::List settings_list(const api::Settings& s, int workers);

std::vector<double> doubles(const Rcpp::NumericVector& v);

template <typename T, typename F>
Rcpp::NumericVector column(const std::vector<T>& rows, F member) {
  Rcpp::NumericVector v(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) v[i] = member(rows[i]);
  return v;
}

// Columns of one length as an R data frame (without R's data.frame()).
Rcpp::List data_frame(Rcpp::List columns);

Rcpp::List error_list(const api::Error& error);

// The peak of a fitted function: inside, its location per trait (a frame, rows named by the traits;
// NULL unless inside), its height (estimate, se, p, lower, upper) and the replicates that had one.
Rcpp::List peak_list(const api::Peak& p, const std::vector<std::string>& traits);

bool r_interrupted();

// The library's call on a thread of its own, while R's thread (the only one that may touch R) waits
// and watches for Ctrl-C every 50 ms, which stops the analysis. An interrupted call ends as R's own
// loops do: with R's interrupt, signalled once the C++ code has been left (Rcpp's exception for it).
template <typename Call>
auto interruptible(const Call& call) {
  auto [result, interrupted] = api::run_watched(call, r_interrupted, std::chrono::milliseconds(50));
  if (interrupted) throw Rcpp::internal::InterruptedException();
  return result;
}

}  // namespace trov_r
