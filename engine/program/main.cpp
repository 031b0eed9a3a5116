// trov40: the estimation engine. Reads trov.in on standard input, writes trov.out.
#include <malloc.h>

#include <iostream>

#include "engine/io/report_file.h"
#include "engine/program/run.h"

int main() {
  // A run is short: the memory its fitters free is kept for the next, never handed back to the system
  // page by page (and so never taken again by page faults) while the run goes on.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  trov::handle_interrupts();
  // the process is the run's alone: its workers keep to processors of their own
  return trov::run_program(std::cin, {.pinned = true});
}
