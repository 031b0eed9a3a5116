// The engine is run with a file as its standard input; a shell reading a script from standard input
// stands in for it.
#include "frontend/engine_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace trov::front {
namespace {

std::string script(const std::string& text) {
  auto path = std::filesystem::temp_directory_path() / ("trovwin_engine_" + std::to_string(getpid()) + ".sh");
  std::ofstream(path) << text;
  return path.string();
}

TEST(engine_process_test, keeps_the_lines_of_standard_error_and_the_status_in_a_session_of_its_own) {
  const std::string input = script(
      "printf 'half a line'; sleep 0.1; printf 'PAUSE\\n' >&2; sleep 0.1; printf ' and its end\\n'\n"
      "for i in $(seq 20); do echo $i >&2; done\n"
      "read -r _ _ _ _ _ session _ </proc/$$/stat; [ \"$session\" = $$ ] && printf 'own session' >&2\n"
      "exit 3\n");
  EngineOutcome outcome = run_engine_process("/bin/sh", input);
  std::filesystem::remove(input);
  ASSERT_TRUE(outcome.started) << outcome.failure;
  EXPECT_EQ(outcome.exit_status, 3);
  EXPECT_FALSE(outcome.succeeded());
  // the last 15 lines of standard error; standard output only passes through
  ASSERT_EQ(outcome.error_lines.size(), kKeptErrorLines);
  EXPECT_EQ(outcome.error_lines.front(), "7");
  EXPECT_EQ(outcome.error_lines.back(), "own session");
  const std::string killed = script("kill -9 $$\n");
  outcome = run_engine_process("/bin/sh", killed);
  std::filesystem::remove(killed);
  EXPECT_EQ(outcome.signal, 9);
}

TEST(engine_process_test, an_engine_that_cannot_be_started_says_why) {
  EngineOutcome outcome = run_engine_process("/nonexistent/trov40", "/dev/null");
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.failure, "cannot start /nonexistent/trov40: No such file or directory");
}

}  // namespace
}  // namespace trov::front
