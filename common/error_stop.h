#pragma once

namespace trov {

// The pause of the error stop, after the program has written the message of a fault it detected
// itself to standard output: the prompt on standard error, the answer (one whole line; what was typed
// ahead is discarded) read from the controlling terminal (never from standard input when that is
// redirected). Returns the exit status, 1 whatever the answer. Without a terminal, or in a background
// job: "s_paus: can't open con!" and 1 at once. Open C streams are flushed.
int error_pause();

}  // namespace trov
