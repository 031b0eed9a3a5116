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

// Reads the table file: a regular file (a pipe would block, a device never end) of at most 256 MB, in
// one of the encodings import/encoding.h reads. Nothing, or why not ("cannot open ...", or the table's
// fault), naming the file.
std::optional<std::string> read_table_file(const std::filesystem::path& file, Table& table);

// Reads the options file when there is one (none: the defaults). Nothing, or why not (naming the file
// and the line at fault).
std::optional<std::string> read_options_file(const std::filesystem::path& file, Options& options);

// The data file an import writes unless told otherwise: the table's name with .dat, beside it
// (plants.csv gives plants.dat; a table that is itself a .dat file gives plants_data.dat).
std::filesystem::path default_data_file(const std::filesystem::path& table);

// The traits table an import of several traits writes beside its data file: the data file's stem with
// _traits.csv (plants.dat gives plants_traits.csv).
std::filesystem::path traits_table_file(const std::filesystem::path& data);

// Why a data file may not have this name: it leads (under any name or link) to the table, or to a file
// that the import or a run writes or reads (trov.in, trov.out, trov.json and its temporary files,
// trov.options, .trov-written) here or beside the data file, or has such a file's name; or the table is
// a file the import writes beside it. Nothing when it may.
std::optional<std::string> data_file_fault(const std::filesystem::path& data,
                                           const std::filesystem::path& table);

// Writes the data file through a new file renamed into place (common/new_file.h), and records it as
// written by trov (common/written_files.h). Whether it may replace an existing file is the caller's to
// decide.
std::optional<std::string> write_data_file(const std::filesystem::path& file, const Cases& cases);

// Writes the traits table of several traits (traits_table_text) as write_data_file writes the data file.
std::optional<std::string> write_traits_table(const std::filesystem::path& file, const Cases& cases);

// The options after an import: the chosen columns' names as the axis titles (control characters as
// blanks, cut to 200 bytes), what was left out, tied to the data file's name as the engine will be
// given it, and the levels of a covariate of words (each cut to fit one line); of several traits, the
// traits table (traits_table_file, beside the data file as its name leads: the engine opens both from
// the same folder), the traits' names and the surface, else no traits. Nothing, or why trov40
// would not read them back (a data file name that is not UTF-8 text, or too long), and then `options`
// are as they were: the caller is to write nothing.
std::optional<std::string> note_import(Options& options, const std::string& table_name,
                                       const std::string& data_name, const Cases& cases);

}  // namespace trov::import
