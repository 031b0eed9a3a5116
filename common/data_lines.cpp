#include "common/data_lines.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>

namespace trov {

namespace {

bool separator(char c) { return c == ' ' || c == '\t' || c == ','; }

// A value the engine reads as a number: digits, an optional sign, point and exponent (E or D).
bool is_number(std::string_view value) {
  // inf and nan are no data; the usual value, digits with at most one point (and a sign), at once
  bool plain = !value.empty();
  int digits = 0, points = 0;
  for (std::size_t k = 0; k < value.size(); ++k) {
    const char c = value[k];
    if (c == 'i' || c == 'I' || c == 'n' || c == 'N') return false;
    if (c >= '0' && c <= '9')
      ++digits;
    else if (c == '.')
      ++points;
    else if (k > 0 || (c != '-' && c != '+'))
      plain = false;
  }
  if (plain && digits > 0 && points <= 1) return true;
  if (value.empty()) return false;
  char text[64];  // a number is shorter; a longer value is copied to the heap
  std::string longer;
  char* copy = text;
  if (value.size() >= sizeof text) {
    longer.resize(value.size());
    copy = longer.data();
  }
  for (std::size_t k = 0; k < value.size(); ++k)
    copy[k] = value[k] == 'd' || value[k] == 'D' ? 'e' : value[k];
  copy[value.size()] = '\0';
  char* end = nullptr;
  std::strtod(copy, &end);
  return end == copy + value.size();
}

bool is_decimal_comma(const std::string& field) {
  const std::size_t comma = field.find(',');
  if (comma == std::string::npos || comma == 0 || comma + 1 == field.size()) return false;
  std::string as_point = field;
  as_point[comma] = '.';
  return field.find(',', comma + 1) == std::string::npos && is_number(as_point) &&
         std::isdigit(static_cast<unsigned char>(field[comma - 1])) &&
         std::isdigit(static_cast<unsigned char>(field[comma + 1]));
}

// Fields between tabs, semicolons and blanks: where a table's writer puts its values.
bool has_decimal_comma(const std::string& line) {
  if (std::none_of(line.begin(), line.end(), [](char c) { return c == '\t' || c == ';'; })) return false;
  std::size_t start = 0;
  while (start < line.size()) {
    const std::size_t end = std::min(line.find_first_of("\t; ", start), line.size());
    if (is_decimal_comma(line.substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

bool has_empty_value(const std::string& line) {
  const std::size_t first = line.find_first_not_of(" \t"), last = line.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  if (line[first] == ',' || line[last] == ',') return true;
  for (std::size_t k = line.find(','); k != std::string::npos; k = line.find(',', k + 1)) {
    const std::size_t next = line.find_first_not_of(" \t", k + 1);
    if (next != std::string::npos && line[next] == ',') return true;
  }
  return false;
}

// The values of a line before any '/', as views into it.
void values_of(std::string_view line, std::vector<std::string_view>& values) {
  values.clear();
  const std::string_view used = line.substr(0, line.find('/'));
  for (std::size_t k = 0; k < used.size();) {
    if (separator(used[k])) {
      ++k;
      continue;
    }
    std::size_t end = k;
    while (end < used.size() && !separator(used[end])) ++end;
    values.push_back(used.substr(k, end - k));
    k = end;
  }
}

// A line ended by LF, CR or CR LF, read from the stream's buffer.
bool next_line(std::streambuf& in, std::string& line) {
  using traits = std::streambuf::traits_type;
  line.clear();
  for (int c; (c = in.sbumpc()) != traits::eof();) {
    if (c == '\n') return true;
    if (c == '\r') {
      if (in.sgetc() == '\n') in.sbumpc();
      return true;
    }
    line += static_cast<char>(c);
  }
  return !line.empty();
}

}  // namespace

DataLines survey_data_lines(std::istream& in, int most_lines) {
  DataLines d;
  std::vector<DataLines::Line> all;
  bool line1_text = false, later_text = false;
  std::string line;
  std::vector<std::string_view> values;
  std::streambuf* buffer = in.rdbuf();
  for (int number = 1; buffer && d.lines < most_lines && next_line(*buffer, line); ++number) {
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    values_of(line, values);
    if (values.empty()) continue;
    ++d.lines;
    all.push_back({number, static_cast<int>(values.size())});
    for (const std::string_view value : values)
      if (!is_number(value)) {
        if (d.first_text_line == 0) {
          d.first_text_line = number;
          d.first_text = value;
        }
        (d.lines == 1 ? line1_text : later_text) = true;
        break;
      }
    if (d.first_empty_value_line == 0 && has_empty_value(line)) d.first_empty_value_line = number;
    if (d.first_semicolon_line == 0 && line.find(';') != std::string::npos) d.first_semicolon_line = number;
    if (d.first_decimal_comma_line == 0 && has_decimal_comma(line)) d.first_decimal_comma_line = number;
  }
  d.header = line1_text && !later_text && d.lines > 1;
  // a header line is no case: the counts of the others decide
  std::map<int, int> held;  // values -> lines holding them
  const std::size_t from = d.header ? 1 : 0;
  for (std::size_t k = from; k < all.size(); ++k) ++held[all[k].values];
  int most = 0;
  for (std::size_t k = from; k < all.size(); ++k)
    if (held[all[k].values] > most) {
      most = held[all[k].values];
      d.usual_values = all[k].values;
    }
  for (std::size_t k = from; k < all.size(); ++k)
    if (all[k].values != d.usual_values) {
      ++d.irregular_count;
      if (d.irregular.size() < DataLines::kMostNamed) d.irregular.push_back(all[k]);
    }
  return d;
}

std::optional<DataLines> survey_data_file(const std::string& name) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(name, ec)) return std::nullopt;
  std::ifstream in(name, std::ios::binary);
  if (!in) return std::nullopt;
  return survey_data_lines(in);
}

std::string irregular_lines_text(const DataLines& lines, std::size_t most) {
  std::string text;
  for (std::size_t k = 0; k < std::min(most, lines.irregular.size()); ++k)
    text += (k == 0 ? "line " : ", line ") + std::to_string(lines.irregular[k].number) + " holds " +
            std::to_string(lines.irregular[k].values);
  if (lines.irregular_count > static_cast<int>(most))
    text += " and " + std::to_string(lines.irregular_count - static_cast<int>(most)) + " more";
  return text;
}

bool lines_hold_more_than_a_case(const DataLines& lines, int values_per_case) {
  return lines.lines > 0 && lines.irregular_count == 0 && lines.usual_values > values_per_case;
}

std::string more_than_a_case_text(const DataLines& lines, int values_per_case) {
  const int rest = lines.usual_values - values_per_case;
  return "every line of the data file holds " + std::to_string(lines.usual_values) +
         " values where a case takes " + std::to_string(values_per_case) +
         ": each line is read as one case and its last " +
         (rest == 1 ? std::string("value is") : std::to_string(rest) + " values are") + " passed over";
}

}  // namespace trov
