#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/list_reader.h"
#include "engine/analysis/faults.h"

namespace trov {

// Every message the engine program writes on the console, in one place (messages.cpp holds the texts;
// the faults' words are the analysis's, faults.h).

// Repairs of the settings: a line on standard output, and the run goes on.
enum class SettingsWarning { nstep_below_one, lmin_not_below_lmax, bootstrap_needs_fixed_lambda };

// The lines a warning writes, each ended by a line end.
std::string warning_message(SettingsWarning warning);

// The other console lines: the count of cases read, where the results go, bootstrap progress.
std::string cases_read_message(int cases);
std::string results_file_message();
std::string progress_message(int replicate);

// A line on standard error at least every few seconds of a long loop (the console's progress lines
// come every 100 replicates, which can be minutes apart): "bootstrap: 140 of 1000 replicates done".
// Items may be done on any thread.
class ProgressLines {
 public:
  explicit ProgressLines(int total) : total_(total), last_(std::chrono::steady_clock::now()) {}
  void item_done();

 private:
  std::mutex mutex_;
  int total_, done_ = 0;
  std::chrono::steady_clock::time_point last_;
};

// Writes the warning's line.
void warn(SettingsWarning warning);

// Told of every warning and fault message as it is written (the run's report records them).
class MessageListener {
 public:
  virtual void warned(const std::string& message) = 0;
  // Before the fault's message is written and the run stops.
  virtual void stopping(const std::string& message, ErrorCode code) = 0;

 protected:
  ~MessageListener() = default;
};
// The listener of the run, or null for none: the engine program's report, which hears every message.
void set_message_listener(MessageListener* listener);

// How the run ends on a fault it detected itself or a file it cannot use: thrown up to main, the one
// place that speaks and ends the program. A fault: its message on standard output and the error stop
// (error_pause, status 1). A file: its report on standard error (none when already written) and
// status 2.
struct ProgramStop {
  enum class Kind { fault, file } kind;
  std::string text;
};

// Ends the run on a fault it detects itself (ProgramStop); the listener hears the message first.
[[noreturn]] void stop_run(Fault fault, const FaultDetails& details = {});

// A file the engine cannot open or write: `report` is one line, without its end (ProgramStop). The
// listener hears it first, so a report of the run says why the run ended.
[[noreturn]] void stop_on_file_error(ErrorCode code, const std::string& report);

// A statement of the parameter or data file that could not be completed: its report
// (input_fault_report) through stop_on_file_error.
[[noreturn]] void input_fault(const ListReader& reader, const ListReader::Result& result, ErrorCode code);
// Reads one statement of the parameter file (read_all) and ends the run through input_fault unless every
// item has its value.
void read_or_fail(ListReader& reader, std::initializer_list<ListReader::Target> items);

}  // namespace trov
