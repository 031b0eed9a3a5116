#include "frontend/plot_notes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace trov::front {
namespace {

namespace fs = std::filesystem;

// The notes of a trov.json holding `text`.
PlotNotes notes_of(const std::string& text) {
  const fs::path path = fs::temp_directory_path() / ("trovwin_notes_" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << text;
  PlotNotes notes = read_plot_notes(path.string());
  fs::remove(path);
  return notes;
}

std::vector<std::string> texts(const PlotNotes& notes) {
  std::vector<std::string> result;
  for (const PlotNote& note : notes.lines) result.push_back(note.text);
  return result;
}

const std::string kGridSettings =
    R"("settings": {"covariates": 0, "categorical": false, "nstep": 3, "lmin": -15.0, "lmax": 15.0,
        "model": "binomial", "bootstrap_replicates": 0, "data_file": "demo1.dat"},)";

std::string fixture(const std::string& name) {
  return std::string(std::getenv("TROV_SOURCE_DIR")) + "/tests/frontend/fixtures/" + name;
}

TEST(plot_notes_test, grid_minima_are_marked_and_named_and_what_to_do_is_said) {
  const PlotNotes notes = notes_of(R"({"status": "ok", )" + kGridSettings + R"(
    "warnings": ["grid_minimum_at_edge: ...", "classic_differs:  at ln(lambda) = -15 the fits differ by 0.12"],
    "diagnostics": {"grid_minimum_at_edge": true, "not_converged": [-15.0, 0.0], "bootstrap_not_converged": null},
    "grid": [{"lnlambda": -15.0, "trace": 114.4168, "gcv": 0.8877}, {"lnlambda": 0.0, "trace": 5.6, "gcv": 1.0},
             {"lnlambda": 15.0, "trace": 2.0, "gcv": 1.1}],
    "minimum": {"gcv": {"index": 0, "lnlambda": -15.0, "score": 0.8877, "at_edge": true},
                "ocv": {"index": 1, "lnlambda": 0.0, "score": 0.95, "at_edge": false}}})");
  // without a recommended lambda the classic minimum is the answer; the classic fits' warnings are the
  // details'
  EXPECT_EQ(texts(notes), (std::vector<std::string>{
                              "GCV minimum at ln(lambda) = -15.00 (114.42 parameters)",
                              "OCV minimum at ln(lambda) = 0.00 (5.60 parameters)",
                              "Warning: minimum at the edge of the grid: widen it",
                          }));
  ASSERT_TRUE(notes.lines[0].marker && notes.lines[1].marker);
  EXPECT_EQ(notes.lines[0].marker->x, -15.0f);
  EXPECT_EQ(notes.lines[0].marker->y, 0.8877f);
  EXPECT_NE(notes.lines[0].marker->symbol, notes.lines[1].marker->symbol);
  EXPECT_FALSE(notes.lines[2].marker);
  EXPECT_EQ(notes.suggested_lambda, "-15");
}

// Beside a recommended lambda the classic minimum is secondary; a classic table that stopped leaves the
// converged answer, and says where; warnings by kind, whatever their words.
TEST(plot_notes_test, the_notes_follow_the_kinds_of_the_warnings_and_the_diagnostics) {
  EXPECT_EQ(
      texts(read_plot_notes(fixture("grid_classic_stopped.json"))),
      std::vector<std::string>{"The classic table of trov.out stopped at ln(lambda) = -4 (Program crashed "
                               "(GLM weight is zero)); the plot shows the converged fits"});
  EXPECT_EQ(read_plot_notes(fixture("grid_classic_stopped.json")).suggested_lambda, "10.00");
  const std::vector<std::string> boot = texts(read_plot_notes(fixture("boot_linear_overdispersed.json")));
  ASSERT_EQ(boot.size(), 3u);
  EXPECT_EQ(boot[1],
            "Selection gradients: beta = 0.159 (SE 0.0686), gamma = 0.0374: link only (no curvature found)");
  EXPECT_EQ(
      boot[2],
      "Warning: overdispersed (Pearson dispersion 2.44): a parametric bootstrap's SE and P are too small; "
      "resample the cases instead");
  const PlotNotes grid = notes_of(R"({"status": "ok", )" + kGridSettings + R"(
    "warnings": ["structure_mismatch: every line of the data file holds 4 values where a case takes 2: each line is read as one case and its last 2 values are passed over; check the data file structure and the covariate",
                 "classic_differs: at ln(lambda) = 2.9600000381469727 they differ"],
    "diagnostics": {"grid_minimum_at_edge": true, "not_converged": [-15.0]},
    "grid": [{"lnlambda": -15.0, "trace": 114.4168, "gcv": 0.8877}, {"lnlambda": 15.0, "trace": 2.0, "gcv": 1.1}],
    "minimum": {"gcv": {"index": 0, "lnlambda": -15.0, "score": 0.8877, "at_edge": true},
                "recommended": {"criterion": "reml", "lnlambda": 1.8649, "text": "REML chooses"}}})");
  EXPECT_EQ(texts(grid),
            (std::vector<std::string>{
                "Classic GCV minimum at ln(lambda) = -15.00 (114.42 parameters), at an end of the grid",
                "Warning: every line of the data file holds 4 values where a case takes 2: each line "
                "is read as one case and its last 2 values are passed over; check the data file "
                "structure and the covariate"}));
}

TEST(plot_notes_test, the_recommended_lambda_is_offered_with_two_decimals) {
  const PlotNotes notes =
      notes_of(R"({"status": "ok", )" + kGridSettings + R"~("warnings": [], "diagnostics": {},
    "grid": [{"lnlambda": -15.0, "trace": 9.0}],
    "minimum": {"gcv": {"index": 0, "lnlambda": -15.0, "score": 0.8877, "at_edge": true},
                "recommended": {"criterion": "reml", "lnlambda": 1.8649, "edf": 3.83, "limit": null,
                                "text": "REML chooses ln(lambda) = 1.86 (3.83 parameters)"}}})~");
  EXPECT_EQ(notes.suggested_lambda, "1.86");
  EXPECT_EQ(recommended_field_text(-0.001), "0.00");
}

TEST(plot_notes_test, fixed_lambda_names_the_run_and_its_gradients_with_bootstrap_errors) {
  const std::string fixed = R"({"status": "ok", "warnings": [],
    "settings": {"covariates": 1, "categorical": true, "nstep": 1, "lmin": 4.0, "model": "poisson",
                 "bootstrap_replicates": 100, "data_file": "/home/a/field data.dat"},
    "diagnostics": {"grid_minimum_at_edge": null, "not_converged": [4.0], "bootstrap_not_converged": 1},
    "grid": [{"lnlambda": 4.0, "trace": 2.621185, "converged_fit": {"edf": 2.704}}], )";
  PlotNotes notes = notes_of(fixed + R"("bootstrap": {"replicates": 100},
    "selection": {"beta": 0.2543, "gamma": -0.46149,
                  "bootstrap": {"beta": {"se": 0.03449}, "gamma": {"se": 0.0000523}}}})");
  EXPECT_EQ(
      texts(notes),
      (std::vector<std::string>{
          "field data.dat, poisson model, categorical covariate, ln(lambda) = 4.00, 2.70 parameters, 100 "
          "bootstrap replicates",
          "Selection gradients: beta = 0.254 (SE 0.0345), gamma = -0.461 (SE 5.23e-05)"}));
  EXPECT_EQ(notes.suggested_lambda, "");
  // without a bootstrap no standard errors; a gradient that is not finite is written as null
  notes = notes_of(fixed + R"("selection": {"beta": 1234.5, "gamma": null}})");
  EXPECT_EQ(notes.lines[1].text, "Selection gradients: beta = 1234, gamma = undefined");
}

TEST(plot_notes_test, no_notes_from_a_missing_broken_or_failed_results_file) {
  EXPECT_TRUE(read_plot_notes("no/such/trov.json").lines.empty());
  EXPECT_TRUE(notes_of("{\"status\": \"ok\", \"minimum\": ").lines.empty());
  EXPECT_TRUE(notes_of(R"({"status": "error", "warnings": [], "diagnostics": {"not_converged": [1]}})")
                  .lines.empty());
  // a field of another type than the layout gives
  EXPECT_TRUE(notes_of(R"({"status": "ok", )" + kGridSettings + R"("minimum": {"gcv": {"index": "first",
    "lnlambda": 1, "score": 1}}, "grid": []})")
                  .lines.empty());
}

TEST(plot_notes_test, lambda_field_text_fits_the_field) {
  EXPECT_EQ(lambda_field_text(4.0), "4");
  EXPECT_EQ(lambda_field_text(-2.5), "-2.5");
  EXPECT_EQ(lambda_field_text(10.0 / 3.0), "3.33333");
  EXPECT_EQ(lambda_field_text(-2.2e-16), "0");  // a grid point at 0 with a rounding error
  EXPECT_EQ(lambda_field_text(-123456.789), "-123456.8");
  EXPECT_EQ(lambda_field_text(1.5e12), "1.5e+12");
}

}  // namespace
}  // namespace trov::front
