#pragma once
// File > Import table...: a window that reads a table as spreadsheets export it, shows its first rows,
// lets the user choose the columns, and writes the data file in the engine's format (import/).
#include <optional>
#include <string>

#include "common/options_file.h"

namespace trov::front {

struct ImportedTable {
  std::string data_file;  // the data file written, as the dialog is to show it
  bool has_c = false, categorical = false, has_n = false;
};

// Runs the window until Import or Cancel. On Import the data file is written (a file trovwin did not
// write is replaced only after a Yes), and `options` get the axis titles and what was left out.
std::optional<ImportedTable> run_import_window(Options& options);

}  // namespace trov::front
