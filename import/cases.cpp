#include "import/cases.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>

namespace trov::import {

namespace {

std::string shortest(double value) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string at(const Table::Row& row, const Table& table, std::size_t column) {
  return "line " + std::to_string(row.line) + ", column '" + table.names[column] + "'";
}

// A response of two words: which is 1. The words Yes/No and TRUE/FALSE say it themselves.
std::optional<std::string> word_coding(const Table& table, std::size_t column, const std::string& one,
                                       std::string& word_one, std::string& word_zero) {
  std::vector<std::string> words;
  for (const Table::Row& row : table.rows) {
    if (column >= row.cells.size() || is_missing(row.cells[column])) continue;
    const std::string& cell = row.cells[column];
    if (number_in(table, cell, row.quoted[column]))
      return at(row, table, column) + ": the number " + cell + " among words";
    if (std::find(words.begin(), words.end(), cell) != words.end()) continue;
    if (words.size() == 2)
      return at(row, table, column) + ": a third word '" + cell + "' besides '" + words[0] + "' and '" +
             words[1] + "' (a response of words takes two)";
    words.push_back(cell);
  }
  if (!one.empty()) {
    const auto it = std::find(words.begin(), words.end(), one);
    if (it == words.end())
      return "column '" + table.names[column] + "' does not hold the word '" + one + "' taken as 1";
    word_one = one;
    word_zero = words.size() == 2 ? words[it == words.begin() ? 1 : 0] : "";
    return std::nullopt;
  }
  for (const auto& [yes, no] : {std::pair{"yes", "no"}, std::pair{"true", "false"}})
    for (const std::string& w : words)
      if (lower(w) == yes) {
        word_one = w;
        for (const std::string& other : words)
          if (other != w) word_zero = other;
        if (word_zero.empty() || lower(word_zero) == no) return std::nullopt;
      }
  std::string listed;
  for (const std::string& w : words) listed += (listed.empty() ? "'" : " and '") + w + "'";
  return "column '" + table.names[column] + "' holds the words " + listed + ": say which is taken as 1";
}

}  // namespace

std::optional<std::string> take_cases(const Table& table, const Choice& choice, Cases& cases) {
  cases = Cases{};
  cases.has_c = !choice.c.empty();
  cases.has_n = !choice.n.empty();
  std::size_t yk = 0, xk = 0, ck = 0, nk = 0;
  if (auto why = find_column(table, choice.y, yk)) return "Y: " + *why;
  if (auto why = find_column(table, choice.x, xk)) return "X: " + *why;
  if (cases.has_c)
    if (auto why = find_column(table, choice.c, ck)) return "C: " + *why;
  if (cases.has_n)
    if (auto why = find_column(table, choice.n, nk)) return "N: " + *why;
  cases.y_name = table.names[yk];
  cases.x_name = table.names[xk];
  if (cases.has_c) cases.c_name = table.names[ck];
  if (cases.has_n) cases.n_name = table.names[nk];

  // a response column of words (its first value that is no missing one is no number)
  bool words = !choice.one.empty();
  for (const Table::Row& row : table.rows)
    if (yk < row.cells.size() && !is_missing(row.cells[yk])) {
      words = words || !number_in(table, row.cells[yk], row.quoted[yk]);
      break;
    }
  std::string word_one, word_zero;
  if (words) {
    if (auto why = word_coding(table, yk, choice.one, word_one, word_zero)) return why;
    cases.words = word_one + " = 1" + (word_zero.empty() ? "" : ", " + word_zero + " = 0");
  }

  struct Wanted {
    std::size_t column;
    std::vector<double>* values;
  };
  std::vector<Wanted> wanted = {{yk, &cases.y}, {xk, &cases.x}};
  if (cases.has_c) wanted.push_back({ck, &cases.c});
  if (cases.has_n) wanted.push_back({nk, &cases.n});
  for (const Table::Row& row : table.rows) {
    bool missing = false;
    std::vector<double> values;
    for (const Wanted& w : wanted) {
      const std::string cell = w.column < row.cells.size() ? row.cells[w.column] : std::string();
      if (is_missing(cell)) {
        missing = true;
        values.push_back(0);
        continue;
      }
      if (words && w.column == yk && &w == &wanted.front()) {
        values.push_back(cell == word_one ? 1 : 0);
        continue;
      }
      const std::optional<double> value = number_in(table, cell, row.quoted[w.column]);
      if (!value) return at(row, table, w.column) + ": '" + cell + "' is not a number";
      if (cases.has_n && &w == &wanted.back() && (*value != std::trunc(*value) || std::abs(*value) > INT_MAX))
        return at(row, table, w.column) + ": the count " + cell + " is not a whole number";
      values.push_back(*value);
    }
    if (missing) {
      ++cases.left_out;
      if (cases.left_out_lines.size() < Cases::kMostLinesKept) cases.left_out_lines.push_back(row.line);
      continue;
    }
    for (std::size_t k = 0; k < wanted.size(); ++k) wanted[k].values->push_back(values[k]);
  }
  if (cases.y.empty()) return std::string("no case holds a value in every chosen column");
  return std::nullopt;
}

std::string data_file_text(const Cases& cases) {
  std::string text;
  for (std::size_t i = 0; i < cases.y.size(); ++i) {
    text += shortest(cases.y[i]) + " " + shortest(cases.x[i]);
    if (cases.has_c) text.append(" ").append(shortest(cases.c[i]));
    if (cases.has_n) text.append(" ").append(std::to_string(static_cast<long long>(cases.n[i])));
    text += "\n";
  }
  return text;
}

std::string left_out_text(const Cases& cases) {
  if (cases.left_out == 0) return "no case left out";
  std::string text = std::to_string(cases.left_out) + (cases.left_out == 1 ? " case" : " cases") +
                     " left out for missing values (line";
  text += cases.left_out_lines.size() > 1 ? "s " : " ";
  for (std::size_t k = 0; k < cases.left_out_lines.size(); ++k)
    text += (k ? ", " : "") + std::to_string(cases.left_out_lines[k]);
  return text + (cases.left_out > static_cast<int>(cases.left_out_lines.size()) ? ", ...)" : ")");
}

}  // namespace trov::import
