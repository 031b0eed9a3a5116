#include "engine/program/run.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <thread>

#include "common/console.h"
#include "common/error_stop.h"
#include "common/list_writer.h"
#include "engine/analysis/workers.h"
#include "engine/io/data.h"
#include "engine/io/messages.h"
#include "engine/io/report.h"
#include "engine/io/results.h"
#include "engine/io/settings_file.h"
#include "engine/io/traits_table.h"
#include "engine/program/traits_run.h"
#include "engine/report/reporting.h"

namespace trov {

namespace {

// Points from which trov.json is made on a thread of its own beside trov.out's table: below, starting
// the thread costs more than it saves.
constexpr int kPointsWrittenBeside = 1000;

// The run's report hears every warning and fault message while the run lasts.
class Listening {
 public:
  explicit Listening(MessageListener& listener) { set_message_listener(&listener); }
  ~Listening() { set_message_listener(nullptr); }
  Listening(const Listening&) = delete;
  Listening& operator=(const Listening&) = delete;
};

// A trov.json that could not be written ends the run like a trov.out that could not: status 2.
[[noreturn]] void report_failed(const RunReport& report) {
  report.report_write_failure();
  throw ProgramStop{ProgramStop::Kind::file, ""};
}

[[noreturn]] void stop_on(const RunFault& fault) { stop_run(fault.fault, fault.details()); }

// The bootstrap's progress: a console line every 100 replicates, a line on standard error every few
// seconds.
RunControl progress_lines(const Settings& settings, std::optional<ProgressLines>& lines) {
  if (!settings.bootstrapped()) return {};
  lines.emplace(settings.bootstrap);
  return {.progress = [&lines](int done, int) {
    lines->item_done();
    if (done % 100 == 0) say(progress_message(done));
  }};
}

}  // namespace

void run_engine(std::istream& parameter_stream, const RunOptions& options) {
  std::optional<RunReport> report;
  std::optional<Listening> listening;
  if (options.report) listening.emplace(report.emplace("trov.json"));
  ListReader parameters(parameter_stream, "the parameter file");
  Parameters read = read_settings(parameters);
  const std::string data_file = read_data_file_name(parameters);
  const Options file_options = read_options_file(read.settings, read.columns);
  const Settings& settings = read.settings;
  if (report) report->settings(settings, read.columns, data_file, file_options.import);
  // a data file that is one of the run's own files is refused (by datin) before any report replaces it
  if (run_file_named(data_file)) {
    listening.reset();
    report.reset();
  } else if (report) {
    report->claim();
  }
  std::optional<RunData> prepared;
  try {
    DataLines lines;
    std::optional<Points> cases;  // what a bootstrap of the cases draws
    const bool draws_cases = settings.bootstrapped() && settings.bootstrap_type == BootstrapType::cases;
    Points points = datin(data_file, read.columns, &lines, draws_cases ? &cases : nullptr);
    if (report) report->data_lines(lines, values_per_case(read.columns));
    prepared.emplace(prepare_run(std::move(points), settings, read.columns.covariate, std::move(cases)));
  } catch (const RunFault& fault) {
    stop_on(fault);
  }
  const RunData& data = *prepared;
  const Points& points = data.points;
  const Design* design = data.design();
  if (report) report->data(points, data.observations, data.with());
  // the table of several traits is read before the run's own analysis, so that a fault of it costs
  // no time; its analysis comes after, once trov.out is whole (there is no analysis without a report)
  std::optional<TraitsTable> traits;
  if (const Options::Traits& asked = file_options.traits; report && !asked.names.empty())
    traits = read_traits_table(asked.file, asked.names, read.columns.covariate, points.cases);
  say(results_file_message());

  ResultsFile out("trov.out");
  out.header(settings, design, data.observations, points.n);
  std::optional<ProgressLines> lines;
  const Analysis analysis =
      analyse_run(data, settings, options, available_processors(), progress_lines(settings, lines));
  // trov.out's table ends before a classic fit that stopped the run; trov.json goes on with the
  // converged fits of every row and, at one lambda, the converged fit with its gradients
  const std::size_t table = analysis.classic_stop ? analysis.classic_stop->row : analysis.rows.size();
  for (std::size_t k = 0; k < table; ++k)
    out.grid_line(settings, design, analysis.rows[k].lnlambda, *analysis.rows[k].classic);
  if (report) report_rows(*report, analysis, settings, data);
  if (const auto& stop = analysis.classic_stop) {
    if (report) {
      report->classic_stopped(analysis);
      report_fit(*report, data, analysis);
    }
    stop_on(stop->fault);
  }
  if (analysis.fault) stop_on(*analysis.fault);

  bool reported = true;
  std::exception_ptr reporting_failed;
  const auto make_report = [&] {
    try {
      report_fit(*report, data, analysis);
      if (!traits) reported = report->prepare();
    } catch (...) {  // passed on to the run's thread, which main catches
      reporting_failed = std::current_exception();
    }
  };
  // trov.out's table or bootstrap section, where the run has one: a table of many points is written
  // while trov.json is made beside it, as both come from the same analysis
  const bool section = settings.bootstrapped() || !settings.grid();
  {
    std::optional<std::jthread> reporting;
    if (report && section && points.n >= kPointsWrittenBeside)
      reporting.emplace(make_report);
    else if (report)
      make_report();
    if (settings.bootstrapped())
      out.bootstrap_section(settings, data.with() != nullptr, analysis.bootstrap->degenerate,
                            bootstrap_columns(*analysis.bootstrap, points));
    else if (section)
      out.fitted_table(settings, points, design, *analysis.fit);
  }
  if (reporting_failed) std::rethrow_exception(reporting_failed);
  out.close();  // after trov.json is done, so a failed write stops no thread at work
  if (traits) report->traits(run_traits(file_options.traits, std::move(*traits), settings));
  if (report && !(reported && report->finish())) report_failed(*report);
}

int run_program(std::istream& parameters, const RunOptions& options) {
  try {
    run_engine(parameters, options);
  } catch (const ProgramStop& stop) {
    if (stop.kind == ProgramStop::Kind::fault) {
      say(stop.text);
      return error_pause();
    }
    std::cout.flush();
    if (!stop.text.empty()) std::fprintf(stderr, "%s\n", stop.text.c_str());
    return 2;
  } catch (const std::exception& e) {  // a fault of the engine itself: reported, never an abort
    std::cout.flush();
    std::fprintf(stderr, "Error: the engine failed: %s\n", e.what());
    return 3;
  }
  return 0;
}

}  // namespace trov
