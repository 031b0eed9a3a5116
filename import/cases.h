#pragma once
// The cases of a table for the engine: the chosen columns, the cases with a missing value left out, and
// the data file that holds them.
#include <optional>
#include <string>
#include <vector>

#include "import/table.h"

namespace trov::import {

// The columns chosen, by name (or 1-based number); c and n empty when not wanted. `one`: the word of a
// two-word response column taken as 1 (Yes/No and TRUE/FALSE need none).
struct Choice {
  std::string y{}, x{}, c{}, n{}, one{};
};

struct Cases {
  std::vector<double> y, x, c, n;
  bool has_c = false, has_n = false;
  std::string y_name, x_name, c_name, n_name;  // the chosen columns' names
  int left_out = 0;                            // cases with a missing value in a chosen column
  std::vector<int> left_out_lines;             // the table's lines of the first of them (kMostLinesKept)
  std::string words;                           // for a word response: "Yes = 1, No = 0"

  static constexpr std::size_t kMostLinesKept = 10;
};

// Takes the chosen columns' cases. Nothing, or why not: a column that is not there, text in a numeric
// column (its line, column and the text), a count that is not whole, a response of words that does not
// say which is 1, or no case left.
std::optional<std::string> take_cases(const Table& table, const Choice& choice, Cases& cases);

// The data file's text: one case a line, "Y X [C] [N]", each number at full precision (it reads back
// to the same double), N as a whole number.
std::string data_file_text(const Cases& cases);

// "2 cases left out for missing values (lines 21, 40)", or "no case left out".
std::string left_out_text(const Cases& cases);

}  // namespace trov::import
