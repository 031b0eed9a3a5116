// The engine is run with a file as its standard input; a shell reading a script from standard input
// stands in for it.
#include "frontend/engine_process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "frontend/run_window.h"

namespace trov::front {
namespace {

std::string script(const std::string& text) {
  auto path = std::filesystem::temp_directory_path() / ("trovwin_engine_" + std::to_string(getpid()) + ".sh");
  std::ofstream(path) << text;
  return path.string();
}

// What the window's event loop does: read what comes, and after both streams the end; `on_read` is
// called after each read.
template <typename F>
EngineOutcome run_to_end(EngineRun& run, F on_read) {
  while (true) {
    if (auto outcome = run.ended()) return *outcome;
    pollfd fds[2] = {{run.stream(0), POLLIN, 0}, {run.stream(1), POLLIN, 0}};
    if (poll(fds, 2, 100) <= 0) continue;
    for (int which : {0, 1})
      if (fds[which].fd >= 0 && fds[which].revents) run.read_stream(which);
    on_read();
  }
}
EngineOutcome run_to_end(const std::string& engine, const std::string& input) {
  EngineRun run(engine, input);
  return run_to_end(run, [] {});
}

TEST(engine_process_test, keeps_the_lines_of_standard_error_and_the_status_in_a_session_of_its_own) {
  const std::string input = script(
      "printf 'half a line'; sleep 0.1; printf 'PAUSE\\n' >&2; sleep 0.1; printf ' and its end\\n'\n"
      "for i in $(seq 20); do echo $i >&2; done\n"
      "echo 'bootstrap: 5 of 20 replicates done' >&2\n"
      "read -r _ _ _ _ _ session _ </proc/$$/stat; [ \"$session\" = $$ ] && printf 'own session' >&2\n"
      "exit 3\n");
  EngineRun run("/bin/sh", input);
  EngineOutcome outcome = run_to_end(run, [] {});
  std::filesystem::remove(input);
  ASSERT_TRUE(outcome.started) << outcome.failure;
  EXPECT_EQ(outcome.exit_status, 3);
  EXPECT_FALSE(outcome.succeeded() || outcome.cancelled);
  // the last 15 lines of standard error without the progress line, which gives the progress
  ASSERT_EQ(outcome.error_lines.size(), kKeptErrorLines);
  EXPECT_EQ(outcome.error_lines.front(), "7");
  EXPECT_EQ(outcome.error_lines.back(), "own session");
  ASSERT_TRUE(run.progress());
  EXPECT_EQ(run.progress()->done, 5);
  EXPECT_EQ(run.progress()->total, 20);
  const std::string killed = script("kill -9 $$\n");
  outcome = run_to_end("/bin/sh", killed);
  std::filesystem::remove(killed);
  EXPECT_EQ(outcome.signal, 9);
  EXPECT_FALSE(outcome.cancelled);
}

// Stop is an interrupt: the engine may tidy up and end by the signal; one that ignores it is killed at
// the second stop.
TEST(engine_process_test, a_stopped_engine_ends_by_the_signal_and_counts_as_cancelled) {
  const std::string input = script(
      "trap 'echo tidied >&2; trap - TERM; kill -TERM $$' TERM\n"
      "echo started >&2; while :; do sleep 0.05; done\n");
  EngineRun run("/bin/sh", input);
  EngineOutcome outcome = run_to_end(run, [&] {
    if (!run.stopping()) run.stop();
  });
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.signal, SIGTERM);
  EXPECT_EQ(outcome.error_lines, (std::vector<std::string>{"started", "tidied"}));
  std::ofstream(input) << "trap '' TERM; echo deaf >&2; while :; do sleep 0.05; done\n";
  EngineRun deaf("/bin/sh", input);
  int reads = 0;
  outcome = run_to_end(deaf, [&] {
    if (++reads == 1) deaf.stop();
    if (reads == 1 && deaf.stopping()) deaf.stop();
  });
  std::filesystem::remove(input);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(outcome.signal, SIGKILL);
}

TEST(engine_process_test, an_engine_that_cannot_be_started_says_why) {
  EngineOutcome outcome = run_to_end("/nonexistent/trov40", "/dev/null");
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.failure, "cannot start /nonexistent/trov40: No such file or directory");
}

TEST(engine_process_test, the_run_window_tells_the_progress_else_the_time) {
  using std::chrono::seconds;
  EXPECT_EQ(run_status_text(std::nullopt, seconds(12)), "Running the engine: 0:12");
  EXPECT_EQ(run_status_text(std::nullopt, seconds(3723)), "Running the engine: 1:02:03");
  EXPECT_EQ(run_status_text(EngineProgress{25000, 100000}, seconds(10)),
            "Bootstrap: 25000 of 100000 replicates (0:10, about 0:30 left)");
  EXPECT_EQ(run_status_text(EngineProgress{0, 100}, seconds(2)), "Bootstrap: 0 of 100 replicates (0:02)");
}

TEST(engine_process_test, only_the_engines_progress_line_is_progress) {
  const auto progress = progress_of("bootstrap: 140 of 1000 replicates done");
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress->done, 140);
  EXPECT_EQ(progress->total, 1000);
  for (const char* other : {"bootstrap: 140 of 1000 replicates", "bootstrap: 1001 of 1000 replicates done",
                            "bootstrap: -1 of 10 replicates done", "bootstrap: 1 of 0 replicates done",
                            "  100", "Warning: bootstrap: 1 of 2 replicates done"})
    EXPECT_FALSE(progress_of(other)) << other;
}

}  // namespace
}  // namespace trov::front
