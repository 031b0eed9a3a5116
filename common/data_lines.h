#pragma once
// What the lines of a data file hold, looked at before the cases are read: how many values each line
// holds (the list-directed reading takes a case over a line break without a word, so a line with one
// value too few shifts every case after it), and the signs of a table that the engine cannot read as
// it stands (a header line, empty values, semicolons, decimal commas). Both programs use it: the
// engine to warn, the front end to ask before a run and to advise after a failed one.
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace trov {

struct DataLines {
  struct Line {
    int number = 0;  // 1-based line of the file
    int values = 0;
  };
  int lines = 0;                     // lines that hold a value (blank lines aside)
  int usual_values = 0;              // the number of values most lines hold (ties: the first met)
  int irregular_count = 0;           // lines that hold another number
  std::vector<Line> irregular;       // the first of them (kMostNamed)
  bool header = false;               // line 1 holds text, and the next lines numbers only
  int first_text_line = 0;           // the first line with a value that is no number (0: none)
  std::string first_text;            // that value
  int first_empty_value_line = 0;    // the first line with an empty value: two commas in a row, or a comma
                                     // at either end of the line (0: none)
  int first_semicolon_line = 0;      // the first line with a semicolon (0: none)
  int first_decimal_comma_line = 0;  // the first line where tabs or semicolons separate values such as
                                     // -1,3 (0: none)

  static constexpr std::size_t kMostNamed = 10;
};

// Reads the lines (LF, CR LF or a lone CR; a UTF-8 byte-order mark skipped) up to the end, or up to
// `most_lines` lines that hold a value. Values are separated as the engine separates them: blanks,
// tabs and commas; a slash ends a line's values.
DataLines survey_data_lines(std::istream& in, int most_lines = 1 << 30);

// The survey of the named file, or nothing when it is no regular file or cannot be read (a pipe would
// block, a device never end).
std::optional<DataLines> survey_data_file(const std::string& name);

// "line 21 holds 1, line 40 holds 3" for the first `most` irregular lines.
std::string irregular_lines_text(const DataLines& lines, std::size_t most = 3);

// Every line holds the same number of values, and more than one case takes: each line is then read as
// one case and the rest of it passed over, which a structure or covariate choice that does not fit the
// file gives (a line that holds two cases loses the second).
bool lines_hold_more_than_a_case(const DataLines& lines, int values_per_case);

// "every line of the data file holds 4 values where a case takes 2: each line is read as one case and
// its last 2 values are passed over"
std::string more_than_a_case_text(const DataLines& lines, int values_per_case);

}  // namespace trov
