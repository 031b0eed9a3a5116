#pragma once

#include <string>
#include <vector>

namespace trov::front {

inline constexpr int kMostRecords = 10000;

// One table of trov.out, as the plots need it (32-bit reals).
struct ResultsTable {
  enum class Kind { grid, fitted, bootstrap } kind = Kind::grid;
  int n = 0;
  std::vector<float> lnlam, nparam, gcvf, ocvf;         // grid table
  std::vector<float> x, y, yhat, ypred, yminus, yplus;  // fitted-value and bootstrap tables
};

// Finds the table by what the file holds: the bootstrap table when there is a bootstrap section,
// else the fitted-value table, else the grid table of a grid search; reads its records (M: the file has
// covariate columns). Returns an empty text on success, else why nothing can be plotted.
std::string read_results_table(const std::string& path, int M, ResultsTable& table);

}  // namespace trov::front
