#pragma once
// The window of an engine run: how far it has come, and a Cancel button.
#include <chrono>
#include <optional>
#include <string>

#include "frontend/engine_process.h"

namespace trov::front {

// The window's line for a run `elapsed` old: "Bootstrap: 4200 of 100000 replicates (0:12, about 4:31
// left)" from the engine's last progress line, else "Running the engine: 0:12".
std::string run_status_text(const std::optional<EngineProgress>& progress,
                            std::chrono::steady_clock::duration elapsed);

// Runs the engine and waits for its end in the toolkit's event loop, so that the program stays
// responsive. A run that lasts more than half a second shows a window with its status (a progress bar
// during a long bootstrap) and a Cancel button; Cancel, Escape and the close box stop the engine
// (EngineRun::stop; once more after 10 s, for an engine that does not end).
EngineOutcome run_engine_window(const std::string& engine, const std::string& input_path);

}  // namespace trov::front
