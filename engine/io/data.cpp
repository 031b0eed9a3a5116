#include "engine/io/data.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <numeric>
#include <string>
#include <utility>

#include "common/console.h"
#include "common/data_case.h"
#include "common/list_writer.h"
#include "engine/analysis/pooling.h"
#include "engine/io/messages.h"
#include "engine/io/report_file.h"

namespace trov {

namespace {

namespace fs = std::filesystem;

// A data file that cannot be opened is a fault of the input layer: a report and status 2.
[[noreturn]] void cannot_open(const std::string& name, const std::string& reason) {
  stop_on_file_error(ErrorCode::data_file, "Error: cannot open data file \"" + name + "\": " + reason);
}

std::string trailing_blanks_removed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace

std::string read_data_file_name(ListReader& parameters) {
  std::string line;
  ListReader::Result name_read = parameters.read_line(line);
  if (name_read.status == ListReader::Status::end_of_file)
    input_fault(parameters, name_read, ErrorCode::parameter_file);
  if (!name_read.ok()) stop_run(Fault::data_name_unreadable);
  // The whole line is the name (a picked path is often longer than 50 characters); leading blanks
  // belong to it.
  return trailing_blanks_removed(line);
}

std::optional<std::string> run_file_named(const std::string& name) {
  std::error_code ec;
  // equivalent compares device and inode, so every name of the file counts
  for (const char* own : {"trov.out", kReportFile})
    if (fs::equivalent(name, own, ec))
      return "it is " + std::string(own) + ", which the results would overwrite";
  // a temporary file of this run's report does not exist yet: its name, through any link, is enough
  const fs::path real = fs::weakly_canonical(name, ec);
  if (!ec && real.filename().string().starts_with(kReportTemporaryPrefix) &&
      fs::equivalent(real.parent_path(), fs::current_path(ec), ec))
    return "its name is one of trov.json's temporary files (" + std::string(kReportTemporaryPrefix) + "...)";
  return std::nullopt;
}

namespace {

// The file is read as ever (stored files rely on it, and a case may run over lines on purpose), so
// these go to standard error, which leaves the console and trov.out as they were.
void warn_of_lines(const DataLines& lines, int values_per_case) {
  std::cout.flush();
  if (lines.irregular_count > 0)
    std::fprintf(stderr, "Warning: lines hold different numbers of values (%s, most hold %d)\n",
                 irregular_lines_text(lines).c_str(), lines.usual_values);
  if (lines_hold_more_than_a_case(lines, values_per_case))
    std::fprintf(stderr, "Warning: %s (check the data file structure and the covariate)\n",
                 more_than_a_case_text(lines, values_per_case).c_str());
  if (lines.first_decimal_comma_line > 0)
    std::fprintf(stderr,
                 "Warning: line %d holds decimal commas between tabs or semicolons, which are read as "
                 "separators (import the table with trov-import)\n",
                 lines.first_decimal_comma_line);
}

}  // namespace

int values_per_case(const DataColumns& columns) {
  return 2 + (columns.covariate ? 1 : 0) + (columns.counts ? 1 : 0);
}

Points datin(const std::string& name, const DataColumns& columns, DataLines* lines,
             std::optional<Points>* read) {
  Points points;
  if (name.empty()) cannot_open(name, "no file name on the line after the seed");
  // Looked at before it is opened: opening a FIFO blocks until a writer comes, and a device such as
  // /dev/zero reads without end.
  std::error_code ec;
  const fs::file_status status = fs::status(name, ec);
  if (fs::is_directory(status)) cannot_open(name, "it is a directory");
  if (fs::exists(status) && !fs::is_regular_file(status)) cannot_open(name, "not a regular file");
  if (const auto own = run_file_named(name)) cannot_open(name, *own);
  std::ifstream file(name);
  if (!file) cannot_open(name, std::strerror(errno));
  // The survey of the file's lines reads it on a thread of its own while the cases are read; its
  // warnings come first, as if it had been done before, also where a fault ends the reading.
  std::future<DataLines> surveying = std::async(std::launch::async, [&name] {
    std::ifstream again(name, std::ios::binary);
    return survey_data_lines(again);
  });
  bool surveyed = false;
  const auto survey_first = [&] {
    if (std::exchange(surveyed, true)) return;
    const DataLines survey = surveying.get();
    warn_of_lines(survey, values_per_case(columns));
    if (lines) *lines = survey;
  };

  ListReader cases(file, name);
  const bool has_c = columns.covariate, has_n = columns.counts;
  int i = 0;
  while (true) {
    DataCase read;
    ListReader::Result r = read_case(cases, has_c, has_n, read);
    if (r.status == ListReader::Status::end_of_file) break;  // an incomplete last case is dropped
    // a line beyond the bound is a fault of the file, not of one case
    const int needed = values_per_case(columns);
    if (!r.ok() || r.values < needed || i == kCapacity) survey_first();
    if (r.status == ListReader::Status::unreadable) input_fault(cases, r, ErrorCode::data_file);
    // a case with an empty value (",,", "/") would keep a made-up value
    if (!r.ok() || r.values < needed)
      stop_run(Fault::case_unreadable, {.number = i + 1, .integer_hint = has_n, .covariate_hint = has_c});
    if (i == kCapacity) stop_run(Fault::too_many_cases, {.number = kCapacity});
    points.y.push_back(read.y);
    points.x.push_back(read.x);
    points.covariate.push_back(read.c);
    points.counts.push_back(has_n ? read.n : 1);
    ++i;
  }
  points.cases = i;
  survey_first();
  say(cases_read_message(points.cases));
  if (points.cases == 0) stop_run(Fault::no_complete_case);
  if (read) *read = points;
  organizedata(points, has_c);
  return points;
}

}  // namespace trov
