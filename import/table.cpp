#include "import/table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "common/utf8.h"

namespace trov::import {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string shown(std::string_view text, std::size_t most) {
  std::string out;
  std::size_t characters = 0;
  for (std::size_t k = 0; k < text.size(); ++characters) {
    if (characters == most) return out + "...";
    const auto c = static_cast<unsigned char>(text[k]);
    const std::size_t length = utf8_length(text, k);
    if (length == 0 || c < 0x20 || c == 0x7f) {
      static const char digits[] = "0123456789abcdef";
      out.append("\\x").append(1, digits[c >> 4]).append(1, digits[c & 15]);
      ++k;
      continue;
    }
    out.append(text.substr(k, length));
    k += length;
  }
  return out;
}

std::string blanked(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return std::string(trimmed(out));
}

namespace {

// The separator of the table: what the first line holds outside quotes, tabs before semicolons before
// commas; blanks when it holds none of them.
char separator_of(std::string_view text) {
  bool quoted = false, tab = false, semicolon = false, comma = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    tab |= c == '\t';
    semicolon |= c == ';';
    comma |= c == ',';
  }
  return tab ? '\t' : semicolon ? ';' : comma ? ',' : ' ';
}

// Splits the text into rows of fields; why not when a quote is never closed.
std::optional<std::string> split(std::string_view text, char sep, std::vector<Table::Row>& rows) {
  Table::Row row;
  std::string cell;
  bool quoted = false, in_quotes = false, cell_started = false;
  int line = 1;
  row.line = 1;
  int quote_line = 0;
  auto end_cell = [&] {
    row.cells.push_back(quoted ? cell : std::string(trimmed(cell)));
    row.quoted.push_back(quoted);
    cell.clear();
    quoted = cell_started = false;
  };
  auto end_row = [&] {
    if (sep != ' ' || cell_started) end_cell();  // blanks at the end of a line end no field
    if (std::any_of(row.cells.begin(), row.cells.end(), [](const std::string& c) { return !c.empty(); }))
      rows.push_back(std::move(row));
    row = Table::Row{};
    row.line = line;
  };
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k];
    if (in_quotes) {
      if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
        cell += '"';
        ++k;
      } else if (c == '"') {
        in_quotes = false;
      } else {
        if (c == '\n' || (c == '\r' && (k + 1 == text.size() || text[k + 1] != '\n'))) ++line;
        cell += c;
      }
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (c == '\r' && k + 1 < text.size() && text[k + 1] == '\n') ++k;
      ++line;
      end_row();
    } else if (c == '"' && !cell_started) {
      in_quotes = quoted = cell_started = true;
      quote_line = line;
      cell.clear();
    } else if (sep == ' ' ? (c == ' ' || c == '\t') : c == sep) {
      if (sep == ' ' && !cell_started) continue;  // runs of blanks are one separator
      end_cell();
    } else if (!(quoted && (c == ' ' || c == '\t'))) {  // blanks after a closing quote are dropped
      if (c != ' ' && c != '\t') cell_started = true;
      cell += c;
    }
  }
  if (in_quotes) return "line " + std::to_string(quote_line) + ": a quote '\"' is never closed";
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') end_row();
  return std::nullopt;
}

bool is_text(const Table& table, const Table::Row& row, std::size_t k) {
  return k < row.cells.size() && !is_missing(row.cells[k]) && !number_in(table, row.cells[k], row.quoted[k]);
}

// The first row names the columns when one of its cells is text above numbers only, or when every one
// of its cells is text that its column never holds again (so a table of one row of text is a header
// without cases).
bool first_row_is_header(const Table& table) {
  if (table.rows.empty()) return false;
  const Table::Row& first = table.rows[0];
  bool every_new_word = true;
  for (std::size_t k = 0; k < first.cells.size(); ++k) {
    if (!is_text(table, first, k)) {
      every_new_word = false;
      continue;
    }
    bool numbers_below = false, words_below = false, same_below = false;
    for (std::size_t r = 1; r < table.rows.size(); ++r) {
      const Table::Row& row = table.rows[r];
      if (is_text(table, row, k))
        words_below = true;
      else if (k < row.cells.size() && !is_missing(row.cells[k]))
        numbers_below = true;
      if (k < row.cells.size() && row.cells[k] == first.cells[k]) same_below = true;
    }
    if (numbers_below && !words_below) return true;
    if (same_below) every_new_word = false;
  }
  return every_new_word;
}

}  // namespace

bool is_missing(std::string_view cell) {
  const std::string word = lower(blanked(cell));
  return word.empty() || word == "na" || word == "nan" || word == ".";
}

std::optional<double> number_in(const Table& table, const std::string& cell, bool quoted) {
  std::string text(trimmed(cell));
  if (const std::size_t comma = text.find(','); comma != std::string::npos) {
    if ((table.separator == ',' && !quoted) || text.find('.') != std::string::npos ||
        text.find(',', comma + 1) != std::string::npos)
      return std::nullopt;
    text[comma] = '.';
  }
  if (!text.empty() && text[0] == '+') text.erase(0, 1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    return std::nullopt;
  return value;
}

std::optional<std::string> read_table(std::string_view text, Table& table) {
  table = Table{};
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  table.separator = separator_of(text);
  if (auto why = split(text, table.separator, table.rows)) return why;
  if (table.rows.empty()) return std::string("the table holds no row");
  table.header = first_row_is_header(table);
  std::size_t columns = 0;
  for (const Table::Row& row : table.rows) columns = std::max(columns, row.cells.size());
  if (table.header) {
    table.names = table.rows.front().cells;
    table.rows.erase(table.rows.begin());
    for (std::size_t k = 0; k < table.names.size(); ++k) {
      if (table.names[k].empty()) table.names[k] = std::to_string(k + 1);
    }
    // cells beyond the header's names are refused unless empty
    for (const Table::Row& row : table.rows)
      for (std::size_t k = table.names.size(); k < row.cells.size(); ++k)
        if (!row.cells[k].empty())
          return "line " + std::to_string(row.line) + " holds " + std::to_string(row.cells.size()) +
                 " fields, the header names " + std::to_string(table.names.size());
  } else {
    for (std::size_t k = 0; k < columns; ++k) table.names.push_back(std::to_string(k + 1));
  }
  return std::nullopt;
}

std::optional<std::string> find_column(const Table& table, std::string_view name, std::size_t& index) {
  const std::string wanted(trimmed(name));
  auto named = [&](auto same) {
    std::vector<std::size_t> found;
    for (std::size_t k = 0; k < table.names.size(); ++k)
      if (same(table.names[k])) found.push_back(k);
    return found;
  };
  std::vector<std::size_t> found = named([&](const std::string& n) { return n == wanted; });
  if (found.empty()) found = named([&](const std::string& n) { return lower(n) == lower(wanted); });
  if (found.size() > 1)
    return "the table has " + std::to_string(found.size()) + " columns named '" + shown(wanted) + "'";
  if (found.size() == 1) {
    index = found[0];
    return std::nullopt;
  }
  std::size_t number = 0;
  const auto [end, error] = std::from_chars(wanted.data(), wanted.data() + wanted.size(), number);
  if (error == std::errc() && end == wanted.data() + wanted.size() && number >= 1 &&
      number <= table.names.size()) {
    index = number - 1;
    return std::nullopt;
  }
  std::string names;
  for (const std::string& n : table.names) names += (names.empty() ? "" : ", ") + shown(n);
  return "the table has no column '" + shown(wanted) + "' (its columns: " + shown(names, 400) + ")";
}

}  // namespace trov::import
