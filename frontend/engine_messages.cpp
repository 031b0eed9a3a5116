#include "frontend/engine_messages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/report_keys.h"
#include "common/settings_warnings.h"
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
    {ErrorCode::traits_file,
     "The table of several traits (traits_file in trov.options) does not fit this run, or its traits cannot "
     "be analysed, as the message says: import the table again (File > Import table) or mend it."},
};

// The faults of the data file's content, where what its lines hold says more.
bool data_file_fault(int code) {
  return code == static_cast<int>(ErrorCode::no_case) || code == static_cast<int>(ErrorCode::data_file);
}

// The advice for each setting the engine repaired, told by the engine's own text of its warning.
struct WarningAdvice {
  std::string_view warning;
  std::string_view advice;
};
constexpr WarningAdvice kWarningAdvice[] = {
    {settings_warning::nstep_below_one, "One fixed lambda was used: the smallest lambda."},
    {settings_warning::lmin_not_below_lmax, "The smallest and the largest lambda were exchanged."},
    {settings_warning::bootstrap_needs_fixed_lambda,
     "The grid search ran without a bootstrap; choose 'fixed lambda' to bootstrap."},
};

namespace kind = report_keys::warning_kind;
constexpr std::string_view kClassicKinds[] = {kind::not_converged, kind::bootstrap_not_converged,
                                              kind::classic_differs, kind::classic_gcv_minimum_differs,
                                              kind::classic_inaccurate};

bool name_character(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }

bool number_start(std::string_view text, std::size_t at) {
  const auto digit = [&](std::size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  if (at > 0 && (name_character(text[at - 1]) || digit(at - 1) || text[at - 1] == '.')) return false;
  if (text[at] == '-') ++at;
  return digit(at) || (text[at] == '.' && digit(at + 1));
}

// The number of significant digits of a number's text (its mantissa without leading zeros).
int significant_digits(std::string_view number) {
  int count = 0;
  bool leading = true;
  for (char c : number) {
    if (c == 'e' || c == 'E') break;
    if (c < '0' || c > '9') continue;
    if (leading && c == '0') continue;
    leading = false;
    ++count;
  }
  return count;
}

}  // namespace

std::string_view warning_kind(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  const std::string_view word = line.substr(0, colon);
  return std::all_of(word.begin(), word.end(), name_character) ? word : std::string_view();
}

std::string_view warning_words(std::string_view line) {
  const std::string_view kind = warning_kind(line);
  std::string_view words = kind.empty() ? line : line.substr(kind.size() + 1);
  words.remove_prefix(std::min(words.find_first_not_of(' '), words.size()));
  return words;
}

std::string warning_text(std::string_view line) { return rounded_numbers(warning_words(line)); }

bool about_classic_fits(std::string_view kind) {
  return std::find(std::begin(kClassicKinds), std::end(kClassicKinds), kind) != std::end(kClassicKinds);
}

std::string rounded_numbers(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    if (!number_start(text, at)) {
      out += text[at++];
      continue;
    }
    const std::string rest(text.substr(at));
    char* end = nullptr;
    const double value = std::strtod(rest.c_str(), &end);
    const auto length = static_cast<std::size_t>(end - rest.c_str());
    const std::string_view number = text.substr(at, length);
    at += length;
    // whole numbers (counts, line numbers) stay as they are
    const bool fraction = number.find_first_of(".eE") != std::string_view::npos;
    if (!fraction || significant_digits(number) <= 6 || !std::isfinite(value)) {
      out += number;
      continue;
    }
    char shortest[32];
    const auto single = static_cast<float>(value);
    if (static_cast<double>(single) == value) {
      out.append(shortest, std::to_chars(shortest, shortest + sizeof shortest, single).ptr);
    } else {
      std::snprintf(shortest, sizeof shortest, "%.4g", value);
      out += shortest;
    }
  }
  return out;
}

std::string number_text(double value) {
  char text[32];
  return rounded_numbers(std::string_view(text, std::to_chars(text, text + sizeof text, value).ptr));
}

std::vector<std::string> settings_warnings(const std::vector<std::string>& warnings) {
  std::vector<std::string> kept;
  for (const std::string& line : warnings)
    if (warning_kind(line) == kind::settings && std::find(kept.begin(), kept.end(), line) == kept.end())
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
