#include "common/error_stop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace trov {
namespace {

struct PauseOutcome {
  std::string terminal;  // everything the terminal showed
  int status = -1;       // exit status of the error stop; 99 when it was stopped, -1 when it hung
};

// Runs the error stop with a pseudo-terminal as controlling terminal and standard input redirected (as the
// engine's is), and types `answer` at the prompt. When the stop has ended, the terminal shows how many
// bytes of input it left unread ("unread 0"), which the shell would take next. In the background the
// stop runs in a process group of its own, as a job started with & does.
PauseOutcome pause_answered_with(const std::string& answer, bool background = false) {
  int master = -1;
  pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    pid_t stopper = fork();
    if (stopper == 0) {
      if (background) setpgid(0, 0);
      if (!std::freopen("/dev/null", "r", stdin)) _exit(90);
      _exit(error_pause());
    }
    int status = 0;
    waitpid(stopper, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {  // a read of the terminal in the background stops the process
      kill(stopper, SIGKILL);
      waitpid(stopper, nullptr, 0);
    }
    int unread = 0;
    ioctl(STDIN_FILENO, FIONREAD, &unread);
    std::printf("unread %d\n", unread);
    std::fflush(stdout);
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 99);
  }
  PauseOutcome outcome;
  char buffer[256];
  bool answered = false;
  pollfd terminal{master, POLLIN, 0};
  while (poll(&terminal, 1, 10000) > 0) {
    ssize_t got = read(master, buffer, sizeof buffer);
    if (got <= 0) break;  // EIO once the child has closed the terminal
    outcome.terminal.append(buffer, static_cast<std::size_t>(got));
    if (!answered && outcome.terminal.find("terminate the job.") != std::string::npos) {
      if (write(master, answer.data(), answer.size()) < 0) break;
      answered = true;
    }
  }
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == 0) {  // still waiting for an answer after 10 s
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  close(master);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

bool shows_line(const PauseOutcome& outcome, const std::string& line) {
  return ("\n" + outcome.terminal).find("\n" + line + "\r\n") != std::string::npos;
}

TEST(error_stop_test, pause_answered_from_the_terminal) {
  PauseOutcome go = pause_answered_with("go\n");
  EXPECT_TRUE(shows_line(go, "PAUSE  statement executed")) << go.terminal;
  EXPECT_TRUE(shows_line(go, "To resume execution, type go.  Other input will terminate the job."));
  EXPECT_TRUE(shows_line(go, "Execution resumes after PAUSE."));
  EXPECT_EQ(go.status, 1);  // a stop on a fault is a failure whatever the answer

  PauseOutcome other = pause_answered_with("no\n");
  EXPECT_TRUE(shows_line(other, "STOP"));
  EXPECT_EQ(other.terminal.find("Execution resumes"), std::string::npos);
  EXPECT_EQ(other.status, 1);
}

// The answer is one whole line: an empty line or any other word ends the pause, and nothing of the line
// or of lines typed ahead is left for the shell (which would run "touch FILE").
TEST(error_stop_test, the_answer_is_one_whole_line_and_nothing_is_left_unread) {
  for (const std::string answer : {"\n", "y\n", "go \n", "no touch FILE\nls\n", "go\nls\n"}) {
    PauseOutcome o = pause_answered_with(answer);
    EXPECT_TRUE(shows_line(o, answer.starts_with("go\n") ? "Execution resumes after PAUSE." : "STOP"))
        << answer;
    EXPECT_TRUE(shows_line(o, "unread 0")) << answer << o.terminal;
    EXPECT_EQ(o.status, 1) << answer;
  }
}

// A job in the background may not read the terminal (it would stop until brought to the foreground).
TEST(error_stop_test, a_background_job_has_no_terminal) {
  PauseOutcome o = pause_answered_with("go\n", true);
  EXPECT_TRUE(shows_line(o, "s_paus: can't open con!")) << o.terminal;
  EXPECT_EQ(o.terminal.find("To resume"), std::string::npos);
  EXPECT_EQ(o.status, 1);
}

TEST(error_stop_test, without_a_terminal_it_ends_at_once) {
  EXPECT_EXIT(
      {
        setsid();
        if (!std::freopen("/dev/null", "r", stdin)) _exit(90);
        _exit(error_pause());
      },
      testing::ExitedWithCode(1), "s_paus: can't open con!");
}

}  // namespace
}  // namespace trov
