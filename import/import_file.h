#pragma once
// A table file imported into a data file of the engine's format, as trov-import and the front end's
// File > Import table do it.
#include <filesystem>
#include <optional>
#include <string>

#include "common/options_file.h"
#include "import/cases.h"
#include "import/table.h"

namespace trov::import {

// Reads the table file; nothing, or why not ("cannot open ...", or the table's fault).
std::optional<std::string> read_table_file(const std::filesystem::path& file, Table& table);

// The data file an import writes unless told otherwise: the table's name with .dat, beside it
// (plants.csv gives plants.dat; a table that is itself a .dat file gives plants_data.dat).
std::filesystem::path default_data_file(const std::filesystem::path& table);

// Writes the data file through a temporary file renamed into place, and records it as written by trov
// (common/written_files.h). Whether it may replace an existing file is the caller's to decide.
std::optional<std::string> write_data_file(const std::filesystem::path& file, const Cases& cases);

// The options after an import: the chosen columns' names as the axis titles, and what was left out,
// tied to the data file's name as the engine will be given it.
void note_import(Options& options, const std::string& table_name, const std::string& data_name,
                 const Cases& cases);

}  // namespace trov::import
