// The parameter file trov.in: lines 1-12 and the data file name, as the engine reads them from standard
// input. Every input must end in settings or in a fault the engine reports, never in a crash.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "engine/io/data.h"
#include "engine/io/settings_file.h"
#include "fuzz/stop_throws.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  trov::fuzz::StopThrows stops;
  std::istringstream text(std::string(reinterpret_cast<const char*>(data), size));
  trov::ListReader parameters(text, "the parameter file");
  try {
    const trov::Settings s = trov::read_settings(parameters).settings;
    trov::read_data_file_name(parameters);
    if ((s.grid() && (s.grid_points < 2 || s.grid_points > 10000)) || s.bootstrap > 100000 ||
        !(std::abs(s.first_lnlambda()) <= trov::kMostLnLambda))
      __builtin_trap();  // settings past their limits
  } catch (const trov::fuzz::Stopped&) {
  }
  return 0;
}
