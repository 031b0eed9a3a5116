#include "frontend/engine_messages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace trov::front {
namespace {

// The advice follows the number of the fault in trov.json, whatever the message's words: a message
// that reads like another fault's must not change it.
TEST(engine_messages_test, a_failed_run_shows_its_reported_message_and_the_advice_of_its_code) {
  EngineOutcome outcome;
  outcome.started = true;
  outcome.exit_status = 1;
  outcome.error_lines = {"PAUSE  statement executed", "s_paus: can't open con!"};
  const ErrorReport report{6, {"Error: Y has no variance"}};
  EXPECT_EQ(
      engine_failure_text(outcome, report),
      "The engine stopped with exit status 1.\n"
      "Nothing is plotted, and neither trov.wmf nor the copy of the results is written.\n\n"
      "The engine's message:\nError: Y has no variance\n\n"
      "What to do:\nY must be a 0/1 or a proportion for the binomial model; choose Poisson for counts.");
  // without trov.json (the engine was killed): how it ended and its standard error, as written
  outcome.exit_status = 0, outcome.signal = 9;
  EXPECT_EQ(engine_failure_text(outcome, std::nullopt),
            "The engine was ended by signal 9 (Killed).\n"
            "Nothing is plotted, and neither trov.wmf nor the copy of the results is written.\n\n"
            "The engine wrote on standard error:\nPAUSE  statement executed\ns_paus: can't open con!");
  for (int code = 1; code <= 20; ++code) EXPECT_NE(advice_for_error(code), "") << code;
  EXPECT_EQ(advice_for_error(0), "");
}

// The advice after a data file the engine could not read follows what the file's lines hold.
TEST(engine_messages_test, a_data_file_fault_is_explained_by_the_data_file) {
  const std::string import =
      "read the table with File > Import table..., which writes a data file the engine reads.";
  auto advice = [&](const std::string& text, int code = 16) {
    std::istringstream in(text);
    const DataLines data = survey_data_lines(in);
    return advice_for_error(code, &data);
  };
  EXPECT_EQ(advice("y x\n1 2\n0 3\n"),
            "The data file starts with a header line of column names: remove it, or " + import);
  EXPECT_EQ(advice("1;2\n0;3\n", 3),
            "Line 1 of the data file holds semicolons, as a spreadsheet's table does: " + import);
  EXPECT_EQ(
      advice("1 2\n0,,3\n"),
      "Line 2 of the data file holds an empty value (two commas in a row, or a comma at an end of the line): "
      "fill it in or leave the case out, or " +
          import);
  EXPECT_EQ(advice("1 2\n0 3\n1\n0 5\n"),
            "Line 3 of the data file holds 1 value where most lines hold 2: a value is missing there.");
  EXPECT_EQ(advice("1 2\nYes 3\n"),
            "Line 2 of the data file holds text where a number belongs (Yes): correct it, or " + import);
  // a regular file gives the advice of the code; another fault never the file's
  EXPECT_EQ(advice("1 2\n0 3\n"), advice_for_error(16));
  EXPECT_EQ(advice("y x\n1 2\n0 3\n", 4), advice_for_error(4));
}

TEST(engine_messages_test, the_warnings_that_changed_the_settings_come_once_with_their_advice) {
  const std::vector<std::string> warnings = {"Warning: lmin must be smaller than lmax",
                                             "grid_minimum_at_edge: the smallest GCV score lies at an end",
                                             "Warning: lmin must be smaller than lmax"};
  EXPECT_EQ(settings_warnings(warnings), std::vector<std::string>{"Warning: lmin must be smaller than lmax"});
  EXPECT_EQ(advice_for_warnings(settings_warnings(warnings)),
            std::vector<std::string>{"The smallest and the largest lambda were exchanged."});
}

// Warnings are told by their kind, the word before the colon; their numbers as the dialog shows them.
TEST(engine_messages_test, warnings_have_kinds_and_their_numbers_are_rounded) {
  EXPECT_EQ(warning_kind("not_converged: the classic fits at ln(lambda) = 4 stopped"), "not_converged");
  EXPECT_EQ(warning_kind("Warning: lmin must be smaller than lmax"), "Warning");
  EXPECT_EQ(warning_kind("at ln(lambda) = 4: no kind"), "");
  EXPECT_EQ(warning_kind(": nothing"), "");
  for (const char* kind : {"not_converged", "bootstrap_not_converged", "classic_differs",
                           "classic_gcv_minimum_differs", "classic_inaccurate"})
    EXPECT_TRUE(about_classic_fits(kind)) << kind;
  for (const char* kind : {"structure_mismatch", "overdispersion", "lunar_phase", "Warning", ""})
    EXPECT_FALSE(about_classic_fits(kind)) << kind;
  EXPECT_EQ(
      warning_text("classic_differs:  at ln(lambda) = 2.9600000381469727, -10 and 0.123456789 by 1e-07"),
      "at ln(lambda) = 2.96, -10 and 0.1235 by 1e-07");
  EXPECT_EQ(rounded_numbers("x2.9600000381469727 v1.2345678 123456789 and 0.004999999888241291"),
            "x2.9600000381469727 v1.2345678 123456789 and 0.005");
  EXPECT_EQ(number_text(-4.0), "-4");
  EXPECT_EQ(number_text(static_cast<float>(1.14)), "1.14");
}

}  // namespace
}  // namespace trov::front
