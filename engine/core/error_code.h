#pragma once

namespace trov {

// Why an analysis or a run of the engine program ended without its results: one numbered table for
// the library's error values and the "error_code" of trov.json's error reports.
enum class ErrorCode {
  settings = 1,           // a setting out of its range
  data = 2,               // data columns of different lengths, or a value that is not finite
  no_case = 3,            // no case
  no_variance = 4,        // Y has no variance
  negative_y = 5,         // Y below 0 (binomial, Poisson)
  y_above_one = 6,        // binomial Y above 1
  few_distinct_x = 7,     // fewer than 4 distinct X
  counts_overflow = 8,    // the counts of one point overflow
  too_many_levels = 9,    // a categorical covariate with too many levels
  design = 10,            // the covariate's design cannot be solved
  weight_vanished = 11,   // a fit ran away: a weight vanished
  degenerate_draws = 12,  // too many bootstrap draws without variance
  fit_not_finite = 13,    // a fit whose values are not numbers cannot be bootstrapped
  stopped = 14,           // the caller stopped the analysis
  // the engine program's own: its files
  parameter_file = 15,  // trov.in cannot be read or holds a refused setting
  data_file = 16,       // the data file cannot be opened or read, or holds a case that cannot be read
  options_file = 17,    // trov.options cannot be read or holds a fault
  output_file = 18,     // trov.out or trov.json cannot be written
  interrupted = 19,     // the program was interrupted by a signal
  engine_failure = 20,  // a fault of the engine itself
  traits_file = 21,     // the table of several traits (trov.options' traits_file) cannot be read, or its
                        // analysis is refused
};

}  // namespace trov
