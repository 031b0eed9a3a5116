#include "frontend/results_table.h"

#include <fstream>
#include <sstream>

#include "common/list_reader.h"
#include "common/results_text.h"

namespace trov::front {

namespace {

namespace text = results_text;

bool begins_table(const std::string& line) { return line.starts_with(text::table_marker); }

bool grid_heading(const std::string& line) {
  return line.substr(0, 10).find(text::grid_marker) != std::string::npos;
}

void resize(ResultsTable& t) {
  for (auto* column :
       {&t.lnlam, &t.nparam, &t.gcvf, &t.ocvf, &t.x, &t.y, &t.yhat, &t.ypred, &t.yminus, &t.yplus})
    column->assign(kMostRecords, 0.0f);
}

}  // namespace

std::string read_results_table(const std::string& path, int M, ResultsTable& t) {
  std::ifstream file(path);
  if (!file) return "the engine wrote no " + path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.empty()) return path + " is empty";

  std::size_t heading = lines.size();
  std::size_t bootstrap = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].starts_with(text::bootstrap_summary)) bootstrap = i;
  for (std::size_t i = bootstrap == lines.size() ? 0 : bootstrap; i < lines.size() && heading == lines.size();
       ++i)
    if (begins_table(lines[i])) heading = i;
  t.kind = bootstrap < lines.size() ? ResultsTable::Kind::bootstrap : ResultsTable::Kind::fitted;
  if (heading == lines.size()) {
    // A single-lambda run that stopped before its table: its one grid line is no plot.
    for (const std::string& line : lines)
      if (line.starts_with(text::fixed_lambda)) return path + " holds no fitted-value or bootstrap table";
    for (std::size_t i = 0; i < lines.size() && heading == lines.size(); ++i)
      if (grid_heading(lines[i])) heading = i;
    t.kind = ResultsTable::Kind::grid;
  }
  if (heading == lines.size()) return path + " holds no table of results";

  std::ostringstream rest;
  for (std::size_t i = heading + 1; i < lines.size(); ++i) rest << lines[i] << '\n';
  std::istringstream records(rest.str());
  ListReader in(records, path);
  resize(t);
  int n = 0;
  for (; n < kMostRecords; ++n) {
    int count = 0;
    float skipped = 0;
    ListReader::Result r;
    switch (t.kind) {
      case ResultsTable::Kind::grid:
        r = M == 0 ? in.read({&t.lnlam[n], &t.nparam[n], &t.gcvf[n], &t.ocvf[n]})
                   : in.read({&t.lnlam[n], &t.nparam[n], &t.gcvf[n]});
        break;
      case ResultsTable::Kind::fitted:
        r = M == 0 ? in.read({&t.y[n], &t.x[n], &count, &t.yhat[n]})
                   : in.read({&t.y[n], &t.x[n], &skipped, &count, &t.ypred[n], &t.yhat[n]});
        break;
      case ResultsTable::Kind::bootstrap:
        r = in.read({&t.y[n], &t.x[n], &t.yhat[n], &t.yminus[n], &t.yplus[n]});
        break;
    }
    if (r.status == ListReader::Status::end_of_file) break;
    if (!r.ok())
      return "line " + std::to_string(heading + 1 + static_cast<std::size_t>(in.line_number())) + " of " +
             path + " is not a line of numbers (" + r.fault + ")";
  }
  t.n = n;
  if (n == 0) return "the table in " + path + " has no records";
  return {};
}

}  // namespace trov::front
