#include "engine/analysis/faults.h"

#include "common/format.h"
#include "common/list_writer.h"
#include "engine/core/settings.h"

namespace trov {

namespace {

std::string line(std::string_view text) { return ListWriter().text(text).str(); }

}  // namespace

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

std::vector<std::string> message_lines(const std::string& message) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < message.size()) {
    std::size_t end = message.find('\n', start);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(start, end - start);
    if (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace trov
