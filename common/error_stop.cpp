#include "common/error_stop.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/list_writer.h"

namespace trov {

[[noreturn]] void error_stop() {
  std::cout.flush();
  std::fflush(nullptr);
  std::fputs("PAUSE  statement executed\n", stderr);
  // Standard input usually carries the parameter file, so the answer comes from the terminal.
  int console = isatty(STDIN_FILENO) ? STDIN_FILENO : open("/dev/tty", O_RDONLY | O_NOCTTY);
  if (console < 0) {
    std::fputs("s_paus: can't open con!\n", stderr);
    std::exit(1);
  }
  std::fputs("To resume execution, type go.  Other input will terminate the job.\n", stderr);
  char answer[3] = {0, 0, 0};
  std::size_t got = 0;
  while (got < 3) {
    ssize_t n = read(console, answer + got, 3 - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bool go = got == 3 && answer[0] == 'g' && answer[1] == 'o' && answer[2] == '\n';
  std::fputs(go ? "Execution resumes after PAUSE.\n" : "STOP\n", stderr);
  // A stop on a fault is a failure, whatever the answer.
  std::exit(1);
}

[[noreturn]] void error_stop(std::string_view message) {
  say(ListWriter().text(message));
  error_stop();
}

}  // namespace trov
