#pragma once
// The cases of a table for the engine: the chosen columns, the cases with a missing value left out, and
// the data file that holds them.
#include <optional>
#include <string>
#include <vector>

#include "import/table.h"

namespace trov::import {

// How the covariate is to be taken: as the user said, or (unsaid) by its column: words are levels,
// numbers are numbers.
enum class CovariateKind { unsaid, categorical, continuous };

// The columns chosen, by name (or 1-based number); c and n empty when not wanted. `one`: the word of a
// two-word response column taken as 1 (Yes/No and TRUE/FALSE need none); words compare in any case.
struct Choice {
  std::string y{}, x{}, c{}, n{}, one{};
  CovariateKind c_kind = CovariateKind::unsaid;
  // several traits: the columns of the traits beside x (x the first), and a surface of two
  std::vector<std::string> traits{};
  bool surface = false;
};

// The most levels of a categorical covariate (as the engine takes them), and the most distinct whole
// numbers of a covariate column that looks categorical.
inline constexpr std::size_t kMostLevels = 20;
inline constexpr std::size_t kMostFewValues = 10;

struct Cases {
  std::vector<double> y, x, c, n;
  bool has_c = false, has_n = false;
  std::string y_name, x_name, c_name, n_name;  // the chosen columns' names
  std::vector<std::vector<double>> traits;     // several traits: the traits beside x, as Choice::traits
  std::vector<std::string> trait_names;        // x's name and theirs, in order (empty: one trait)
  bool surface = false;
  int left_out = 0;                 // cases with a missing value in a chosen column
  std::vector<int> left_out_lines;  // the table's lines of the first of them (kMostLinesKept)
  std::string words;                // for a word response: "Yes = 1, No = 0"
  bool categorical = false;         // the covariate's values are levels
  std::vector<std::string> levels;  // a covariate of words: its words, which c holds as 1, 2, ... (sorted)
  std::vector<double> few_values;   // a covariate taken as continuous unsaid that looks categorical: its
                                    // few distinct whole numbers, in increasing order

  static constexpr std::size_t kMostLinesKept = 10;
};

// Whether the column looks like a categorical covariate: its first value is a word, or it holds at most
// kMostFewValues distinct numbers, all whole.
bool looks_categorical(const Table& table, std::size_t column);

// Takes the chosen columns' cases. Nothing, or why not: a column that is not there, a table of no case,
// text in a numeric column (its line, column and the text), a decimal comma that may as well be a
// thousands separator, a count that is not whole, a response of words that does not say which is 1, a
// covariate of more than kMostLevels levels, or no case left.
std::optional<std::string> take_cases(const Table& table, const Choice& choice, Cases& cases);

// The data file's text: one case a line, "Y X [C] [N]", each number at full precision (it reads back
// to the same double), N as a whole number.
std::string data_file_text(const Cases& cases);

// The traits table of several traits: "y,n,<the traits>[,<covariate>]" and a case a line, n 1 without
// counts; the covariate's column named as the table named it, or "covariate" where that name cannot
// stand in the header (a comma, a quote, or the name of another column).
std::string traits_table_text(const Cases& cases);

// "2 cases left out for missing values (lines 21, 40)", or "no case left out".
std::string left_out_text(const Cases& cases);

// The chosen columns as the import tells them: "Y survived, Yes = 1, No = 0; X mass (g); C site,
// categorical: field = 1, forest = 2; N count".
std::string columns_text(const Cases& cases);

}  // namespace trov::import
