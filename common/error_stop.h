#pragma once

#include <string_view>

namespace trov {

// Ends the program on a fault it detected itself, after the caller has written its message to
// standard output: the pause prompt on standard error, the answer (one whole line; what was typed ahead
// is discarded) read from the controlling terminal (never from standard input when that is redirected),
// then exit status 1 whatever the answer. Without a terminal, or in a background job:
// "s_paus: can't open con!" and status 1 at once. Open C streams are flushed.
[[noreturn]] void error_stop();

// Writes the message as one list-directed line on standard output, then makes the error stop.
[[noreturn]] void error_stop(std::string_view message);

}  // namespace trov
