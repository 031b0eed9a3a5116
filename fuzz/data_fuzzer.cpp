// The data file, read under each of its four structures (Y X [C] [N]) and checked against each model,
// as the engine reads it. Every input must end in points or in a fault the engine reports.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "engine/analysis/pooling.h"
#include "engine/io/data.h"
#include "fuzz/stop_throws.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string name = "/tmp/trov_fuzz_" + std::to_string(getpid()) + ".dat";
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  trov::fuzz::StopThrows stops;
  for (int structure = 0; structure < 4; ++structure) {
    const trov::DataColumns columns{.covariate = (structure & 1) != 0, .counts = (structure & 2) != 0};
    try {
      const trov::Points points = trov::datin(name, columns);
      if (points.n < 1 || points.n > points.cases || points.cases > trov::kCapacity) __builtin_trap();
      for (int i = 0; i < points.n; ++i)
        if (points.counts[i] < 1 || (i > 0 && points.x[i] < points.x[i - 1])) __builtin_trap();
      for (const trov::Model model : {trov::Model::normal, trov::Model::binomial, trov::Model::poisson}) {
        try {
          trov::check_points(points, model);
        } catch (const trov::RunFault&) {
        }
      }
    } catch (const trov::fuzz::Stopped&) {
    } catch (const trov::RunFault&) {  // the counts of a point overflow
    }
  }
  return 0;
}
