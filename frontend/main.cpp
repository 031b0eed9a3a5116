// trovwin: the settings dialog, the engine run and the plots of its results.
#include <FL/fl_ask.H>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/error_stop.h"
#include "common/list_writer.h"
#include "frontend/dialog.h"
#include "frontend/engine_process.h"
#include "frontend/plots.h"
#include "frontend/results_table.h"
#include "frontend/settings_file.h"

namespace fs = std::filesystem;
using namespace trov::front;

namespace {

void tell(const char* caption, const std::string& text) {
  fl_message_title(caption);
  fl_alert("%s", text.c_str());
}

// The results file is copied under the name the user gave, replacing an existing file. A name that
// leads to trov.out itself ("./trov.out", its full path) needs no copy.
void copy_results(const std::string& outfil) {
  if (outfil.empty() || outfil == "trov.out" || !fs::exists("trov.out")) return;
  std::error_code ec;
  if (fs::equivalent("trov.out", outfil, ec)) return;
  fs::copy_file("trov.out", outfil, fs::copy_options::overwrite_existing, ec);
  if (ec) tell("trovwin", "The results could not be copied to \"" + outfil + "\": " + ec.message());
}

void run_and_plot(const DialogValues& v, const std::string& engine) {
  std::error_code ec;
  fs::remove("trov.out", ec);
  fs::remove("trov.wmf", ec);
  EngineOutcome outcome = run_engine_process(engine, "trov.in");
  std::string why = outcome.failure;
  ResultsTable table;
  if (why.empty()) why = read_results_table("trov.out", v.M, table);
  if (why.empty()) why = plot_results(table, v.M);
  if (!why.empty()) {
    std::string text = "No results could be plotted: " + why + ".";
    if (!outcome.last_lines.empty()) {
      text += "\n\nThe engine's last lines:\n";
      for (const std::string& line : outcome.last_lines) text += line + "\n";
    }
    tell("trovwin", text);
  }
  copy_results(v.outfil);
}

}  // namespace

int main() {
  const fs::path start_dir = fs::current_path();
  DialogValues values = default_values();
  if (fs::exists("trov.in") && !load_parameter_file("trov.in", values)) {
    trov::say(trov::ListWriter().text("Error reading TROV.IN"));
    trov::say(trov::ListWriter().text("Delete TROV.IN and start again"));
    trov::error_stop();
  }
  const std::string engine = engine_path();
  while (true) {
    run_dialog(values);  // Quit ends the program here
    fs::current_path(start_dir);  // the file chooser may have moved it
    {
      std::ofstream parameters("trov.in", std::ios::trunc);
      parameters << parameter_file_text(values);
      if (!parameters.flush()) {
        tell("trovwin", "trov.in could not be written in " + start_dir.string());
        continue;
      }
    }
    run_and_plot(values, engine);
  }
}
