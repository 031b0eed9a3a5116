#include "frontend/engine_messages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace trov::front {
namespace {

TEST(engine_messages_test, an_error_stop_shows_the_message_and_advice_without_the_pause) {
  EngineOutcome outcome;
  outcome.started = true;
  outcome.exit_status = 1;
  outcome.lines = {"",
                   "    4 cases read from file",
                   "",
                   " Error: Y cannot be greater than 1 in binomial model",
                   "PAUSE  statement executed",
                   "To resume execution, type go.  Other input will terminate the job.",
                   "STOP"};
  EXPECT_EQ(
      engine_failure_text(outcome),
      "The engine stopped with exit status 1.\n"
      "Nothing is plotted, and neither trov.wmf nor the copy of the results is written.\n\n"
      "The engine's message:\n4 cases read from file\nError: Y cannot be greater than 1 in binomial model\n\n"
      "What to do:\nY must be a 0/1 or a proportion for the binomial model; choose Poisson for counts.");
  outcome.lines = {"PAUSE  statement executed", "s_paus: can't open con!"};
  outcome.exit_status = 0, outcome.signal = 9;
  EXPECT_EQ(engine_failure_text(outcome),
            "The engine was ended by signal 9 (Killed).\n"
            "Nothing is plotted, and neither trov.wmf nor the copy of the results is written.");
}

// The advice after a read error follows what the data file's lines hold.
TEST(engine_messages_test, a_read_error_is_explained_by_the_data_file_and_the_engine_remedy_follows) {
  const std::vector<std::string> lines = {
      "", " Error when reading data from input file, line# =    1", "",
      " Possible remedy:", " Program expects an integer in last column (no decimel points)"};
  const std::string import =
      "read the table with File > Import table..., which writes a data file the engine reads.";
  auto advice = [&](const std::string& text) {
    std::istringstream in(text);
    const DataLines data = survey_data_lines(in);
    return advice_for(lines, &data).front();
  };
  EXPECT_EQ(advice("y x\n1 2\n0 3\n"),
            "The data file starts with a header line of column names: remove it, or " + import);
  EXPECT_EQ(advice("1;2\n0;3\n"),
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
  // without the data file, the engine's own remedy only
  EXPECT_EQ(
      advice_for(lines),
      (std::vector<std::string>{
          "That case of the data file holds text where a number belongs: correct it, or check the data file "
          "structure.",
          "The count N in the last column must be a whole number without a decimal "
          "point; if the data file has no count column, choose the structure 'Y X [C]'."}));
}

TEST(engine_messages_test, long_output_keeps_its_last_lines_and_warnings_come_once) {
  std::vector<std::string> lines = {" Warning: lmin must be smaller than lmax"};
  for (int i = 1; i <= 30; ++i) lines.push_back(" Replicate " + std::to_string(i));
  lines.push_back(" Warning: lmin must be smaller than lmax");
  const std::vector<std::string> kept = engine_messages(lines);
  ASSERT_EQ(kept.size(), 15u);
  EXPECT_EQ(kept.front(), "Replicate 17");
  EXPECT_EQ(engine_warnings(lines), std::vector<std::string>{"Warning: lmin must be smaller than lmax"});
}

}  // namespace
}  // namespace trov::front
