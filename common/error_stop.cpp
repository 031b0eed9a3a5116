#include "common/error_stop.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace trov {

namespace {

// The terminal that answers, or -1: standard input when it is a terminal (standard input usually carries
// the parameter file), else the controlling terminal. A job in the background has none, as reading
// would stop it (SIGTTIN) until someone brings it to the foreground.
int open_console() {
  int console = isatty(STDIN_FILENO) ? STDIN_FILENO : open("/dev/tty", O_RDONLY | O_NOCTTY);
  if (console >= 0 && tcgetpgrp(console) != getpgrp()) return -1;
  return console;
}

// Reads the answer, one whole line, and then discards what was typed ahead: left unread, the rest would
// go to the shell as its next command. True only for exactly "go".
bool answered_go(int console) {
  std::string answer;  // its first three characters are enough to tell "go" from every other answer
  bool line_ended = false;
  char c = 0;
  while (true) {
    ssize_t got = read(console, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;  // end of input before the line end: not "go"
    if (c == '\n') {
      line_ended = true;
      break;
    }
    if (answer.size() < 3) answer += c;
  }
  tcflush(console, TCIFLUSH);
  return line_ended && answer == "go";
}

}  // namespace

int error_pause() {
  std::cout.flush();
  std::fflush(nullptr);
  std::fputs("PAUSE  statement executed\n", stderr);
  int console = open_console();
  if (console < 0) {
    std::fputs("s_paus: can't open con!\n", stderr);
    return 1;
  }
  std::fputs("To resume execution, type go.  Other input will terminate the job.\n", stderr);
  std::fputs(answered_go(console) ? "Execution resumes after PAUSE.\n" : "STOP\n", stderr);
  return 1;  // a stop on a fault is a failure, whatever the answer
}

}  // namespace trov
