#pragma once
// What the front end tells the user about an engine run, made from the lines the engine printed.
#include <string>
#include <vector>

#include "common/data_lines.h"
#include "frontend/engine_process.h"

namespace trov::front {

// The engine's own messages: its lines without the pause protocol of an error stop (which a user of a
// window cannot answer) and without empty lines; the last `most` of them.
std::vector<std::string> engine_messages(const std::vector<std::string>& lines, std::size_t most = 15);

// The warnings among the lines (" Warning: ..."), each once, without the leading blank.
std::vector<std::string> engine_warnings(const std::vector<std::string>& lines);

// Plain advice for the common messages among the lines, one sentence each, in the order of the table.
// For a data file the engine could not read, what its lines hold (when known) gives the advice.
std::vector<std::string> advice_for(const std::vector<std::string>& lines, const DataLines* data = nullptr);

// What the lines of a data file the engine could not read point to: a table for the import, a header
// line, an empty value, a short line or text; empty when nothing stands out.
std::string data_file_advice(const DataLines& data);

// The message box text for an engine that did not end with status 0: how it ended, what it said,
// and what to do (with what the data file's lines hold, when known).
std::string engine_failure_text(const EngineOutcome& outcome, const DataLines* data = nullptr);

}  // namespace trov::front
