#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/core/error_code.h"
#include "engine/core/fit_result.h"

namespace trov {

// Faults the analysis detects itself: the library returns them as errors, the engine program writes
// their message on standard output and makes the error stop.
enum class Fault {
  parameter_count,
  seed_not_positive,
  seed_too_large,
  two_covariates,
  model_unknown,
  maxit_below_one,
  nstep_too_large,
  iboot_too_large,
  lnlambda_out_of_range,
  maxit_too_large,
  data_name_unreadable,
  too_many_cases,
  case_unreadable,  // number: the case; hints by integer_hint and covariate_hint
  no_complete_case,
  no_variance,
  negative_y,
  binomial_y_above_one,
  too_few_distinct_x,
  constant_trait,  // every case at one X: pooled into one point, whose Y cannot vary
  counts_overflow,
  too_many_levels,               // levels: the first ones met
  design_not_positive_definite,  // number: the design column
  design_ill_conditioned,        // number: the design column
  weight_vanished,
  too_many_degenerate,
  fit_not_finite,         // at the fixed lambda of a bootstrap
  fit_values_not_finite,  // at the fixed lambda of a run without bootstrap
};

// What some faults name besides their text.
struct FaultDetails {
  std::int64_t number = 0;
  bool integer_hint = false;
  bool covariate_hint = false;
  std::span<const double> levels{};
};

// A fault found where the run computes, which has no say on how the run ends: the library turns it
// into an error value, the engine program into its message and the error stop.
struct RunFault {
  Fault fault;
  std::int64_t number = 0;
  bool integer_hint = false;
  bool covariate_hint = false;
  std::vector<double> levels{};

  FaultDetails details() const { return {number, integer_hint, covariate_hint, levels}; }
};
// An analysis ended early because its caller asked it to stop.
struct RunStopped {};

// The error code of a fault.
ErrorCode error_code(Fault fault);

// The fault of a fit that did not end ok; none for a fit that did.
std::optional<RunFault> fit_fault(FitStatus status, int failed_column);

// The lines of a fault's message, each ended by a line end: the words the engine program writes before
// the error stop and the library's error text.
std::string fault_message(Fault fault, const FaultDetails& details = {});

// A message's lines without their leading blank, blank lines left out: as trov.json gives them.
std::vector<std::string> message_lines(const std::string& message);

}  // namespace trov
