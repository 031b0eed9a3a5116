#pragma once
// How trov.json comes into place, and what an interrupt of the run leaves of it.
//
// The report is written to a temporary file of its own (a new, unique name beside it, created
// exclusively, so never an existing file nor a link planted under the name) and renamed over the
// report, so two runs in one folder never share a temporary file and a reader sees one run's whole
// report. Once a run has claimed the report, no older report stays: it is removed, and until the run
// has put its own in place, an interrupt (SIGINT, SIGTERM) replaces it by an "error" report that says
// so and removes the run's temporary files.
#include <string>
#include <string_view>

namespace trov {

inline constexpr const char* kReportFile = "trov.json";
// Every temporary file of the report is named this, a dot and a unique suffix (the report's name and ".tmp").
inline constexpr std::string_view kReportTemporaryPrefix = "trov.json.tmp";

// Writes `text` to a new temporary file beside `path`: its name, or empty with errno set.
std::string write_temporary(const std::string& path, const std::string& text);
// Renames the temporary file over `path`; false with errno set (the temporary is then removed).
bool put_in_place(const std::string& temporary, const std::string& path);
// Removes a temporary file that will not be put in place.
void discard_temporary(const std::string& temporary);

// The run from here on owns `path`: an older report there is removed.
void claim_report(const std::string& path);
// The run's last report is in place: an interrupt leaves it as it is.
void report_done();

// Blocks SIGINT and SIGTERM in this thread and every thread it starts from now on, and answers them on
// a thread of its own: the report as said above, a line on standard error, and the end of the process
// by the signal itself (status 130 or 143 in a shell). Called once, before any other thread starts.
void handle_interrupts();

}  // namespace trov
