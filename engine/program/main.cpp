// trov40: the estimation engine. Reads trov.in on standard input, writes trov.out.
#include <cstdio>
#include <exception>
#include <iostream>

#include "engine/driver/report_file.h"
#include "engine/program/run.h"

int main() {
  trov::handle_interrupts();
  try {
    trov::run_engine(std::cin);
  } catch (const std::exception& e) {  // a fault of the engine itself: reported, never an abort
    std::cout.flush();
    std::fprintf(stderr, "Error: the engine failed: %s\n", e.what());
    return 3;
  }
  return 0;
}
