#include "frontend/engine_messages.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "engine/core/error_code.h"

namespace trov::front {

namespace {

// The advice for each fault of the one table of errors, which numbers trov.json's error_code.
struct Advice {
  ErrorCode code;
  std::string_view advice;
};
constexpr Advice kErrorAdvice[] = {
    {ErrorCode::settings, "A setting is out of the range the engine takes: the message names it."},
    {ErrorCode::data, "Every value of the data must be a finite number."},
    {ErrorCode::no_case,
     "The data file is empty, or its lines hold fewer values than one case needs: check the data file "
     "structure and the covariate choice."},
    {ErrorCode::no_variance,
     "Every point has the same Y, so there is nothing to fit: check the data file and its structure."},
    {ErrorCode::negative_y,
     "The binomial and Poisson models need Y of 0 or more; choose the normal model for such a response."},
    {ErrorCode::y_above_one,
     "Y must be a 0/1 or a proportion for the binomial model; choose Poisson for counts."},
    {ErrorCode::few_distinct_x,
     "The spline needs at least four different trait values X: check the data file and its structure."},
    {ErrorCode::counts_overflow,
     "The counts N are implausibly large: check that the last column is a count and that the structure is "
     "right."},
    {ErrorCode::too_many_levels,
     "A categorical covariate may have at most 20 levels: choose 'continuous', or merge levels."},
    {ErrorCode::design,
     "The covariate cannot be told apart from the intercept (a constant covariate, for example): check the "
     "covariate column, or choose 'none'."},
    {ErrorCode::weight_vanished, "The fit ran away at this lambda: try a larger ln(lambda)."},
    {ErrorCode::degenerate_draws,
     "Too many bootstrap samples had the same Y everywhere: the fitted curve is too close to 0 or 1 for a "
     "bootstrap at this lambda."},
    {ErrorCode::fit_not_finite,
     "The fit at this lambda holds values that are no numbers: rescale X or Y (values very near 0, or "
     "very large)."},
    {ErrorCode::stopped, "The run was stopped before its end: run it again."},
    {ErrorCode::parameter_file,
     "A setting could not be read or is refused (the message names it); the greyed fields are written "
     "too, so check them as well."},
    {ErrorCode::data_file,
     "Check the data file name (or pick the file with File > Change data file), the data file structure "
     "and the covariate choice: every value must be a number, the count N a whole number without a "
     "decimal point, and at most 10000 cases are read (pool cases with equal X into one line with a "
     "count N)."},
    {ErrorCode::options_file,
     "A choice of the dialog (saved in trov.options) does not fit this run, as the message says: change "
     "it."},
    {ErrorCode::output_file, "The disk may be full, or the folder may not be writable."},
    {ErrorCode::interrupted, "The run was interrupted: run it again."},
    {ErrorCode::engine_failure,
     "A fault of the engine itself: please report it with trov.in, trov.options and the data file."},
};

// The faults of the data file's content, where what its lines hold says more.
bool data_file_fault(int code) {
  return code == static_cast<int>(ErrorCode::no_case) || code == static_cast<int>(ErrorCode::data_file);
}

constexpr std::string_view kWarningPrefix = "Warning:";

struct WarningAdvice {
  std::string_view warning;
  std::string_view advice;
};
constexpr WarningAdvice kWarningAdvice[] = {
    {"Warning: number of lambdas (nstep) must be at least 1",
     "One fixed lambda was used: the smallest lambda."},
    {"Warning: lmin must be smaller than lmax", "The smallest and the largest lambda were exchanged."},
    {"Warning: bootstrap available only for fixed lambda",
     "The grid search ran without a bootstrap; choose 'fixed lambda' to bootstrap."},
};

}  // namespace

std::vector<std::string> settings_warnings(const std::vector<std::string>& warnings) {
  std::vector<std::string> kept;
  for (const std::string& line : warnings)
    if (line.starts_with(kWarningPrefix) && std::find(kept.begin(), kept.end(), line) == kept.end())
      kept.push_back(line);
  return kept;
}

std::vector<std::string> advice_for_warnings(const std::vector<std::string>& warnings) {
  std::vector<std::string> advice;
  for (const std::string& line : warnings)
    for (const WarningAdvice& a : kWarningAdvice)
      if (line == a.warning) advice.emplace_back(a.advice);
  return advice;
}

std::string advice_for_error(int code, const DataLines* data) {
  if (data && data_file_fault(code))
    if (std::string from_data = data_file_advice(*data); !from_data.empty()) return from_data;
  for (const Advice& a : kErrorAdvice)
    if (static_cast<int>(a.code) == code) return std::string(a.advice);
  return {};
}

std::string data_file_advice(const DataLines& d) {
  const auto line = [](int number) { return "Line " + std::to_string(number) + " of the data file"; };
  const std::string import =
      "read the table with File > Import table..., which writes a data file the engine reads.";
  if (d.first_semicolon_line > 0 || d.first_decimal_comma_line > 0)
    return line(d.first_semicolon_line > 0 ? d.first_semicolon_line : d.first_decimal_comma_line) +
           " holds " + (d.first_semicolon_line > 0 ? "semicolons" : "decimal commas") +
           ", as a spreadsheet's table does: " + import;
  if (d.header) return "The data file starts with a header line of column names: remove it, or " + import;
  if (d.first_empty_value_line > 0)
    return line(d.first_empty_value_line) +
           " holds an empty value (two commas in a row, or a comma at an end of the line): fill it in or "
           "leave the case out, or " +
           import;
  if (!d.irregular.empty() && d.irregular.front().values < d.usual_values)
    return line(d.irregular.front().number) + " holds " + std::to_string(d.irregular.front().values) +
           (d.irregular.front().values == 1 ? " value" : " values") + " where most lines hold " +
           std::to_string(d.usual_values) + ": a value is missing there.";
  if (d.first_text_line > 0)
    return line(d.first_text_line) + " holds text where a number belongs (" + d.first_text +
           "): correct it, or " + import;
  return {};
}

std::string engine_failure_text(const EngineOutcome& outcome, const std::optional<ErrorReport>& report,
                                const DataLines* data) {
  std::string text = outcome.signal != 0
                         ? "The engine was ended by signal " + std::to_string(outcome.signal) + " (" +
                               strsignal(outcome.signal) + ")."
                         : "The engine stopped with exit status " + std::to_string(outcome.exit_status) + ".";
  text += "\nNothing is plotted, and neither trov.wmf nor the copy of the results is written.";
  const std::vector<std::string>& said = report ? report->message : outcome.error_lines;
  if (!said.empty()) {
    text += report ? "\n\nThe engine's message:" : "\n\nThe engine wrote on standard error:";
    for (const std::string& line : said) text += "\n" + line;
  }
  if (const std::string advice = report ? advice_for_error(report->code, data) : ""; !advice.empty())
    text += "\n\nWhat to do:\n" + advice;
  return text;
}

}  // namespace trov::front
