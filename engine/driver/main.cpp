// trov40: the estimation engine. Reads trov.in on standard input, writes trov.out.
#include <iostream>

#include "engine/driver/run.h"

int main() {
  trov::run_engine(std::cin);
  return 0;
}
