#pragma once
// What the front end tells the user about an engine run, from the run's trov.json: the warnings that
// changed the settings, and after a failed run its message and the advice that the number of its fault
// calls for. Without a trov.json, how the engine ended and what it wrote on standard error, as written.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/data_lines.h"
#include "frontend/engine_process.h"
#include "frontend/run_report.h"

namespace trov::front {

// The kind of a warning line of trov.json: the word before its colon ("not_converged"), which names it;
// "Warning" for those that changed the settings; empty for a line that names none.
std::string_view warning_kind(std::string_view line);

// A warning's words, without its kind and the blanks after it.
std::string_view warning_words(std::string_view line);

// A warning's words, its numbers as rounded_numbers gives them.
std::string warning_text(std::string_view line);

// The kinds that concern the classic fits, the numbers trov.out prints, not the converged answer that
// the plots show: the run's details tell them, not a box or a note on every run.
bool about_classic_fits(std::string_view kind);

// The numbers of an engine's text as the front end prints them elsewhere: a value that is a
// single-precision one widened ("2.9600000381469727") as trov.in holds it ("2.96"), another fraction of
// more than 6 significant digits to 4 of them; whole numbers as they are.
std::string rounded_numbers(std::string_view text);

// A number of trov.json as the front end prints it: the shortest text that reads back to it, rounded as
// rounded_numbers rounds ("4", "2.96" for 2.9600000381469727).
std::string number_text(double value);

// The warning lines among trov.json's that changed the settings (those of kind "Warning"; the others
// are the diagnostics, which the plot's notes and the details show), each once.
std::vector<std::string> settings_warnings(const std::vector<std::string>& warnings);

// Plain advice for those warnings, one sentence each (told apart by the engine's own texts,
// common/settings_warnings.h, as those warnings have no kinds of their own).
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
