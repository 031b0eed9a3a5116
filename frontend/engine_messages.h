#pragma once
// What the front end tells the user about an engine run, from the run's trov.json: the warnings that
// changed the settings, and after a failed run its message and the advice that the number of its fault
// calls for. Without a trov.json, how the engine ended and what it wrote on standard error, as written.
#include <optional>
#include <string>
#include <vector>

#include "common/data_lines.h"
#include "frontend/engine_process.h"
#include "frontend/run_details.h"

namespace trov::front {

// The warnings among trov.json's warnings that changed the settings (those starting "Warning:"; the
// others are the diagnostics, which the plot's notes show), each once.
std::vector<std::string> settings_warnings(const std::vector<std::string>& warnings);

// Plain advice for those warnings, one sentence each.
std::vector<std::string> advice_for_warnings(const std::vector<std::string>& warnings);

// Plain advice for the fault numbered `code` (trov.json's error_code, engine/core/error_code.h); empty for
// a number without advice.
// For a data file the engine could not read, what its lines hold (when known) gives the advice.
std::string advice_for_error(int code, const DataLines* data = nullptr);

// What the lines of a data file the engine could not read point to: a table for the import, a header
// line, an empty value, a short line or text; empty when nothing stands out.
std::string data_file_advice(const DataLines& data);

// The message box text for an engine that did not end with status 0: how it ended, then the message
// and advice of trov.json's error report, or without one what the engine wrote on standard error.
std::string engine_failure_text(const EngineOutcome& outcome, const std::optional<ErrorReport>& report,
                                const DataLines* data = nullptr);

}  // namespace trov::front
