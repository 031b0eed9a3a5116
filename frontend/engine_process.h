#pragma once
// The engine as a child process: started without a command interpreter, read while it runs (its lines
// pass through to this program's console), stopped on request as an interrupt stops it.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace trov::front {

inline constexpr std::size_t kKeptErrorLines = 15;

struct EngineOutcome {
  bool started = false;
  std::string failure;                   // why the engine could not be started
  int exit_status = 0;                   // when it ended by itself
  int signal = 0;                        // the signal that ended it, else 0
  bool cancelled = false;                // ended by the signal this program sent it (EngineRun::stop)
  std::vector<std::string> error_lines;  // the last lines it printed on standard error (kKeptErrorLines),
                                         // its progress lines left out
  bool succeeded() const { return started && signal == 0 && exit_status == 0; }
};

// How far a long bootstrap has come, from its progress line on standard error.
struct EngineProgress {
  int done = 0, total = 0;
};

// "bootstrap: 140 of 1000 replicates done" (README "Console messages"), else nothing.
std::optional<EngineProgress> progress_of(std::string_view line);

// trov40 next to this program's executable, else the name alone (looked up on PATH).
std::string engine_path();

// One run of the engine with `input_path` as its standard input. The engine runs in a session of its own,
// without a controlling terminal: the pause after an error finds no terminal to wait at and ends the
// engine at once, also when this program was started from a terminal or in the background. The caller
// waits for its streams to have something (poll, or the toolkit's file descriptor callbacks), reads them
// with read_stream, and once both are closed asks for the end with ended().
class EngineRun {
 public:
  EngineRun(const std::string& engine, const std::string& input_path);
  ~EngineRun();  // an engine still running is killed and waited for, so none is left behind
  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;

  bool started() const { return outcome_.started; }
  // The read ends of standard output (0) and standard error (1); -1 once closed.
  int stream(int which) const { return fds_[which]; }
  bool streams_open() const { return fds_[0] >= 0 || fds_[1] >= 0; }
  // Reads what stream `which` holds (blocking until something comes), passes it on to this program's
  // standard output or error and takes the lines of standard error; closes the stream at its end.
  void read_stream(int which);
  // The last progress line the engine wrote; nothing before the first.
  const std::optional<EngineProgress>& progress() const { return progress_; }
  std::chrono::steady_clock::duration elapsed() const { return std::chrono::steady_clock::now() - start_; }

  // Asks the engine to stop as an interrupt would (SIGTERM: it removes its temporary files and writes
  // a trov.json that says so); a second call, for an engine that does not stop, kills it (SIGKILL).
  void stop();
  bool stopping() const { return stops_ > 0; }

  // Once both streams are closed: the outcome when the engine has ended (without waiting), else
  // nothing. Before the start, at once the outcome that says why it failed.
  std::optional<EngineOutcome> ended();

 private:
  void take_error_lines();

  EngineOutcome outcome_;
  pid_t pid_ = -1;
  int fds_[2] = {-1, -1};
  std::string pending_;  // an unfinished line of standard error
  std::optional<EngineProgress> progress_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int stops_ = 0;
  bool waited_ = false;
};

}  // namespace trov::front
