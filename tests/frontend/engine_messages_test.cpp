#include "frontend/engine_messages.h"

#include <gtest/gtest.h>

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

TEST(engine_messages_test, a_read_error_at_case_one_points_at_a_header_and_the_engine_remedy_follows) {
  const std::vector<std::string> lines = {
      "", " Error when reading data from input file, line# =    1", "",
      " Possible remedy:", " Program expects an integer in last column (no decimel points)"};
  EXPECT_EQ(advice_for(lines),
            (std::vector<std::string>{
                "The data file may start with a header line; remove it.",
                "The count N in the last column must be a whole number without a decimal "
                "point; if the data file has no count column, choose the structure 'Y X [C]'."}));
  EXPECT_EQ(
      advice_for({" Error when reading data from input file, line# =   12"}),
      std::vector<std::string>{"That case of the data file holds text where a number belongs: correct it, or "
                               "check the data file structure."});
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
