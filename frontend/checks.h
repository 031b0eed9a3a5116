#pragma once
// What the front end checks after OK, before it writes or deletes anything. Each check returns the text
// of its message box, or nothing when all is well. File names are taken in the working directory.
#include <optional>
#include <string>

#include "frontend/settings_file.h"

namespace trov::front {

// Every number field that is active for the chosen option and model holds one number in the free form
// the engine reads (blanks around it allowed), a whole number where the engine needs one, within the
// 10 columns trov.in gives it. The message names the first field that does not, and what was typed.
std::optional<std::string> number_field_fault(const DialogValues& values);

// The data file is none of the run's own files (trov.in, trov.out, trov.wmf, trov.json, the figures);
// the output name is neither one of them nor the data file, and neither are the names of the copies
// under its stem (result_copies), unless a copy is the very file it copies. The output name trov.out
// itself means "no copy".
std::optional<std::string> file_name_fault(const DialogValues& values);

// When the first lines of the data file all hold the same number of values, and the structure and the
// covariate choice read another number per case, the question to put before the run. Nothing when the
// file cannot be read (the engine reports that) or its lines differ (a case may run over several lines).
std::optional<std::string> structure_mismatch(const DialogValues& values);

// The lines of the data file hold different numbers of values, or decimal commas between tabs or
// semicolons: the engine would read the file, but likely not as meant. The question to put before the
// run, naming the lines; nothing for a regular file or one that cannot be read.
std::optional<std::string> data_lines_question(const DialogValues& values);

// The copies under the output name (result_copies) that would replace or delete files that trovwin did
// not write (common/written_files.h), such as another data set: the question, naming them.
std::optional<std::string> replace_question(const DialogValues& values);

}  // namespace trov::front
