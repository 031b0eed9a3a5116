#pragma once

#include <atomic>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/data_lines.h"
#include "common/list_reader.h"
#include "engine/core/model.h"
#include "engine/core/points.h"
#include "engine/core/settings.h"

namespace trov {

inline constexpr int kCapacity = 10000;  // most cases of a run

// The name of the data file: the whole next line of the parameter file, trailing blanks removed.
std::string read_data_file_name(ListReader& parameters);

// Why the data file is one of the files a run writes, under whatever name or link leads to it
// (trov.out, trov.json, or a name of trov.json's temporary files in this folder); none for other files.
std::optional<std::string> run_file_named(const std::string& name);

// The values one case takes: Y, X, and the covariate and the count where the settings have them.
int values_per_case(const DataColumns& columns);

// Reads the cases of the data file, reports their count and pools them into points. Faults end in the
// error stop (bad case, too many cases, no case) or, for a file that cannot be opened or is one the run
// writes (run_file_named), in a report on standard error and status 2. Lines that hold different numbers
// of values, lines that all hold more values than a case takes, and decimal commas, are read as ever but
// warned of on standard error; `lines` receives what the file's lines hold, `read` the cases before
// pooling.
Points datin(const std::string& name, const DataColumns& columns, DataLines* lines = nullptr,
             std::optional<Points>* read = nullptr);

}  // namespace trov
