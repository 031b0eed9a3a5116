#pragma once

#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace trov {

// The table of the analysis of several traits (trov.options' traits_file): a CSV text of one header
// line, y,n,<the traits>[,<covariate>], and one case a line, every value a number.
struct TraitsTable {
  std::vector<std::vector<double>> traits;  // a column per trait, in the order of trov.options
  std::vector<double> y, n;
  std::string covariate_name;  // the covariate's column, or empty without one
  std::vector<double> covariate;
};

// The table in the text: y, n and each trait found by its name (blanks and double quotes around a
// name are not part of it), with one column beside them exactly when the run has a covariate. Or why
// not: a column missing or given twice, a column too many or too few, a line of another number of
// values than the header, or a value that is not a finite number (naming its line and column).
std::variant<TraitsTable, std::string> parse_traits_table(std::string_view text,
                                                          const std::vector<std::string>& traits,
                                                          bool covariate);

// Reads the table file of the working folder: it must be a regular file that is none of the run's own,
// and hold the data file's count of cases. A fault ends the run through stop_on_file_error
// (ErrorCode::traits_file), its report naming the file.
TraitsTable read_traits_table(const std::string& name, const std::vector<std::string>& traits, bool covariate,
                              int cases);

}  // namespace trov
