#include "import/cases.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <map>
#include <set>

namespace trov::import {

namespace {

std::string shortest(double value) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

std::string at(const Table::Row& row, const Table& table, std::size_t column) {
  return "line " + std::to_string(row.line) + ", column '" + shown(table.names[column]) + "'";
}

bool has_value(const Table::Row& row, std::size_t column) {
  return column < row.cells.size() && !is_missing(row.cells[column]);
}

std::optional<double> value_in(const Table& table, const Table::Row& row, std::size_t column) {
  return number_in(table, row.cells[column], row.quoted[column]);
}

// Whether the column's first value is no number: a column of words.
bool holds_words(const Table& table, std::size_t column) {
  for (const Table::Row& row : table.rows)
    if (has_value(row, column)) return !value_in(table, row, column);
  return false;
}

// A decimal comma that may be a thousands separator: one to three digits, the comma, three digits.
bool may_group_thousands(std::string_view number) {
  if (!number.empty() && (number[0] == '-' || number[0] == '+')) number.remove_prefix(1);
  const std::size_t comma = number.find(',');
  const auto digits = [](std::string_view part) {
    return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  return comma >= 1 && comma <= 3 && number.size() == comma + 4 && digits(number.substr(0, comma)) &&
         digits(number.substr(comma + 1));
}

// A numeric column whose decimal commas are not sure to be ones: beside decimal points in the same
// column, or, where commas separate the fields (so only quoted cells hold commas), none of them but
// may as well separate thousands.
std::optional<std::string> decimal_comma_fault(const Table& table, std::size_t column) {
  const Table::Row *first_comma = nullptr, *first_point = nullptr;
  bool sure = false;
  for (const Table::Row& row : table.rows) {
    if (!has_value(row, column) || !value_in(table, row, column)) continue;
    const std::string& cell = row.cells[column];
    if (cell.find(',') != std::string::npos) {
      if (!first_comma) first_comma = &row;
      sure = sure || !may_group_thousands(blanked(cell));
    } else if (cell.find('.') != std::string::npos && !first_point) {
      first_point = &row;
    }
  }
  if (!first_comma) return std::nullopt;
  const std::string cell = at(*first_comma, table, column) + ": '" + shown(first_comma->cells[column]) + "'";
  if (first_point)
    return cell + " is ambiguous: a thousands separator or a decimal comma, where line " +
           std::to_string(first_point->line) + " holds a decimal point ('" +
           shown(first_point->cells[column]) +
           "'); write the numbers with one decimal mark, without thousands separators";
  if (table.separator == ',' && !sure)
    return cell +
           " is ambiguous in a comma-separated table: a thousands separator or a decimal comma; write the "
           "numbers with decimal points, or separate the fields by semicolons";
  return std::nullopt;
}

// A response of two words: which is 1 and which 0 (as first written; either may be absent). The words
// Yes/No and TRUE/FALSE say it themselves; words compare in any case.
std::optional<std::string> word_coding(const Table& table, std::size_t column, const std::string& one,
                                       std::string& word_one, std::string& word_zero) {
  std::vector<std::string> words;
  const auto same = [](const std::string& a, const std::string& b) { return lower(a) == lower(b); };
  for (const Table::Row& row : table.rows) {
    if (!has_value(row, column)) continue;
    const std::string& cell = row.cells[column];
    if (value_in(table, row, column))
      return at(row, table, column) + ": the number " + shown(cell) + " among words";
    if (std::any_of(words.begin(), words.end(), [&](const std::string& w) { return same(w, cell); }))
      continue;
    if (words.size() == 2)
      return at(row, table, column) + ": a third word '" + shown(cell) + "' besides '" + shown(words[0]) +
             "' and '" + shown(words[1]) + "' (a response of words takes two)";
    words.push_back(cell);
  }
  if (!one.empty()) {
    const auto it =
        std::find_if(words.begin(), words.end(), [&](const std::string& w) { return same(w, one); });
    if (it == words.end())
      return "column '" + shown(table.names[column]) + "' does not hold the word '" + shown(one) +
             "' taken as 1";
    word_one = *it;
    word_zero = words.size() == 2 ? words[it == words.begin() ? 1 : 0] : "";
    return std::nullopt;
  }
  for (const std::pair<std::string_view, std::string_view> pair :
       {std::pair{"yes", "no"}, std::pair{"true", "false"}}) {
    if (!std::all_of(words.begin(), words.end(),
                     [&](const std::string& w) { return lower(w) == pair.first || lower(w) == pair.second; }))
      continue;
    for (const std::string& w : words) (lower(w) == pair.first ? word_one : word_zero) = w;
    return std::nullopt;
  }
  std::string listed;
  for (const std::string& w : words) listed += (listed.empty() ? "'" : " and '") + shown(w) + "'";
  return "column '" + shown(table.names[column]) + "' holds the words " + listed +
         ": say which is taken as 1";
}

std::string too_many_levels(const Table& table, std::size_t column) {
  return "column '" + shown(table.names[column]) + "' holds more than " + std::to_string(kMostLevels) +
         " different values: a categorical covariate takes at most " + std::to_string(kMostLevels) +
         " levels";
}

// The levels of a categorical covariate of words: its words (every value a word, numbers too when
// `numbers_too`), without control characters or blanks around, sorted by their bytes. Words that
// differ in case alone are refused: whether they are one level or two is not sure.
std::optional<std::string> level_coding(const Table& table, std::size_t column, bool numbers_too,
                                        std::vector<std::string>& levels) {
  std::map<std::string, const Table::Row*> first;  // each word and where it first stands
  std::map<std::string, std::string> by_lower;
  for (const Table::Row& row : table.rows) {
    if (!has_value(row, column)) continue;
    if (!numbers_too && value_in(table, row, column))
      return at(row, table, column) + ": the number " + shown(row.cells[column]) +
             " among words (to take every value as a level, mark the covariate categorical)";
    const std::string word = blanked(row.cells[column]);
    if (!first.emplace(word, &row).second) continue;
    const auto [known, added] = by_lower.emplace(lower(word), word);
    if (!added)
      return at(row, table, column) + ": '" + shown(word) + "' and '" + shown(known->second) + "' (line " +
             std::to_string(first[known->second]->line) + ") differ in case alone: write each level alike";
    if (first.size() > kMostLevels) return too_many_levels(table, column);
  }
  levels.clear();
  for (const auto& [word, row] : first) levels.push_back(word);
  return std::nullopt;
}

// The distinct numbers of the column, up to one beyond `most`.
std::set<double> distinct_numbers(const Table& table, std::size_t column, std::size_t most) {
  std::set<double> values;
  for (const Table::Row& row : table.rows)
    if (has_value(row, column))
      if (const auto value = value_in(table, row, column); value && values.size() <= most)
        values.insert(*value);
  return values;
}

bool only_numbers(const Table& table, std::size_t column) {
  return std::all_of(table.rows.begin(), table.rows.end(), [&](const Table::Row& row) {
    return !has_value(row, column) || value_in(table, row, column);
  });
}

}  // namespace

bool looks_categorical(const Table& table, std::size_t column) {
  if (holds_words(table, column)) return true;
  const std::set<double> values = distinct_numbers(table, column, kMostFewValues);
  return !values.empty() && values.size() <= kMostFewValues && only_numbers(table, column) &&
         std::all_of(values.begin(), values.end(), [](double v) { return v == std::trunc(v); });
}

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
  std::vector<std::size_t> trait_columns;
  for (const std::string& trait : choice.traits) {
    std::size_t tk = 0;
    if (auto why = find_column(table, trait, tk)) return "trait: " + *why;
    // a trait is a column of its own: not Y, X, the covariate, the count or another trait
    if (tk == yk || tk == xk || (cases.has_c && tk == ck) || (cases.has_n && tk == nk) ||
        std::find(trait_columns.begin(), trait_columns.end(), tk) != trait_columns.end())
      return "the trait column '" + shown(table.names[tk]) + "' is chosen twice";
    trait_columns.push_back(tk);
  }
  if (choice.surface && trait_columns.size() != 1) return std::string("a surface takes exactly two traits");
  cases.y_name = table.names[yk];
  cases.x_name = table.names[xk];
  cases.traits.resize(trait_columns.size());
  if (!trait_columns.empty()) cases.trait_names.push_back(cases.x_name);
  for (std::size_t tk : trait_columns) cases.trait_names.push_back(table.names[tk]);
  cases.surface = choice.surface;
  if (cases.has_c) cases.c_name = table.names[ck];
  if (cases.has_n) cases.n_name = table.names[nk];
  if (table.rows.empty()) return std::string("the table holds no cases, only its header row");

  const bool y_words = !choice.one.empty() || holds_words(table, yk);
  std::string word_one, word_zero;
  if (y_words) {
    if (auto why = word_coding(table, yk, choice.one, word_one, word_zero)) return why;
    for (const std::string* w : {&word_one, &word_zero})
      if (!w->empty())
        cases.words += (cases.words.empty() ? "" : ", ") + shown(*w) + (w == &word_one ? " = 1" : " = 0");
  }

  std::map<std::string, int> codes;  // a covariate of words: each word's code
  if (cases.has_c && choice.c_kind != CovariateKind::continuous) {
    const bool c_words = holds_words(table, ck);
    cases.categorical = choice.c_kind == CovariateKind::categorical || c_words;
    if (c_words || (cases.categorical && !only_numbers(table, ck))) {
      if (auto why = level_coding(table, ck, choice.c_kind == CovariateKind::categorical, cases.levels))
        return why;
      for (std::size_t k = 0; k < cases.levels.size(); ++k) codes[cases.levels[k]] = static_cast<int>(k + 1);
    } else if (cases.categorical) {
      if (distinct_numbers(table, ck, kMostLevels).size() > kMostLevels) return too_many_levels(table, ck);
    } else if (looks_categorical(table, ck)) {
      const std::set<double> values = distinct_numbers(table, ck, kMostFewValues);
      cases.few_values.assign(values.begin(), values.end());
    }
  }

  struct Wanted {
    std::size_t column;
    std::vector<double>* values;
    bool numbers;  // read as numbers (else as words coded)
  };
  std::vector<Wanted> wanted = {{yk, &cases.y, !y_words}, {xk, &cases.x, true}};
  if (cases.has_c) wanted.push_back({ck, &cases.c, codes.empty()});
  if (cases.has_n) wanted.push_back({nk, &cases.n, true});
  for (std::size_t k = 0; k < trait_columns.size(); ++k)
    wanted.push_back({trait_columns[k], &cases.traits[k], true});
  for (const Wanted& w : wanted)
    if (w.numbers)
      if (auto why = decimal_comma_fault(table, w.column)) return why;
  for (const Table::Row& row : table.rows) {
    bool missing = false;
    std::vector<double> values;
    for (const Wanted& w : wanted) {
      if (!has_value(row, w.column)) {
        missing = true;
        values.push_back(0);
        continue;
      }
      const std::string& cell = row.cells[w.column];
      if (!w.numbers) {
        values.push_back(w.values == &cases.y ? (lower(cell) == lower(word_one) ? 1.0 : 0.0)
                                              : codes.at(blanked(cell)));
        continue;
      }
      const std::optional<double> value = value_in(table, row, w.column);
      if (!value) return at(row, table, w.column) + ": '" + shown(cell) + "' is not a number";
      if (w.values == &cases.n && (*value != std::trunc(*value) || std::abs(*value) > INT_MAX))
        return at(row, table, w.column) + ": the count " + shown(cell) + " is not a whole number";
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

std::string traits_table_text(const Cases& cases) {
  std::string covariate = blanked(cases.c_name);
  if (covariate.find_first_of(",\"") != std::string::npos || covariate == "y" || covariate == "n" ||
      std::find(cases.trait_names.begin(), cases.trait_names.end(), covariate) != cases.trait_names.end())
    covariate = "covariate";
  std::string text = "y,n";
  for (const std::string& name : cases.trait_names) text.append(",").append(name);
  if (cases.has_c) text.append(",").append(covariate);
  text += "\n";
  for (std::size_t i = 0; i < cases.y.size(); ++i) {
    text +=
        shortest(cases.y[i]) + "," + (cases.has_n ? std::to_string(static_cast<long long>(cases.n[i])) : "1");
    text.append(",").append(shortest(cases.x[i]));
    for (const std::vector<double>& trait : cases.traits) text.append(",").append(shortest(trait[i]));
    if (cases.has_c) text.append(",").append(shortest(cases.c[i]));
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

std::string columns_text(const Cases& cases) {
  std::string text = "Y " + shown(cases.y_name) + (cases.words.empty() ? "" : ", " + cases.words) + "; X " +
                     shown(cases.x_name);
  if (cases.has_c) {
    text += "; C " + shown(cases.c_name) + (cases.categorical ? ", categorical" : "");
    for (std::size_t k = 0; k < cases.levels.size(); ++k)
      text += (k ? ", " : ": ") + shown(cases.levels[k]) + " = " + std::to_string(k + 1);
  }
  if (cases.has_n) text += "; N " + shown(cases.n_name);
  if (!cases.traits.empty()) {
    text += "; traits";
    for (const std::string& name : cases.trait_names) text += " " + shown(name);
    if (cases.surface) text += ", a surface";
  }
  return text;
}

}  // namespace trov::import
