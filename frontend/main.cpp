// trovwin: the settings dialog, the engine run and the plots of its results.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>

#include "frontend/checks.h"
#include "frontend/dialog.h"
#include "frontend/engine_messages.h"
#include "frontend/engine_process.h"
#include "frontend/message_box.h"
#include "frontend/plot_notes.h"
#include "frontend/plots.h"
#include "frontend/run_files.h"
#include "frontend/run_window.h"
#include "frontend/settings_file.h"
#include "import/import_file.h"

namespace fs = std::filesystem;
using namespace trov::front;

namespace {

// The checks after OK, before anything is written or deleted; false sends the user back to the dialog.
bool settings_accepted(const DialogValues& v) {
  if (auto fault = number_field_fault(v)) {
    tell(caption::settings, *fault);
    return false;
  }
  if (auto fault = file_name_fault(v)) {
    tell(caption::file_names, *fault);
    return false;
  }
  if (auto question = structure_mismatch(v); question && !run_anyway(caption::structure, *question))
    return false;
  if (auto question = data_lines_question(v); question && !run_anyway(caption::structure, *question))
    return false;
  if (auto question = replace_question(v); question && !ask(caption::replace, *question, "No", "&Yes"))
    return false;
  return true;
}

// What an import left out belongs to the data file it wrote; with another data file its facts, its
// traits table (which holds the import's cases) and the column names it gave as axis titles go.
void forget_import_of_other_data(DialogValues& v) {
  trov::Options& o = v.options;
  if (o.import.data.empty() || same_file(o.import.data, v.datfil)) return;
  if (o.traits.file == trov::import::traits_table_file(o.import.data).string()) o.traits = {};
  o.import = {};
  o.x_label.clear();
  o.y_label.clear();
}

bool write_parameter_file(DialogValues& v, const fs::path& folder) {
  forget_import_of_other_data(v);
  std::ofstream parameters("trov.in", std::ios::trunc);
  parameters << parameter_file_text(v);
  if (!parameters.flush()) {
    tell(caption::trov_in, "trov.in could not be written in " + folder.string() + ". Nothing has been run.");
    return false;
  }
  if (const std::string why = save_options_file(trov::kOptionsFile, v.options); !why.empty()) {
    tell(caption::trov_in, std::string(trov::kOptionsFile) + " could not be written in " + folder.string() +
                               " (" + why + "). Nothing has been run.");
    return false;
  }
  return true;
}

std::string lines_text(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += "\n" + line;
  return text;
}

// Only an engine that ended with status 0 has results, or one whose classic table stopped while its
// converged analysis went on (trov.json says so): then its warnings, the plot, trov.wmf, the figures and
// the copy. A cancelled run shows nothing of what it wrote. After a grid, the dialog offers its
// recommended lambda as the fixed lambda. Nothing, or why trovwin ends (PlotOutcome::ending).
std::optional<std::string> run_and_plot(DialogValues& v, const std::string& engine) {
  remove_results();
  // a fixed lambda that is the one the last grid recommended: the caption says how it was chosen
  std::string lambda_origin;
  if (v.iopt == 1 && !v.suggested_lambda.empty() && without_trailing_blanks(v.lmin) == v.suggested_lambda)
    lambda_origin = "the " + criterion_title(std::string(trov::criterion_name(v.options.criterion))) +
                    " choice of the preceding grid search";
  v.suggested_lambda.clear();
  const EngineOutcome outcome = run_engine_window(engine, "trov.in");
  if (!outcome.started) {
    tell(caption::engine_stopped, "trovwin " + outcome.failure + ".\nNothing has been run.");
    return std::nullopt;
  }
  if (outcome.cancelled) {
    tell(caption::cancelled,
         "The run was cancelled before its end: nothing is plotted and no results are copied.\ntrov.out "
         "holds only what the engine wrote before; trov.json says the run was interrupted.");
    return std::nullopt;
  }
  // everything shown comes from trov.json; trov.out is the user's to read
  const RunReport report = read_run_report("trov.json");
  RunDetails run = run_details(report);
  complete_bootstrap_points(run);
  if (!outcome.succeeded() && !run.classic_stopped) {
    const std::optional<trov::DataLines> lines = trov::survey_data_file(v.datfil);
    tell(caption::engine_stopped, engine_failure_text(outcome, report.error, lines ? &*lines : nullptr));
    return std::nullopt;
  }
  if (const auto warnings = settings_warnings(warning_lines(run.warnings)); !warnings.empty())
    tell(caption::warnings, "The engine warned:" + lines_text(warnings) + "\n" +
                                lines_text(advice_for_warnings(warnings)) + "\n\nOK shows the plot.");
  const PlotNotes notes = plot_notes(report);
  const PlotOutcome plot = plot_results(run, notes.lines, v.options, lambda_origin);
  if (!plot.ending.empty()) return plot.ending;
  if (!plot.figures_fault.empty())
    tell(caption::figures, plot.figures_fault + ".\nThe plot is in trov.wmf, the results in trov.out.");
  if (const TraitRun traits = read_trait_run("trov.json"); traits.present)
    if (const std::string why = plot_traits(traits, v.options); !why.empty())
      tell(caption::figures, why + ".\nThe results of the traits are in trov.json.");
  if (plot.not_drawn.empty() && run.kind == RunKind::grid) v.suggested_lambda = notes.suggested_lambda;
  if (!plot.not_drawn.empty()) {
    std::string text = "No results could be plotted: " + plot.not_drawn + ".";
    if (!outcome.error_lines.empty())
      text += "\n\nThe engine wrote on standard error:" + lines_text(outcome.error_lines);
    tell(caption::no_plot, text);
  }
  if (std::string failed = copy_results(v.outfil); !failed.empty())
    tell(caption::copy,
         "The results could not be copied to \"" + v.outfil + "\": " + failed + ".\nThey are in trov.out.");
  return std::nullopt;
}

}  // namespace

int main() {
  const fs::path start_dir = fs::current_path();
  DialogValues values = default_values();
  if (fs::exists("trov.in"))
    if (std::string why = load_parameter_file("trov.in", values); !why.empty())
      tell(caption::last_settings, "trov.in in " + start_dir.string() + " cannot be used (" + why +
                                       ").\nThe dialog shows the default settings; OK replaces trov.in.");
  if (std::string why = load_options_file(trov::kOptionsFile, values.options); !why.empty())
    tell(caption::last_settings, std::string(trov::kOptionsFile) + " in " + start_dir.string() +
                                     " cannot be used (" + why +
                                     ").\nThe dialog shows the default settings; OK replaces it.");
  const std::string engine = engine_path();
  while (run_dialog(values)) {    // until Quit or the close box
    fs::current_path(start_dir);  // the file chooser may have moved it
    if (!settings_accepted(values) || !write_parameter_file(values, start_dir)) continue;
    if (const std::optional<std::string> ending = run_and_plot(values, engine)) {
      std::cout << *ending << '\n';
      return 1;
    }
  }
  return 0;
}
