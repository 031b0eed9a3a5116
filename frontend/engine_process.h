#pragma once

#include <string>
#include <vector>

namespace trov::front {

struct EngineOutcome {
  bool started = false;
  std::string failure;                  // why the engine could not be started
  int status = 0;                       // exit status of the engine
  std::vector<std::string> last_lines;  // the last lines it printed, for messages to the user
};

// trov40 next to this program's executable, else the name alone (looked up on PATH).
std::string engine_path();

// Runs the engine as a child process with `input_path` as its standard input (no command
// interpreter), passes what it prints through to this program's console as it comes, keeps the last
// lines, and waits for its end. The engine's terminal stays the controlling terminal, so its pause
// after an error waits there for the user.
EngineOutcome run_engine_process(const std::string& engine, const std::string& input_path);

}  // namespace trov::front
