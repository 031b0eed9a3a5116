#include "frontend/engine_messages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <string_view>

namespace trov::front {

namespace {

// The line without its outer blanks, runs of blanks inside squeezed to one.
std::string squeezed(std::string_view line) {
  std::string out;
  for (char c : line) {
    const bool blank = c == ' ' || c == '\t' || c == '\r';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The pause of an error stop talks to a terminal; in a window there is nobody to answer it.
constexpr std::array<std::string_view, 5> kPauseLines = {
    "PAUSE statement executed", "To resume execution, type go. Other input will terminate the job.",
    "Execution resumes after PAUSE.", "STOP", "s_paus: can't open con!"};

struct Advice {
  std::string_view prefix;  // the start of an engine line, blanks squeezed
  std::string_view advice;
};

// A line takes the advice of the first entry that matches it; the remedies the engine prints after a
// read error come on lines of their own.
constexpr Advice kAdvice[] = {
    {"Program expects an integer in last column",
     "The count N in the last column must be a whole number without a decimal point; if the data file has "
     "no count column, choose the structure 'Y X [C]'."},
    {"Covariate must be a number",
     "The covariate must be a number: code its categories as numbers, or choose 'none' under Covariate "
     "information when the data have no covariate column."},
    {"Error when reading data from input file",
     "That case of the data file holds text where a number belongs: correct it, or check the data file "
     "structure."},
    {"Error: cannot open data file",
     "Check the data file name, or pick the file with File > Change data file."},
    {"Error reading data filename", "Give the name of the data file."},
    {"Error: the data file holds no complete case",
     "The data file is empty, or its lines hold fewer values than one case needs: check the data file "
     "structure and the covariate choice."},
    {"Error: program cannot handle more than",
     "At most 10000 cases can be read: pool cases with equal X into one line with a count N (structure "
     "'Y X [C] N')."},
    {"Error: Y has no variance",
     "Every point has the same Y, so there is nothing to fit: check the data file and its structure."},
    {"Error: Y cannot be negative",
     "The binomial and Poisson models need Y of 0 or more; choose the normal model for such a response."},
    {"Error: Y cannot be greater than 1",
     "Y must be a 0/1 or a proportion for the binomial model; choose Poisson for counts."},
    {"Error: fewer than 4 distinct X values",
     "The spline needs at least four different trait values X: check the data file and its structure."},
    {"Error: the counts N of one point",
     "The counts N are implausibly large: check that the last column is a count and that the structure is "
     "right."},
    {"Program can't handle more than",
     "A categorical covariate may have at most 20 levels: choose 'continuous', or merge levels."},
    {"X'X is",
     "The covariate cannot be told apart from the intercept (a constant covariate, for example): check the "
     "covariate column, or choose 'none'."},
    {"Program crashed (GLM weight is zero)", "The fit ran away at this lambda: try a larger ln(lambda)."},
    {"Too many degenerate random samples",
     "Too many bootstrap samples had the same Y everywhere: the fitted curve is too close to 0 or 1 for a "
     "bootstrap at this lambda."},
    {"Error: random number seed must be", "Give a random number seed from 1 to 2147483646."},
    {"Error: maxit must be at least 1", "Set maximum no. iterations to 1 or more."},
    {"Error reading the parameter file",
     "A field holds something the engine cannot read as a number; the greyed fields are written too, so "
     "check them as well."},
    {"Error: cannot write", "The disk may be full, or the folder may not be writable."},
    {"Warning: number of lambdas (nstep) must be at least 1",
     "One fixed lambda was used: the smallest lambda."},
    {"Warning: lmin must be smaller than lmax", "The smallest and the largest lambda were exchanged."},
    {"Warning: bootstrap available only for fixed lambda",
     "The grid search ran without a bootstrap; choose 'fixed lambda' to bootstrap."},
};

// The line starts with the prefix, and a number in the prefix is not the start of a longer one.
bool begins_with(const std::string& text, std::string_view prefix) {
  return text.starts_with(prefix) &&
         (text.size() == prefix.size() || !std::isdigit(static_cast<unsigned char>(text[prefix.size()])));
}

bool is_pause_line(const std::string& line) {
  return std::find(kPauseLines.begin(), kPauseLines.end(), line) != kPauseLines.end();
}

}  // namespace

std::vector<std::string> engine_messages(const std::vector<std::string>& lines, std::size_t most) {
  std::vector<std::string> messages;
  for (const std::string& line : lines)
    if (std::string text = squeezed(line); !text.empty() && !is_pause_line(text)) messages.push_back(text);
  if (messages.size() > most)
    messages.erase(messages.begin(), messages.end() - static_cast<std::ptrdiff_t>(most));
  return messages;
}

std::vector<std::string> engine_warnings(const std::vector<std::string>& lines) {
  std::vector<std::string> warnings;
  for (const std::string& line : lines)
    if (line.starts_with(" Warning:") &&
        std::find(warnings.begin(), warnings.end(), line.substr(1)) == warnings.end())
      warnings.push_back(line.substr(1));
  return warnings;
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

std::vector<std::string> advice_for(const std::vector<std::string>& lines, const DataLines* data) {
  const std::string from_data = data ? data_file_advice(*data) : std::string();
  std::vector<std::string> advice;
  for (const std::string& line : lines) {
    const std::string text = squeezed(line);
    for (const Advice& a : kAdvice)
      if (begins_with(text, a.prefix)) {
        const bool unreadable = a.prefix.starts_with("Error when reading data") ||
                                a.prefix.starts_with("Error: the data file holds no complete case");
        const std::string said = unreadable && !from_data.empty() ? from_data : std::string(a.advice);
        if (std::find(advice.begin(), advice.end(), said) == advice.end()) advice.push_back(said);
        break;
      }
  }
  return advice;
}

std::string engine_failure_text(const EngineOutcome& outcome, const DataLines* data) {
  std::string text = outcome.signal != 0
                         ? "The engine was ended by signal " + std::to_string(outcome.signal) + " (" +
                               strsignal(outcome.signal) + ")."
                         : "The engine stopped with exit status " + std::to_string(outcome.exit_status) + ".";
  text += "\nNothing is plotted, and neither trov.wmf nor the copy of the results is written.";
  const std::vector<std::string> said = engine_messages(outcome.lines);
  if (!said.empty()) {
    text += "\n\nThe engine's message:";
    for (const std::string& line : said) text += "\n" + line;
  }
  const std::vector<std::string> advice = advice_for(outcome.lines, data);
  if (!advice.empty()) {
    text += "\n\nWhat to do:";
    for (const std::string& line : advice) text += "\n" + line;
  }
  return text;
}

}  // namespace trov::front
