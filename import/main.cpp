// trov-import: a table as spreadsheets export it, written as a data file for trov40.
//   trov-import TABLE --y COL --x COL [--c COL] [--n COL] [--one WORD] [-o FILE]
// Prints what it wrote and left out; trov.options beside the data file gets the columns' names as axis
// titles and what was left out. Status 2 with a one-line reason on any fault.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "common/options_file.h"
#include "common/written_files.h"
#include "import/import_file.h"

namespace fs = std::filesystem;
using namespace trov;

namespace {

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "trov-import: %s\n", why.c_str());
  std::exit(2);
}

constexpr const char* kUsage =
    "usage: trov-import TABLE --y COL --x COL [--c COL] [--n COL] [--one WORD] [-o FILE]";

}  // namespace

int main(int argc, char** argv) {
  std::string table_name, output;
  import::Choice choice;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    std::string* target = arg == "--y"     ? &choice.y
                          : arg == "--x"   ? &choice.x
                          : arg == "--c"   ? &choice.c
                          : arg == "--n"   ? &choice.n
                          : arg == "--one" ? &choice.one
                          : arg == "-o"    ? &output
                                           : nullptr;
    if (target) {
      if (k + 1 == argc || std::string(argv[k + 1]).empty()) fail(arg + " needs a value; " + kUsage);
      *target = argv[++k];
    } else if (arg == "-h" || arg == "--help") {
      std::puts(kUsage);
      return 0;
    } else if (arg.starts_with("-") || !table_name.empty()) {
      fail("unknown argument '" + arg + "'; " + kUsage);
    } else {
      table_name = arg;
    }
  }
  if (table_name.empty() || choice.y.empty() || choice.x.empty())
    fail(std::string("a table, --y and --x are needed; ") + kUsage);

  import::Table table;
  if (auto why = import::read_table_file(table_name, table)) fail(*why);
  import::Cases cases;
  if (auto why = import::take_cases(table, choice, cases)) fail(table_name + ", " + *why);

  const fs::path data = output.empty() ? import::default_data_file(table_name) : fs::path(output);
  std::error_code ec;
  if (fs::equivalent(data, table_name, ec))
    fail(data.string() + " is the table itself: give another name with -o");
  if (!replaceable(data))
    fail(data.string() +
         " exists and was not written by trov-import: remove it, or give another name with -o");
  // trov.options beside the data file: read before anything is written, so a fault there writes nothing
  const fs::path folder = data.has_parent_path() ? data.parent_path() : fs::path(".");
  const fs::path options_path = folder / kOptionsFile;
  Options options;
  if (fs::exists(options_path, ec)) {
    std::ifstream in(options_path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (auto fault = parse_options(text.str(), options))
      fail(options_path.string() + ", line " + std::to_string(fault->line) + ": " + fault->reason +
           "; nothing written");
  }
  if (auto why = import::write_data_file(data, cases)) fail(*why);
  const fs::path table_path(table_name);
  import::note_import(options, fs::relative(fs::absolute(table_path), fs::absolute(folder), ec).string(),
                      data.filename().string(), cases);
  if (!(std::ofstream(options_path, std::ios::trunc) << options_text(options)))
    fail("cannot write " + options_path.string() + " (the data file is written)");

  std::cout << data.string() << ": " << cases.y.size() << (cases.y.size() == 1 ? " case" : " cases") << " (Y "
            << cases.y_name << (cases.words.empty() ? "" : ", " + cases.words) << "; X " << cases.x_name;
  if (cases.has_c) std::cout << "; C " << cases.c_name;
  if (cases.has_n) std::cout << "; N " << cases.n_name;
  std::cout << "); " << import::left_out_text(cases) << "\n";
  return 0;
}
