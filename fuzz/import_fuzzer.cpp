// The table import: any bytes end in a table or in one printable line saying why not. The cases of a
// table, taken for several choices of columns, go into a data file that the engine's reader reads back
// to the very points of those cases, without a warning of its lines, and into options that trov40's
// options reader reads back to the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "common/options_file.h"
#include "common/utf8.h"
#include "engine/analysis/pooling.h"
#include "engine/io/data.h"
#include "fuzz/stop_throws.h"
#include "import/encoding.h"
#include "import/import_file.h"

namespace {

using trov::import::CovariateKind;

// A message is one line of UTF-8 text, cut where a cell would make it long.
void check_message(const std::string& why) {
  if (why.empty() || why.size() > 4000 || !trov::valid_utf8(why)) __builtin_trap();
  for (char c : why)
    if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
}

// The cases as the engine pools them.
trov::Points expected_points(const trov::import::Cases& cases) {
  trov::Points p;
  p.y = cases.y;
  p.x = cases.x;
  p.covariate = cases.has_c ? cases.c : std::vector<double>(cases.y.size(), 0.0);
  for (std::size_t i = 0; i < cases.y.size(); ++i)
    p.counts.push_back(cases.has_n ? static_cast<int>(cases.n[i]) : 1);
  p.cases = static_cast<int>(cases.y.size());
  trov::organizedata(p, cases.has_c);
  return p;
}

void check_data_file(const trov::import::Cases& cases) {
  static const std::string name = "/tmp/trov_fuzz_import_" + std::to_string(getpid()) + ".dat";
  if (cases.y.size() > static_cast<std::size_t>(trov::kCapacity)) return;
  std::ofstream(name, std::ios::binary) << trov::import::data_file_text(cases);
  const trov::DataColumns columns{.covariate = cases.has_c, .counts = cases.has_n};
  trov::fuzz::StopThrows stops;
  trov::Points expected, read;
  try {
    expected = expected_points(cases);
  } catch (const trov::RunFault&) {  // the counts of a point overflow: the engine refuses them too
    return;
  }
  trov::DataLines lines;
  try {
    read = trov::datin(name, columns, &lines);
  } catch (const trov::fuzz::Stopped&) {
    __builtin_trap();
  }
  if (lines.irregular_count != 0 || lines.first_text_line != 0 || lines.first_decimal_comma_line != 0 ||
      lines.first_empty_value_line != 0)
    __builtin_trap();
  if (read.n != expected.n || read.cases != expected.cases || read.x != expected.x || read.y != expected.y ||
      read.counts != expected.counts || (cases.has_c && read.covariate != expected.covariate))
    __builtin_trap();
}

void check_options(const trov::import::Cases& cases) {
  trov::Options options;
  if (trov::import::note_import(options, "table.csv", "table.dat", cases)) __builtin_trap();
  trov::Options back;
  if (trov::parse_options(trov::options_text(options), back) || !(back == options)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string text, encoding;
  if (const auto why = trov::import::decode_text(bytes, text, encoding)) {
    check_message(*why);
    return 0;
  }
  if (!trov::valid_utf8(text)) __builtin_trap();
  trov::import::Table table;
  if (const auto why = trov::import::read_table(text, table)) {
    check_message(*why);
    return 0;
  }
  const trov::import::Choice choices[] = {
      {.y = "1", .x = "2"},
      {.y = "1", .x = "2", .c = "3"},
      {.y = "1", .x = "2", .c = "3", .c_kind = CovariateKind::categorical},
      {.y = "2", .x = "1", .n = "3"},
      {.y = "1", .x = "2", .c = "3", .n = "4", .c_kind = CovariateKind::continuous},
      {.y = "1", .x = "2", .one = "a"},
  };
  for (const trov::import::Choice& choice : choices) {
    trov::import::Cases cases;
    if (const auto why = trov::import::take_cases(table, choice, cases)) {
      check_message(*why);
      continue;
    }
    const std::size_t n = cases.y.size();
    if (n == 0 || cases.x.size() != n || cases.c.size() != (cases.has_c ? n : 0) ||
        cases.n.size() != (cases.has_n ? n : 0) || cases.levels.size() > trov::import::kMostLevels)
      __builtin_trap();
    check_data_file(cases);
    check_options(cases);
  }
  return 0;
}
