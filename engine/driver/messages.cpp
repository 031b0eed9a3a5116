#include "engine/driver/messages.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/error_stop.h"
#include "common/format.h"
#include "common/list_writer.h"
#include "common/settings_warnings.h"
#include "engine/driver/settings.h"

namespace trov {

namespace {

MessageListener* listener = nullptr;

std::string line(std::string_view text) { return ListWriter().text(text).str(); }

}  // namespace

std::string warning_message(Warning warning) {
  switch (warning) {
    case Warning::nstep_below_one:
      return line(settings_warning::nstep_below_one);
    case Warning::lmin_not_below_lmax:
      return line(settings_warning::lmin_not_below_lmax);
    case Warning::bootstrap_needs_fixed_lambda:
      return line(settings_warning::bootstrap_needs_fixed_lambda);
  }
  return {};
}

std::string fault_message(Fault fault, const FaultDetails& details) {
  switch (fault) {
    case Fault::parameter_count:
      return line("Error: line 1 of the parameter file must hold 10, the number of parameter lines");
    case Fault::seed_not_positive:
      return line("Error: random number seed must be > 0");
    case Fault::seed_too_large:
      return line("Error: random number seed must be < 2147483647");
    case Fault::two_covariates:
      return line("Error: program can handle only 1 covariate");
    case Fault::model_unknown:
      return line("Error: model must be 1 (normal), 2 (binomial) or 3 (Poisson)");
    case Fault::maxit_below_one:
      return line("Error: maxit must be at least 1 in binomial and Poisson models");
    case Fault::nstep_too_large:
      return line("Error: nstep must be at most 10000");
    case Fault::iboot_too_large:
      return line("Error: iboot must be at most 100000");
    case Fault::lnlambda_out_of_range:
      return line("Error: ln(lambda) must lie between -" + std::to_string(kMostLnLambda) + " and " +
                  std::to_string(kMostLnLambda));
    case Fault::maxit_too_large:
      return line("Error: maxit must be at most 1000");
    case Fault::data_name_unreadable:
      return format_record("(/A)", {" Error reading data filename from input file"});
    case Fault::too_many_cases:
      return ListWriter()
          .text("Error: program cannot handle more than ")
          .integer(details.number)
          .text(" cases")
          .str();
    case Fault::case_unreadable: {
      std::string message =
          format_record("(/A,I4)", {" Error when reading data from input file, line# = ", details.number});
      if (details.integer_hint)
        message += "\n Possible remedy:\n Program expects an integer in last column (no decimel points)\n";
      if (details.covariate_hint)
        message += "\n Possible remedy:\n Covariate must be a number, cannot be a character\n";
      return message;
    }
    case Fault::no_complete_case:
      return line("Error: the data file holds no complete case");
    case Fault::no_variance:
      return line("Error: Y has no variance");
    case Fault::negative_y:
      return line("Error: Y cannot be negative in binomial and Poisson models");
    case Fault::binomial_y_above_one:
      return line("Error: Y cannot be greater than 1 in binomial model");
    case Fault::too_few_distinct_x:
      return line("Error: fewer than 4 distinct X values; the spline needs at least 4");
    case Fault::constant_trait:
      return line("Error: X has no variance: every case has the same trait value");
    case Fault::counts_overflow:
      return line("Error: the counts N of one point add up to more than 2147483647");
    case Fault::too_many_levels: {
      const auto count = static_cast<std::int64_t>(details.levels.size());
      std::string message = ListWriter()
                                .text("Program can't handle more than")
                                .integer(count)
                                .text("levels for covariate")
                                .str();
      message += ListWriter().text("First").integer(count).text("levels:").str();
      ListWriter list;
      for (double level : details.levels) list.real(level);
      return message + list.str();
    }
    case Fault::design_not_positive_definite:
      return line("X'X is not positive-definite") +
             ListWriter().text("Row number").integer(details.number).str();
    case Fault::design_ill_conditioned:
      return line("X'X is too ill-conditioned") +
             ListWriter().text("Row number").integer(details.number).str();
    case Fault::weight_vanished:
      return format_record("(//A)", {" Program crashed (GLM weight is zero)"});
    case Fault::too_many_degenerate:
      return line("Too many degenerate random samples (> #bootstraps)");
    case Fault::fit_not_finite:
      return line("Error: the fit is not finite (NaN or infinite); it cannot be bootstrapped");
    case Fault::fit_values_not_finite:
      return line("Error: the fit is not finite (NaN or infinite); rescale X or Y");
  }
  return {};
}

std::string cases_read_message(int cases) {
  return format_record("(/1X,I4,A/)", {cases, " cases read from file"});
}

std::string results_file_message() { return line("Results will be written to file TROV.OUT"); }

std::string progress_message(int replicate) { return ListWriter().integer(replicate).str(); }

void ProgressLines::item_done() {
  constexpr auto kInterval = std::chrono::seconds(2);
  std::lock_guard lock(mutex_);
  ++done_;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kInterval) return;
  last_ = now;
  std::fprintf(stderr, "bootstrap: %d of %d replicates done\n", done_, total_);
}

void warn(Warning warning) {
  const std::string message = warning_message(warning);
  if (listener) listener->warned(message);
  say(message);
}

void set_message_listener(MessageListener* message_listener) { listener = message_listener; }

ErrorCode error_code(Fault fault) {
  switch (fault) {
    case Fault::no_complete_case:
      return ErrorCode::no_case;
    case Fault::no_variance:
      return ErrorCode::no_variance;
    case Fault::negative_y:
      return ErrorCode::negative_y;
    case Fault::binomial_y_above_one:
      return ErrorCode::y_above_one;
    case Fault::too_few_distinct_x:
    case Fault::constant_trait:
      return ErrorCode::few_distinct_x;
    case Fault::counts_overflow:
      return ErrorCode::counts_overflow;
    case Fault::too_many_levels:
      return ErrorCode::too_many_levels;
    case Fault::design_not_positive_definite:
    case Fault::design_ill_conditioned:
      return ErrorCode::design;
    case Fault::weight_vanished:
      return ErrorCode::weight_vanished;
    case Fault::too_many_degenerate:
      return ErrorCode::degenerate_draws;
    case Fault::fit_not_finite:
    case Fault::fit_values_not_finite:
      return ErrorCode::fit_not_finite;
    case Fault::data_name_unreadable:
    case Fault::too_many_cases:
    case Fault::case_unreadable:
      return ErrorCode::data_file;
    default:  // the settings of the parameter file
      return ErrorCode::parameter_file;
  }
}

std::optional<RunFault> fit_fault(FitStatus status, int failed_column) {
  switch (status) {
    case FitStatus::ok:
      break;
    case FitStatus::weight_vanished:
      return RunFault{.fault = Fault::weight_vanished};
    case FitStatus::design_not_positive_definite:
      return RunFault{.fault = Fault::design_not_positive_definite, .number = failed_column};
    case FitStatus::design_ill_conditioned:
      return RunFault{.fault = Fault::design_ill_conditioned, .number = failed_column};
  }
  return std::nullopt;
}

void check_fit(FitStatus status, int failed_column) {
  if (const auto fault = fit_fault(status, failed_column)) stop_run(fault->fault, fault->details());
}

void stop_run(Fault fault, const FaultDetails& details) {
  const std::string message = fault_message(fault, details);
  if (listener) listener->stopping(message, error_code(fault));
  say(message);
  error_stop();
}

void stop_on_file_error(ErrorCode code, const std::string& report) {
  if (listener) listener->stopping(report + "\n", code);
  std::cout.flush();
  std::fprintf(stderr, "%s\n", report.c_str());
  std::exit(2);
}

void input_fault(const ListReader& reader, const ListReader::Result& result, ErrorCode code) {
  stop_on_file_error(code, input_fault_report(reader, result));
}

void read_or_fail(ListReader& reader, std::initializer_list<ListReader::Target> items) {
  if (const ListReader::Result r = read_all(reader, items); !r.ok())
    input_fault(reader, r, ErrorCode::parameter_file);
}

}  // namespace trov
