#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/list_reader.h"
#include "engine/core/error_code.h"
#include "engine/core/fit_result.h"

namespace trov {

// Every message the engine writes on the console, in one place (messages.cpp holds the texts).

// Repairs of the settings: a line on standard output, and the run goes on.
enum class Warning { nstep_below_one, lmin_not_below_lmax, bootstrap_needs_fixed_lambda };

// Faults the engine detects itself: the message on standard output, then the error stop.
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

// The lines a warning writes, each ended by a line end.
std::string warning_message(Warning warning);
// The lines a fault writes before the error stop, each ended by a line end.
std::string fault_message(Fault fault, const FaultDetails& details = {});

// The other console lines: the count of cases read, where the results go, bootstrap progress.
std::string cases_read_message(int cases);
std::string results_file_message();
std::string progress_message(int replicate);

// A line on standard error at least every few seconds of a long loop (the console's progress lines
// come every 100 replicates, which can be minutes apart): "bootstrap: 140 of 1000 replicates done".
// Items may be done on any thread.
class ProgressLines {
 public:
  explicit ProgressLines(int total) : total_(total), last_(std::chrono::steady_clock::now()) {}
  void item_done();

 private:
  std::mutex mutex_;
  int total_, done_ = 0;
  std::chrono::steady_clock::time_point last_;
};

// Writes the warning's line.
void warn(Warning warning);

// Told of every warning and fault message as it is written (the run's report records them).
class MessageListener {
 public:
  virtual void warned(const std::string& message) = 0;
  // Before the fault's message is written and the run stops.
  virtual void stopping(const std::string& message, ErrorCode code) = 0;

 protected:
  ~MessageListener() = default;
};
// The listener of the run, or null for none: the engine program's report, which hears every message.
void set_message_listener(MessageListener* listener);

// Ends the run with the fault of a fit that did not end ok; does nothing for a fit that did.
void check_fit(FitStatus status, int failed_column);
inline void check_fit(const FitResult& fit) { check_fit(fit.status, fit.failed_column); }

// Writes the fault's message and makes the error stop: the engine's one way of ending on a fault it
// detects itself.
[[noreturn]] void stop_run(Fault fault, const FaultDetails& details = {});

// A file the engine cannot open or write: `report` (one line, without its end) on standard error and
// status 2. The listener hears it first, so a report of the run says why the run ended.
[[noreturn]] void stop_on_file_error(ErrorCode code, const std::string& report);

// A statement of the parameter or data file that could not be completed: its report
// (input_fault_report) through stop_on_file_error.
[[noreturn]] void input_fault(const ListReader& reader, const ListReader::Result& result, ErrorCode code);
// Reads one statement of the parameter file (read_all) and ends the run through input_fault unless every
// item has its value.
void read_or_fail(ListReader& reader, std::initializer_list<ListReader::Target> items);

}  // namespace trov
