#include "engine/io/messages.h"

#include <cstdio>
#include <iostream>

#include "common/console.h"
#include "common/format.h"
#include "common/list_writer.h"
#include "common/settings_warnings.h"

namespace trov {

namespace {

MessageListener* listener = nullptr;

std::string line(std::string_view text) { return ListWriter().text(text).str(); }

}  // namespace

std::string warning_message(SettingsWarning warning) {
  switch (warning) {
    case SettingsWarning::nstep_below_one:
      return line(settings_warning::nstep_below_one);
    case SettingsWarning::lmin_not_below_lmax:
      return line(settings_warning::lmin_not_below_lmax);
    case SettingsWarning::bootstrap_needs_fixed_lambda:
      return line(settings_warning::bootstrap_needs_fixed_lambda);
  }
  return {};
}

std::string cases_read_message(int cases) {
  return format_record("(/1X,I4,A/)", {cases, " cases read from file"});
}

std::string results_file_message() { return line("Results will be written to file TROV.OUT"); }

std::string progress_message(int replicate) { return ListWriter().integer(replicate).str(); }

void ProgressLines::item_done() {
  constexpr auto kInterval = std::chrono::seconds(2);
  std::lock_guard lock(mutex_);
  ++done_;
  const auto now = std::chrono::steady_clock::now();
  if (now - last_ < kInterval) return;
  last_ = now;
  std::fprintf(stderr, "bootstrap: %d of %d replicates done\n", done_, total_);
}

void warn(SettingsWarning warning) {
  const std::string message = warning_message(warning);
  if (listener) listener->warned(message);
  say(message);
}

void set_message_listener(MessageListener* message_listener) { listener = message_listener; }

void stop_run(Fault fault, const FaultDetails& details) {
  const std::string message = fault_message(fault, details);
  if (listener) listener->stopping(message, error_code(fault));
  throw ProgramStop{ProgramStop::Kind::fault, message};
}

void stop_on_file_error(ErrorCode code, const std::string& report) {
  if (listener) listener->stopping(report + "\n", code);
  throw ProgramStop{ProgramStop::Kind::file, report};
}

void input_fault(const ListReader& reader, const ListReader::Result& result, ErrorCode code) {
  stop_on_file_error(code, input_fault_report(reader, result));
}

void read_or_fail(ListReader& reader, std::initializer_list<ListReader::Target> items) {
  if (const ListReader::Result r = read_all(reader, items); !r.ok())
    input_fault(reader, r, ErrorCode::parameter_file);
}

}  // namespace trov
