// The least a program must do for a run: read the 13 lines of trov.in on standard input and the data
// file named on the last one. The fixed-cost benchmark compares the engine's start-up with it.
#include <fstream>
#include <iostream>
#include <string>

int main() {
  std::string line, name;
  for (int k = 0; k < 13 && std::getline(std::cin, line); ++k) name = line;
  name.erase(name.find_last_not_of(' ') + 1);
  std::ifstream data(name);
  double y = 0, x = 0, sum = 0;
  while (data >> y >> x) sum += y * x;
  std::cout << sum << '\n';
}
