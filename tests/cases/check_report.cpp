// Checks that trov.json agrees with trov.out to the digits trov.out prints: every number of the header,
// the grid table and the fitted-value or bootstrap table, written from trov.json with the field's own
// edit descriptor, must give the same text. A JSON null must stand where trov.out shows a word
// (NaN, Infinity). For a run that ended in an error stop, trov.json must say so with the message, and its
// status is "ok" exactly when the run ended with status 0.
// Usage: check_report TROV.OUT TROV.JSON CONSOLE STATUS (CONSOLE: standard output and error)
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/format.h"
#include "common/list_writer.h"
#include "common/options_file.h"

namespace {

using Json = nlohmann::json;

std::vector<std::string> lines_of(const char* path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int failures = 0;

void fail(const std::string& what) {
  std::cout << "trov.json disagrees with trov.out: " << what << "\n";
  ++failures;
}

// One edit descriptor: its kind ('F', 'G', 'I' or 'X' for blanks) and width.
struct Field {
  char kind;
  int width;
  int decimals = 0;
};

std::string edit(const Field& field, const Json& value) {
  if (field.kind == 'I') return trov::edit_i(value.get<std::int64_t>(), field.width);
  const double v = value.get<double>();
  return field.kind == 'F' ? trov::edit_f(v, field.width, field.decimals)
                           : trov::edit_g(v, field.width, field.decimals);
}

// Compares one table line with the values, field by field.
void compare_line(const std::string& line, const std::vector<Field>& layout, const std::vector<Json>& values,
                  const std::string& where) {
  std::size_t column = 0, item = 0;
  for (const Field& field : layout) {
    const std::string text =
        line.substr(std::min(column, line.size()), static_cast<std::size_t>(field.width));
    column += static_cast<std::size_t>(field.width);
    if (field.kind == 'X') continue;
    const Json& value = values.at(item++);
    if (value.is_null()) {
      if (text.find_first_of("0123456789") != std::string::npos)
        fail(where + ": null where trov.out shows " + text);
    } else if (edit(field, value) != text) {
      fail(where + ": '" + text + "' in trov.out, '" + edit(field, value) + "' from trov.json");
    }
  }
}

std::size_t find_line(const std::vector<std::string>& lines, const std::string& start, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i)
    if (lines[i].rfind(start, 0) == 0) return i;
  return lines.size();
}

void check_header(const std::vector<std::string>& out, const Json& report) {
  const Json& data = report["data"];
  const Json& settings = report["settings"];
  auto expect_line = [&](const std::string& line) {
    if (find_line(out, line) == out.size()) fail("no line '" + line + "' in trov.out");
  };
  auto first_line = [](const std::string& records) { return records.substr(0, records.find('\n')); };
  expect_line(first_line(trov::ListWriter()
                             .text("No. of observations =")
                             .integer(data["observations"].get<std::int64_t>())
                             .str()));
  if (data.contains("levels")) {
    trov::ListWriter levels;
    levels.text("Levels of the covariate =");
    for (double v : data["levels"]) levels.real(v);
    expect_line(first_line(levels.str()));
  }
  if (settings["nstep"].get<int>() != 1) {
    const std::string range = trov::format_record(
        "(A,2G18.6)",
        {" Range of lambdas =     ", settings["lmin"].get<double>(), settings["lmax"].get<double>()});
    expect_line(first_line(range));
  } else {
    const std::string fixed =
        trov::format_record("(A,G18.6)", {" Fixed lambda =    ", settings["lmin"].get<double>()});
    expect_line(first_line(fixed));
  }
}

void check_tables(const std::vector<std::string>& out, const Json& report) {
  const bool covariate = report["settings"]["covariates"].get<int>() == 1;
  const bool glm = report["settings"]["model"] != "normal";
  const std::size_t heading = find_line(out, " ln(lambda)");
  const Json& grid = report["grid"];
  std::vector<Field> layout = {{'F', 10, 5}, {'X', 4}, {'F', 10, 5}, {'X', 4}, {'G', 16, 8}};
  if (!covariate) layout.push_back({'G', 16, 8});
  if (glm) layout.push_back({'I', 5});
  // rows from the one whose classic fit stopped the run on have no classic numbers and no line
  const Json& stopped = report["diagnostics"].value("classic_stopped", Json());
  for (std::size_t k = 0; k < grid.size(); ++k) {
    const Json& row = grid[k];
    if (stopped.is_object() && row["lnlambda"].get<double>() >= stopped["lnlambda"].get<double>()) {
      if (!row["trace"].is_null() || !row["gcv"].is_null())
        fail("a grid row after the classic stop has classic numbers");
      continue;
    }
    std::vector<Json> values = {row["lnlambda"], row["trace"], row["gcv"]};
    if (!covariate) values.push_back(row["ocv"]);
    if (glm) values.push_back(row["iterations"]);
    if (heading + 1 + k >= out.size()) {
      fail("trov.json has more grid rows than trov.out");
      return;
    }
    compare_line(out[heading + 1 + k], layout, values, "grid row " + std::to_string(k + 1));
  }
  if (report.contains("fit")) {
    const std::size_t table = find_line(out, "         Y", heading);
    const Json& points = report["fit"]["points"];
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Json& p = points[i];
      std::vector<Field> row = {{'F', 12, 5}, {'F', 12, 5}};
      std::vector<Json> values = {p["y"], p["x"]};
      if (covariate) row.push_back({'F', 12, 5}), values.push_back(p["c"]);
      row.push_back({'I', 6});
      values.push_back(p["n"]);
      if (!covariate) row.push_back({'X', 1});
      row.push_back({'F', 12, 5});
      values.push_back(p["yhat"]);
      if (!covariate && glm) row.push_back({'F', 12, 5}), values.push_back(p["nu"]);
      if (covariate) row.push_back({'F', 12, 5}), values.push_back(p["yhat_corrected"]);
      if (p.contains("yhat_by_level"))
        for (const Json& v : p["yhat_by_level"]) row.push_back({'F', 12, 5}), values.push_back(v);
      compare_line(out.at(table + 1 + i), row, values, "fitted point " + std::to_string(i + 1));
    }
  }
  if (report.contains("bootstrap")) {
    const std::size_t summary = find_line(out, " Summary of bootstrap results");
    std::size_t table = summary;
    while (table < out.size() && out[table].find("Yhat") == std::string::npos) ++table;
    const Json& points = report["bootstrap"]["points"];
    const Json& classic = report["bootstrap"]["classic_points"];
    const std::vector<Field> row(5, Field{'F', 12, 5});
    for (std::size_t i = 0; i < points.size(); ++i) {
      const Json &p = points[i], &c = classic[i];
      compare_line(out.at(table + 1 + i), row, {p["y"], p["x"], c["yhat"], c["lower"], c["upper"]},
                   "bootstrap point " + std::to_string(i + 1));
    }
    const std::string replicates = trov::format_record(
        "(A,I5)", {" Number of bootstrap replications =", report["bootstrap"]["replicates"].get<int>()});
    if (find_line(out, replicates.substr(0, replicates.size() - 1)) == out.size())
      fail("bootstrap replicates");
  }
}

// A run whose trov.options asks for several traits has their member, laid out as the cases and the
// traits are: a point of every case, a smooth per trait (or the one surface), the gradients M and M x M.
void check_traits(const Json& report) {
  std::ifstream file(trov::kOptionsFile);
  std::stringstream text;
  text << file.rdbuf();
  trov::Options options;
  if (trov::parse_options(text.str(), options) || options.traits.names.empty()) {
    if (report.contains("traits")) fail("a traits member without traits asked for");
    return;
  }
  if (!report.contains("traits")) return fail("no traits member");
  const Json& t = report["traits"];
  const std::vector<std::string>& names = options.traits.names;
  if (t["names"] != names) fail("the traits' names");
  if (t["shape"] != (options.traits.surface ? "surface" : "additive")) fail("the traits' shape");
  if (t["cases"] != report["data"]["cases"]) fail("the traits' cases");
  for (const auto& [key, values] : t["points"].items())
    if (values.size() != t["cases"].get<std::size_t>()) fail("the traits' points of " + key);
  const std::size_t m = names.size();
  if (t["smooths"].size() != (options.traits.surface ? 0 : m)) fail("the traits' smooths");
  if (options.traits.surface) {
    const Json& s = t["surface"];
    if (s["fitted"].size() != s["grid_b"].size() || s["fitted"][0].size() != s["grid_a"].size())
      fail("the surface's grid");
  }
  const Json& g = t["gradients"];
  if (g["beta"]["estimate"].size() != m || g["gamma"]["se"].size() != m || g["gamma"]["se"][0].size() != m)
    fail("the traits' gradients");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: check_report TROV.OUT TROV.JSON CONSOLE STATUS\n";
    return 2;
  }
  std::ifstream json_file(argv[2]);
  Json report;
  try {
    report = Json::parse(json_file);
  } catch (const std::exception& e) {
    std::cout << "trov.json does not parse: " << e.what() << "\n";
    return 1;
  }
  if (report["format"] != "trov-results" || report["version"] != 1) fail("format or version");
  const std::vector<std::string> out = lines_of(argv[1]);
  if (report["status"] == "error") {
    std::ifstream console(argv[3]);
    std::stringstream text;
    text << console.rdbuf();
    for (const Json& line : report["error"])
      if (text.str().find(line.get<std::string>()) == std::string::npos)
        fail("error line '" + line.get<std::string>() + "'");
    // the number of the fault: an error stop (status 1) of the settings or the data, a file fault
    // (status 2) of trov.in, the data file, trov.options or trov.out, else an interrupt or the engine's own
    const int code = report.value("error_code", 0);
    const std::string status = argv[4];
    const bool fits = status == "1"   ? code >= 1 && code <= 16 && code != 14
                      : status == "2" ? (code >= 15 && code <= 18) || code == 21
                                      : code >= 19 && code <= 20;
    if (!fits) fail("error_code " + std::to_string(code) + " for exit status " + status);
  } else if (report["status"] != "ok") {
    fail("status");
  }
  // "ok" exactly when the run ended well, and then beside a trov.out
  if ((std::string(argv[4]) == "0") != (report["status"] == "ok"))
    fail("status, for exit status " + std::string(argv[4]));
  if (report["status"] == "ok" && out.empty()) fail("status ok without trov.out");
  if (out.empty() || !report.contains("data")) return failures == 0 ? 0 : 1;  // stopped before trov.out
  check_header(out, report);
  check_tables(out, report);
  const bool fixed = report["settings"]["nstep"].get<int>() == 1;
  if (report["status"] == "ok" && fixed != report.contains("selection")) fail("selection gradients");
  if (report["status"] == "ok") check_traits(report);
  return failures == 0 ? 0 : 1;
}
