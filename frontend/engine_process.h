#pragma once

#include <string>
#include <vector>

namespace trov::front {

inline constexpr std::size_t kKeptErrorLines = 15;

struct EngineOutcome {
  bool started = false;
  std::string failure;                   // why the engine could not be started
  int exit_status = 0;                   // when it ended by itself
  int signal = 0;                        // the signal that ended it, else 0
  std::vector<std::string> error_lines;  // the last lines it printed on standard error (kKeptErrorLines)
  bool succeeded() const { return started && signal == 0 && exit_status == 0; }
};

// trov40 next to this program's executable, else the name alone (looked up on PATH).
std::string engine_path();

// Runs the engine as a child process with `input_path` as its standard input (no command
// interpreter), passes what it prints through to this program's console as it comes, keeps the last
// lines of its standard error and waits for its end. The engine runs in a session of its own, without a
// controlling terminal: the pause after an error finds no terminal to wait at and ends the engine at once,
// also when this program was started from a terminal or in the background.
EngineOutcome run_engine_process(const std::string& engine, const std::string& input_path);

}  // namespace trov::front
