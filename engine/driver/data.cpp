#include "engine/driver/data.h"

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

#include "common/data_case.h"
#include "common/list_writer.h"
#include "engine/driver/messages.h"
#include "engine/driver/report_file.h"

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

template <typename T>
void permute(std::vector<T>& values, std::span<const int> perm, int count, int offset) {
  std::vector<T> copy(values.begin() + offset, values.begin() + offset + count);
  for (int i = 0; i < count; ++i)
    values[static_cast<std::size_t>(offset + i)] = copy[static_cast<std::size_t>(perm[i])];
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

int values_per_case(const Settings& settings) {
  return 2 + (settings.covariates == 1 ? 1 : 0) + (settings.counts_column ? 1 : 0);
}

Points datin(const std::string& name, const Settings& settings, DataLines* lines,
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
    warn_of_lines(survey, values_per_case(settings));
    if (lines) *lines = survey;
  };

  ListReader cases(file, name);
  const bool has_c = settings.covariates == 1, has_n = settings.counts_column;
  int i = 0;
  while (true) {
    DataCase read;
    ListReader::Result r = read_case(cases, has_c, has_n, read);
    if (r.status == ListReader::Status::end_of_file) break;  // an incomplete last case is dropped
    // a line beyond the bound is a fault of the file, not of one case
    const int needed = values_per_case(settings);
    if (!r.ok() || r.values < needed || i == kCapacity) survey_first();
    if (r.status == ListReader::Status::unreadable) input_fault(cases, r, ErrorCode::data_file);
    // a case with an empty value (",,", "/") would keep a made-up value
    if (!r.ok() || r.values < needed)
      stop_run(Fault::case_unreadable, {.number = i + 1, .integer_hint = has_n, .covariate_hint = has_c});
    if (i == kCapacity) stop_run(Fault::too_many_cases, {.number = kCapacity});
    points.y.push_back(read.y);
    points.x.push_back(read.x);
    points.covariate.push_back(read.c);
    points.irep.push_back(has_n ? read.n : 1);
    ++i;
  }
  points.nraw = i;
  survey_first();
  say(cases_read_message(points.nraw));
  if (points.nraw == 0) stop_run(Fault::no_complete_case);
  if (read) *read = points;
  organizedata(points, has_c);
  return points;
}

void dpsort(std::span<const double> values, int count, std::span<int> perm, const std::atomic<bool>* stop) {
  std::iota(perm.begin(), perm.begin() + count, 0);
  const auto less = [&](int a, int b) { return values[a] < values[b]; };
  constexpr int kBlock = 1 << 20;
  if (!stop || count <= kBlock) {
    std::stable_sort(perm.begin(), perm.begin() + count, less);
    return;
  }
  // blocks sorted, then merged pairwise (stable, so the order is stable_sort's), the stop looked at
  // between them
  const auto check = [&] {
    if (stop->load(std::memory_order_relaxed)) throw RunStopped{};
  };
  const std::int64_t total = count;
  const auto at = [&](std::int64_t k) {
    return perm.begin() + static_cast<std::ptrdiff_t>(std::min(k, total));
  };
  for (std::int64_t first = 0; first < total; first += kBlock) {
    std::stable_sort(at(first), at(first + kBlock), less);
    check();
  }
  for (std::int64_t width = kBlock; width < total; width *= 2)
    for (std::int64_t first = 0; first + width < total; first += 2 * width) {
      std::inplace_merge(at(first), at(first + width), at(first + 2 * width), less);
      check();
    }
}

void organizedata(Points& p, bool covariate, const std::atomic<bool>* stop) {
  const int nraw = p.nraw;
  std::vector<int> perm(static_cast<std::size_t>(nraw));
  dpsort(p.x, nraw, perm, stop);
  permute(p.y, perm, nraw, 0);
  permute(p.x, perm, nraw, 0);
  permute(p.covariate, perm, nraw, 0);
  permute(p.irep, perm, nraw, 0);
  if (covariate) {  // within each run of equal X, order the cases by their covariate value
    for (int start = 0; start < nraw;) {
      int end = start + 1;
      while (end < nraw && p.x[end] == p.x[start]) ++end;
      int length = end - start;
      dpsort(std::span<const double>(p.covariate).subspan(static_cast<std::size_t>(start)), length, perm);
      permute(p.covariate, perm, length, start);
      permute(p.y, perm, length, start);
      permute(p.irep, perm, length, start);
      start = end;
    }
  }
  for (int i = 0; i < nraw; ++i) p.irep[i] = std::max(p.irep[i], 1);

  int n = 0;
  for (int start = 0; start < nraw;) {
    int end = start + 1;
    while (end < nraw && p.x[end] == p.x[start] && (!covariate || p.covariate[end] == p.covariate[start]))
      ++end;
    double y = p.y[start];
    long long total = p.irep[start];
    if (end - start > 1) {  // a group of one case keeps its Y unchanged
      double sum = p.irep[start] * p.y[start];
      for (int k = start + 1; k < end; ++k) {
        sum += p.irep[k] * p.y[k];
        total += p.irep[k];
      }
      if (total > INT_MAX) throw RunFault{.fault = Fault::counts_overflow};
      y = sum / static_cast<double>(total);
      for (int k = start; k < end; ++k) p.spread += p.irep[k] * ((p.y[k] - y) * (p.y[k] - y));
    }
    p.x[n] = p.x[start];
    p.covariate[n] = p.covariate[start];
    p.y[n] = y;
    p.irep[n] = static_cast<int>(total);
    ++n;
    start = end;
  }
  p.n = n;
  for (auto* column : {&p.x, &p.y, &p.covariate}) column->resize(static_cast<std::size_t>(n));
  p.irep.resize(static_cast<std::size_t>(n));
}

bool vartest(std::span<const double> y, int n) {
  for (int i = 1; i < n; ++i)
    if (y[i] != y[0]) return false;
  return true;
}

void check_points(const Points& p, Model model) {
  // one point pools every case: its X, not its Y, is what cannot vary
  if (p.n == 1 || vartest(p.x, p.n)) throw RunFault{.fault = Fault::constant_trait};
  if (vartest(p.y, p.n)) throw RunFault{.fault = Fault::no_variance};
  if (model != Model::normal) {
    for (int i = 0; i < p.n; ++i) {
      if (p.y[i] < 0) throw RunFault{.fault = Fault::negative_y};
      if (model == Model::binomial && p.y[i] > 1) throw RunFault{.fault = Fault::binomial_y_above_one};
    }
  }
  int distinct = 1;
  for (int i = 1; i < p.n; ++i)
    if (p.x[i] != p.x[i - 1]) ++distinct;
  if (distinct < 4) throw RunFault{.fault = Fault::too_few_distinct_x};
}

}  // namespace trov
