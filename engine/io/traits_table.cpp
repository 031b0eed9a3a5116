#include "engine/io/traits_table.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "common/text.h"
#include "engine/io/data.h"
#include "engine/io/messages.h"

namespace trov {

namespace {

std::vector<std::string_view> fields(std::string_view line) {
  std::vector<std::string_view> out;
  for (std::size_t start = 0;;) {
    const std::size_t comma = line.find(',', start);
    out.push_back(trimmed(line.substr(start, comma - start)));
    if (comma == std::string_view::npos) return out;
    start = comma + 1;
  }
}

std::string_view unquoted(std::string_view name) {
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    return trimmed(name.substr(1, name.size() - 2));
  return name;
}

std::optional<double> number(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The header's columns of y, n and each trait by name, then the covariate's (the one column left);
// or why not.
std::variant<std::vector<std::size_t>, std::string> columns_of(const std::vector<std::string_view>& header,
                                                               const std::vector<std::string>& traits,
                                                               bool covariate) {
  std::vector<std::string> wanted = {"y", "n"};
  wanted.insert(wanted.end(), traits.begin(), traits.end());
  std::vector<std::size_t> columns;
  std::vector<bool> used(header.size());
  for (const std::string& name : wanted) {
    const auto count =
        std::count_if(header.begin(), header.end(), [&](auto h) { return unquoted(h) == name; });
    if (count == 0) return "there is no column '" + name + "'";
    if (count > 1) return "the column '" + name + "' is given twice";
    const auto at = static_cast<std::size_t>(
        std::find_if(header.begin(), header.end(), [&](auto h) { return unquoted(h) == name; }) -
        header.begin());
    columns.push_back(at);
    used[at] = true;
  }
  const std::size_t others = header.size() - wanted.size();
  if (covariate && others != 1)
    return others == 0 ? std::string("there is no covariate column (trov.in's run has a covariate)")
                       : std::string("there is more than one column beside y, n and the traits");
  if (!covariate && others != 0) {
    const auto other = std::find(used.begin(), used.end(), false) - used.begin();
    return "the column '" + std::string(unquoted(header[static_cast<std::size_t>(other)])) +
           "' is neither y, n nor a trait (trov.in's run has no covariate)";
  }
  if (covariate)
    columns.push_back(static_cast<std::size_t>(std::find(used.begin(), used.end(), false) - used.begin()));
  return columns;
}

}  // namespace

std::variant<TraitsTable, std::string> parse_traits_table(std::string_view text,
                                                          const std::vector<std::string>& traits,
                                                          bool covariate) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size()
                                                     : end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
  }
  while (!lines.empty() && trimmed(lines.back()).empty()) lines.pop_back();
  if (lines.empty()) return std::string("the table is empty: it needs a header line y,n,<the traits>");
  const std::vector<std::string_view> header = fields(lines.front());
  const auto found = columns_of(header, traits, covariate);
  if (const auto* why = std::get_if<std::string>(&found)) return "the header: " + *why;
  const auto& columns = std::get<std::vector<std::size_t>>(found);
  TraitsTable table;
  table.traits.resize(traits.size());
  std::vector<std::vector<double>*> into = {&table.y, &table.n};
  for (auto& t : table.traits) into.push_back(&t);
  if (covariate) {
    table.covariate_name = unquoted(header[columns.back()]);
    into.push_back(&table.covariate);
  }
  for (std::size_t k = 1; k < lines.size(); ++k) {
    const std::string line = std::to_string(k + 1);
    const std::vector<std::string_view> values = fields(lines[k]);
    if (values.size() != header.size())
      return "line " + line + " holds " + std::to_string(values.size()) + " values, the header " +
             std::to_string(header.size());
    for (std::size_t c = 0; c < columns.size(); ++c) {
      const std::string_view cell = values[columns[c]];
      const std::optional<double> value = number(cell);
      if (!value)
        return "line " + line + ", column '" + std::string(unquoted(header[columns[c]])) + "': '" +
               std::string(cell.substr(0, 40)) + "' is not a number";
      into[c]->push_back(*value);
    }
  }
  if (table.y.empty()) return std::string("the table holds no case");
  return table;
}

TraitsTable read_traits_table(const std::string& name, const std::vector<std::string>& traits, bool covariate,
                              int cases) {
  const auto fault = [&](const std::string& why) {
    stop_on_file_error(ErrorCode::traits_file, "Error reading the traits table \"" + name + "\": " + why);
  };
  std::error_code ec;
  if (const auto own = run_file_named(name)) fault(*own);
  if (!std::filesystem::is_regular_file(name, ec))
    fault(std::filesystem::exists(name, ec) ? "not a regular file" : "there is no such file");
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  if (!in || (!(text << in.rdbuf()) && in.peek() != std::ifstream::traits_type::eof()))
    fault(std::strerror(errno));
  auto parsed = parse_traits_table(text.str(), traits, covariate);
  if (const auto* why = std::get_if<std::string>(&parsed)) fault(*why);
  TraitsTable& table = std::get<TraitsTable>(parsed);
  if (table.y.size() != static_cast<std::size_t>(cases))
    fault("it holds " + std::to_string(table.y.size()) + " cases, the data file " + std::to_string(cases) +
          " (the table and the data file are to hold the same cases)");
  return std::move(table);
}

}  // namespace trov
