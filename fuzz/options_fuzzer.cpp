// trov.options: any text is read into options or refused with the line at fault; options that were read
// are written back (options_text) into a file that reads as the same options.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/options_file.h"
#include "common/utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  trov::valid_utf8(text);
  trov::Options options;
  if (const auto fault = trov::parse_options(text, options)) {
    if (fault->line < 1 || fault->reason.empty()) __builtin_trap();
    return 0;
  }
  trov::Options again;
  if (trov::parse_options(trov::options_text(options), again) || !(again == options)) __builtin_trap();
  return 0;
}
