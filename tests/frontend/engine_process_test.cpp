// The engine is run with a file as its standard input; a shell reading a script from standard input
// stands in for it.
#include "frontend/engine_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace trov::front {
namespace {

std::string script(const std::string& text) {
  auto path = std::filesystem::temp_directory_path() / ("trovwin_engine_" + std::to_string(getpid()) + ".sh");
  std::ofstream(path) << text;
  return path.string();
}

bool holds(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(engine_process_test, keeps_the_last_lines_of_both_streams_and_the_status) {
  const std::string input = script(
      "for i in $(seq 20); do echo line $i; done\n"
      "printf 'half a line'; sleep 0.1; printf 'PAUSE\\n' >&2; sleep 0.1; printf ' and its end\\n'\n"
      "printf 'no line end' >&2\n"
      "exit 3\n");
  EngineOutcome outcome = run_engine_process("/bin/sh", input);
  std::filesystem::remove(input);
  ASSERT_TRUE(outcome.started) << outcome.failure;
  EXPECT_EQ(outcome.status, 3);
  ASSERT_EQ(outcome.last_lines.size(), 12u);
  EXPECT_EQ(outcome.last_lines.front(), "line 12");
  EXPECT_TRUE(holds(outcome.last_lines, "half a line and its end"));  // not cut by the other stream
  EXPECT_TRUE(holds(outcome.last_lines, "PAUSE"));
  EXPECT_EQ(outcome.last_lines.back(), "no line end");
}

TEST(engine_process_test, an_engine_that_cannot_be_started_says_why) {
  EngineOutcome outcome = run_engine_process("/nonexistent/trov40", "/dev/null");
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.failure, "cannot start /nonexistent/trov40: No such file or directory");
}

}  // namespace
}  // namespace trov::front
