#include "common/error_stop.h"

#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace trov {
namespace {

struct PauseOutcome {
  std::string terminal;  // everything the terminal showed
  int status = -1;
};

// Runs the error stop in a child whose controlling terminal is a pseudo-terminal and whose standard
// input is redirected (as the engine's is), and answers the pause with `answer`.
PauseOutcome pause_answered_with(const std::string& answer) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (!std::freopen("/dev/null", "r", stdin)) _exit(90);
    error_stop();
  }
  PauseOutcome outcome;
  char buffer[256];
  bool answered = false;
  while (true) {
    ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child has closed the terminal
    outcome.terminal.append(buffer, static_cast<std::size_t>(got));
    if (!answered && outcome.terminal.find("terminate the job.") != std::string::npos) {
      if (write(master, answer.data(), answer.size()) < 0) break;
      answered = true;
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

TEST(error_stop_test, pause_answered_from_the_terminal) {
  PauseOutcome go = pause_answered_with("go\n");
  EXPECT_NE(go.terminal.find("PAUSE  statement executed"), std::string::npos);
  EXPECT_NE(go.terminal.find("To resume execution, type go.  Other input will terminate the job."), std::string::npos);
  EXPECT_NE(go.terminal.find("Execution resumes after PAUSE."), std::string::npos);
  EXPECT_EQ(go.status, 1);  // a stop on a fault is a failure whatever the answer

  PauseOutcome other = pause_answered_with("no\n");
  EXPECT_NE(other.terminal.find("STOP"), std::string::npos);
  EXPECT_EQ(other.terminal.find("Execution resumes"), std::string::npos);
  EXPECT_EQ(other.status, 1);
}

TEST(error_stop_test, without_a_terminal_it_ends_at_once) {
  EXPECT_EXIT(
      {
        setsid();
        if (!std::freopen("/dev/null", "r", stdin)) _exit(90);
        error_stop();
      },
      testing::ExitedWithCode(1), "s_paus: can't open con!");
}

}  // namespace
}  // namespace trov
