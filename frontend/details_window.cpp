#include "frontend/details_window.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/report_keys.h"
#include "frontend/engine_messages.h"
#include "frontend/run_details.h"

namespace trov::front {

namespace {

std::string two_decimals(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

std::string run_lines(const RunDetails& run) {
  std::string text = "Data: " + std::filesystem::path(run.data_file).filename().string() + ", " + run.model +
                     " model, " + std::to_string(run.cases) + " cases (" + std::to_string(run.observations) +
                     " observations)";
  if (run.covariates > 0) text += run.categorical ? ", categorical covariate" : ", continuous covariate";
  text += "\n";
  if (run.kind == RunKind::grid) {
    text += "Run: a grid of " + std::to_string(run.grid_lnlambda.size()) + " values of ln(lambda) from " +
            number_text(run.grid_lnlambda.front()) + " to " + number_text(run.grid_lnlambda.back()) + "\n";
    if (run.recommended) text += "Answer: " + run.recommended->text + "\n";
    // the classic fits' smallest GCV score, ties to the first row, as trov.out's readers find it
    const auto best = std::min_element(run.grid_gcv.begin(), run.grid_gcv.end(), [](double a, double b) {
      return std::isfinite(a) && (!std::isfinite(b) || a < b);
    });
    if (best != run.grid_gcv.end() && std::isfinite(*best))
      text += "Classic GCV minimum: ln(lambda) = " +
              number_text(run.grid_lnlambda[static_cast<std::size_t>(best - run.grid_gcv.begin())]) + "\n";
    return text;
  }
  text += "Run: ln(lambda) = " + number_text(run.lnlambda);
  if (std::isfinite(run.edf)) text += ", " + two_decimals(run.edf) + " effective parameters";
  text += "\n";
  if (run.kind == RunKind::bootstrap) {
    text +=
        "Bootstrap: " + std::to_string(run.replicates) + " replicates, lambda " +
        (run.bootstrap_lambda == "reselected" ? "re-chosen per replicate by " + criterion_title(run.criterion)
                                              : std::string("fixed"));
    if (run.lnlambda_quantiles.size() == 3)
      text += " (median ln(lambda) " + two_decimals(run.lnlambda_quantiles[1]) + ", 95% between " +
              two_decimals(run.lnlambda_quantiles[0]) + " and " + two_decimals(run.lnlambda_quantiles[2]) +
              ")";
    text += "\n";
  }
  return text;
}

std::string gradient_lines(const RunDetails& run) {
  if (!run.beta || !run.gamma) return {};
  const auto pair = [&](const char* beta, const char* gamma, const Gradient& b, const Gradient& g) {
    return gradient_text(beta, b, {.with_p = true}) + ", " +
           gradient_text(gamma, g, {.with_p = true, .link_only = run.linear_limit});
  };
  std::string text =
      "Selection gradients of the converged fit: " + pair("beta", "gamma", *run.beta, *run.gamma);
  if (run.beta_standardized && run.gamma_standardized)
    text += "\nStandardized: " + pair("beta'", "gamma'", *run.beta_standardized, *run.gamma_standardized);
  return text + "\n";
}

// The warnings of one group, each with its kind, its numbers rounded.
std::string warning_lines(const RunDetails& run, bool classic, const char* heading) {
  std::string text;
  for (const ReportWarning& w : run.warnings)
    if (about_classic_fits(w.kind) == classic)
      text.append("  ")
          .append(w.kind)
          .append(w.kind.empty() ? "" : ": ")
          .append(rounded_numbers(w.text))
          .append("\n");
  return text.empty() ? text : std::string("\n").append(heading).append("\n").append(text);
}

}  // namespace

std::string details_text(const std::string& path) {
  const RunReport report = read_run_report(path);
  const RunDetails run = run_details(report);
  if (!run.read) {
    if (const std::optional<ErrorReport>& error = report.error) {
      std::string text = "The last run stopped on an error:\n";
      for (const std::string& line : error->message) text.append("  ").append(line).append("\n");
      if (const std::string advice = advice_for_error(error->code); !advice.empty())
        text += "\nWhat to do:\n  " + advice + "\n";
      return text;
    }
    return "No details: " + run.unread + ".\n";
  }
  std::string text = run_lines(run);
  if (run.classic_stopped)
    text += "The classic table of trov.out stopped at ln(lambda) = " +
            number_text(run.classic_stopped->lnlambda) + " (" + run.classic_stopped->message +
            "); the plot shows the converged fits\n";
  if (std::isfinite(run.dispersion))
    text += "Dispersion (Pearson, converged fit): " + significant_text(run.dispersion, 3) +
            (has_warning(run.warnings, report_keys::warning_kind::overdispersion) ? ", overdispersed" : "") +
            "\n";
  text += gradient_lines(run);
  text += warning_lines(
      run, true,
      "About the classic fits, whose numbers trov.out prints (the plot shows the converged fits):");
  text += warning_lines(run, false, "Other warnings:");
  return text;
}

void show_details(const std::string& text) {
  Fl_Double_Window window(700, 440, "Details of the last run");
  Fl_Text_Buffer buffer;
  Fl_Text_Display display(10, 10, 680, 380);
  display.buffer(&buffer);
  display.wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
  display.textfont(FL_HELVETICA);
  Fl_Return_Button close(580, 400, 110, 28, "Close");
  window.end();
  window.resizable(display);
  buffer.text(text.c_str());
  bool done = false;
  close.callback([](Fl_Widget*, void* d) { *static_cast<bool*>(d) = true; }, &done);
  window.callback([](Fl_Widget*, void* d) { *static_cast<bool*>(d) = true; }, &done);  // Escape, close box
  window.set_modal();
  window.show();
  close.take_focus();
  while (!done && window.shown()) Fl::wait();
  display.buffer(nullptr);
}

}  // namespace trov::front
