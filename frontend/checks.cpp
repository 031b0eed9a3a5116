#include "frontend/checks.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "common/data_lines.h"
#include "common/list_reader.h"
#include "common/parameter_lines.h"
#include "common/written_files.h"
#include "frontend/dialog.h"
#include "frontend/run_files.h"

namespace trov::front {

namespace {

enum class NumberKind {
  real,
  whole,    // read as a real, but the engine needs a whole number
  integer,  // read as an integer: digits only
};

struct NumberField {
  std::string_view label;
  const std::string* text;
  NumberKind kind;
  std::string_view example;  // what the field takes, as the message shows it
};

// The fields that go to the engine and can be typed in with this option and model.
std::vector<NumberField> active_number_fields(const DialogValues& v) {
  std::vector<NumberField> fields;
  if (v.iopt == 1)
    fields = {
        {label::fixed, &v.lmin, NumberKind::real, "an ln(lambda) such as 4 or -2.5"},
        {label::boot, &v.iboot, NumberKind::whole, "a count of replicates such as 0, 100 or 1000"},
        {label::seed, &v.seed, NumberKind::integer, "a whole number from 1 to 2147483646, such as 2387498"}};
  else
    fields = {{label::smallest, &v.lmin, NumberKind::real, "an ln(lambda) such as -10 or -2.5"},
              {label::largest, &v.lmax, NumberKind::real, "an ln(lambda) such as 10 or 2.5"},
              {label::number, &v.nstep_text, NumberKind::whole, "a count of lambdas such as 21"}};
  if (v.model != 1) {
    fields.push_back({label::tolerance, &v.stop, NumberKind::real, "a small number such as 0.005 or 1e-3"});
    fields.push_back(
        {label::iterations, &v.maxit, NumberKind::whole, "a count of iterations such as 5 or 50"});
  }
  return fields;
}

// Reads the text as the engine reads a value, asking for a second value: only a lone number leaves
// the reader at the end of the text for it; anything after the number is read or refused.
template <typename T>
ListReader::Result read_lone_number(const std::string& text, T& value) {
  std::istringstream in(text);
  ListReader reader(in, "field");
  T after{};
  const ListReader::Result r = reader.read({&value, &after});
  if (r.status == ListReader::Status::end_of_file) return {};
  if (r.ok()) return {ListReader::Status::fault, "more than one value"};
  return r;
}

bool is_overflow(const ListReader::Result& r) { return r.fault.ends_with("overflow"); }

// What is wrong with the text of a number field, as the end of a sentence that starts with its label.
std::optional<std::string> number_fault(const std::string& text, const NumberField& field) {
  const NumberKind kind = field.kind;
  const std::string typed = without_trailing_blanks(text);
  if (typed.size() > kFieldColumns) return "is longer than the 10 characters trov.in holds for it.";
  if (typed.find_first_not_of(" \t") == std::string::npos)
    return "is empty: it needs " + std::string(field.example) + ".";
  // separators, the end of input and repeat counts of the free form: never part of one number
  const std::string one_number = "must hold one number: " + std::string(field.example) + ".";
  if (typed.find_first_of(",/*") != std::string::npos) return one_number;
  float value = 0;
  if (ListReader::Result r = read_lone_number(typed, value); !r.ok())
    return is_overflow(r) ? "holds a number too large for the engine." : one_number;
  if (kind == NumberKind::integer) {
    int whole = 0;
    if (ListReader::Result r = read_lone_number(typed, whole); !r.ok())
      return is_overflow(r) ? "holds a number too large for the engine."
                            : "must be a whole number written without a decimal point or exponent: " +
                                  std::string(field.example) + ".";
  }
  if (kind == NumberKind::whole && value != std::trunc(value))
    return "must be a whole number: " + std::string(field.example) + ".";
  return std::nullopt;
}

// The parts one after the other, for message texts.
std::string joined(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text += part;
  return text;
}

int values_on(const std::string& line) {
  int count = 0;
  bool in_value = false;
  for (char c : line) {
    const bool separator = c == ' ' || c == '\t' || c == ',' || c == '\r';
    if (!separator && !in_value) ++count;
    in_value = !separator;
  }
  return count;
}

}  // namespace

std::optional<std::string> number_field_fault(const DialogValues& v) {
  for (const NumberField& field : active_number_fields(v))
    if (std::optional<std::string> fault = number_fault(*field.text, field))
      return joined({"\"", field.label, "\" ", *fault, "\nYou typed: ", without_trailing_blanks(*field.text),
                     "\nNothing has been run."});
  return std::nullopt;
}

std::optional<std::string> file_name_fault(const DialogValues& v) {
  if (const std::string_view own = run_file_named(v.datfil); !own.empty())
    return joined(
        {"The data file \"", v.datfil, "\" is ", own,
         ", which trovwin replaces or deletes at every run.\nCopy the data under another name and give "
         "that name. Nothing has been run."});
  if (v.outfil.empty() || same_file(v.outfil, "trov.out")) return std::nullopt;  // no copy
  if (const std::string_view own = run_file_named(v.outfil); !own.empty())
    return joined(
        {"The output file name \"", v.outfil, "\" is ", own,
         ", which trovwin writes itself.\nChoose another name for the copy of the results. Nothing has "
         "been run."});
  if (same_file(v.outfil, v.datfil))
    return joined(
        {"The output file name \"", v.outfil,
         "\" is the data file: the copy of the results would replace the data.\nChoose another name. "
         "Nothing has been run."});
  // the copies of trov.wmf, trov.json and the figures under the same stem
  for (const ResultCopy& copy : result_copies(v.outfil)) {
    if (copy.source == "trov.out" || same_file(copy.target, copy.source)) continue;
    const std::string target = copy.target.string();
    if (same_file(copy.target, v.outfil))
      return joined({"The output file name \"", v.outfil, "\" ends in ", copy.target.extension().string(),
                     ", which the copy of ", copy.source,
                     " takes.\nChoose a name with another ending (such as .out). Nothing has been run."});
    if (const std::string_view own = run_file_named(copy.target); !own.empty())
      return joined(
          {"The copy of ", copy.source, " would be \"", target, "\", which is ", own,
           ", a file trovwin writes itself.\nChoose another output file name. Nothing has been run."});
    if (same_file(copy.target, v.datfil))
      return joined({"The copy of ", copy.source, " would be \"", target,
                     "\", the data file.\nChoose another output file name. Nothing has been run."});
  }
  return std::nullopt;
}

std::optional<std::string> structure_mismatch(const DialogValues& v) {
  constexpr int kLinesLooked = 20;
  std::ifstream file(v.datfil);
  int common = 0, looked = 0;
  for (std::string line; looked < kLinesLooked && std::getline(file, line);) {
    const int values = values_on(line);
    if (values == 0) continue;
    if (common != 0 && values != common) return std::nullopt;
    common = values;
    ++looked;
  }
  const int needed = 2 + (v.M > 0 ? 1 : 0) + (v.icol == 1 ? 1 : 0);
  if (common == 0 || common == needed) return std::nullopt;
  const std::string_view covariate = v.M == 0        ? "no covariate"
                                     : v.catcov == 0 ? "a continuous covariate"
                                                     : "a categorical covariate";
  std::string text =
      joined({std::filesystem::path(v.datfil).filename().string(), " has ", std::to_string(common),
              common == 1 ? " value" : " values", " on each line;\n'", v.icol == 1 ? "Y X [C] N" : "Y X [C]",
              "' with ", covariate, " reads ", std::to_string(needed), " per case"});
  text += common > needed ? ", so the rest of each line would be ignored."
                          : ", so each case would take values from the next line.";
  return text +
         "\n\nRun anyway, or go back to the dialog and choose the structure and covariate that fit the file?";
}

std::optional<std::string> data_lines_question(const DialogValues& v) {
  const std::optional<DataLines> lines = survey_data_file(v.datfil);
  if (!lines) return std::nullopt;
  const std::string name = std::filesystem::path(v.datfil).filename().string();
  const std::string import =
      "read the table with File > Import table..., which writes a data file the engine reads";
  if (lines->first_decimal_comma_line > 0)
    return joined({name, ": line ", std::to_string(lines->first_decimal_comma_line),
                   " holds decimal commas between tabs or semicolons, which the engine reads as separators "
                   "between values.\n\nGo back and ",
                   import, ", or run anyway."});
  if (lines->irregular_count == 0) return std::nullopt;
  return joined(
      {name, ": lines hold different numbers of values (", irregular_lines_text(*lines), ", most hold ",
       std::to_string(lines->usual_values),
       ").\nThe engine reads a case over a line break, so a line with a value too few (an empty cell, "
       "a missing value) makes every later case take a value of the next line.\n\nGo back and correct "
       "those lines, or ",
       import, "; run anyway only if cases run over lines on purpose."});
}

std::optional<std::string> replace_question(const DialogValues& v) {
  if (v.outfil.empty() || same_file(v.outfil, "trov.out")) return std::nullopt;
  std::string names;
  for (const ResultCopy& copy : result_copies(v.outfil))
    if (!same_file(copy.target, copy.source) && !replaceable(copy.target))
      names += "\n    " + copy.target.string();
  if (names.empty()) return std::nullopt;
  return "The output file name \"" + v.outfil + "\" would replace files that trovwin did not write:" + names +
         "\n\nReplace them with this run's results?";
}

}  // namespace trov::front
