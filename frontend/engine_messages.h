#pragma once
// What the front end tells the user about an engine run, made from the lines the engine printed.
#include <string>
#include <vector>

#include "frontend/engine_process.h"

namespace trov::front {

// The engine's own messages: its lines without the pause protocol of an error stop (which a user of a
// window cannot answer) and without empty lines; the last `most` of them.
std::vector<std::string> engine_messages(const std::vector<std::string>& lines, std::size_t most = 15);

// The warnings among the lines (" Warning: ..."), each once, without the leading blank.
std::vector<std::string> engine_warnings(const std::vector<std::string>& lines);

// Plain advice for the common messages among the lines, one sentence each, in the order of the table.
std::vector<std::string> advice_for(const std::vector<std::string>& lines);

// The message box text for an engine that did not end with status 0: how it ended, what it said,
// and what to do.
std::string engine_failure_text(const EngineOutcome& outcome);

}  // namespace trov::front
