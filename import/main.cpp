// trov-import: a table as spreadsheets export it, written as a data file for trov40.
//   trov-import TABLE --y COL --x COL [--trait COL]... [--surface] [--c COL [--categorical | --continuous]]
//               [--n COL] [--one WORD] [-o FILE]
// Prints what it wrote and left out; trov.options beside the data file gets the columns' names as axis
// titles, what was left out and the levels of a covariate of words. With --trait, the traits x and
// those are also written as the traits table beside the data file (NAME_traits.csv), which
// trov.options names for trov40's analysis of several traits. Status 2 with a one-line reason on
// any fault, before anything is written.
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "common/new_file.h"
#include "common/options_file.h"
#include "common/written_files.h"
#include "import/import_file.h"

namespace fs = std::filesystem;
using namespace trov;

namespace {

constexpr const char* kUsage =
    "usage: trov-import TABLE --y COL --x COL [--trait COL]... [--surface] [--c COL [--categorical | "
    "--continuous]] [--n COL] [--one WORD] [-o FILE]";

std::string numbers_text(const std::vector<double>& values) {
  std::string text;
  for (double v : values) {
    char number[32];
    std::snprintf(number, sizeof number, "%.15g", v);
    text += (text.empty() ? "" : ", ") + std::string(number);
  }
  return text;
}

// What the command line asks for.
struct Request {
  std::string table_name, output;
  import::Choice choice;
  bool help = false;  // -h or --help: the usage, nothing else
};

// The request of the arguments, read up to -h or --help; or why they cannot be taken.
std::optional<std::string> read_arguments(int argc, char** argv, Request& request) {
  import::Choice& choice = request.choice;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    std::string* target = arg == "--y"     ? &choice.y
                          : arg == "--x"   ? &choice.x
                          : arg == "--c"   ? &choice.c
                          : arg == "--n"   ? &choice.n
                          : arg == "--one" ? &choice.one
                          : arg == "-o"    ? &request.output
                                           : nullptr;
    const import::CovariateKind kind = arg == "--categorical"  ? import::CovariateKind::categorical
                                       : arg == "--continuous" ? import::CovariateKind::continuous
                                                               : import::CovariateKind::unsaid;
    if (arg == "--trait") {
      if (k + 1 == argc || std::string(argv[k + 1]).empty()) return arg + " needs a value; " + kUsage;
      choice.traits.push_back(argv[++k]);
    } else if (arg == "--surface") {
      choice.surface = true;
    } else if (target) {
      if (k + 1 == argc || std::string(argv[k + 1]).empty()) return arg + " needs a value; " + kUsage;
      *target = argv[++k];
    } else if (kind != import::CovariateKind::unsaid) {
      if (choice.c_kind != import::CovariateKind::unsaid && choice.c_kind != kind)
        return "--categorical and --continuous exclude each other";
      choice.c_kind = kind;
    } else if (arg == "-h" || arg == "--help") {
      request.help = true;
      return std::nullopt;
    } else if (arg.starts_with("-") || !request.table_name.empty()) {
      return "unknown argument '" + import::shown(arg) + "'; " + kUsage;
    } else {
      request.table_name = arg;
    }
  }
  if (request.table_name.empty() || choice.y.empty() || choice.x.empty())
    return std::string("a table, --y and --x are needed; ") + kUsage;
  if (choice.surface && choice.traits.size() != 1)
    return "--surface takes exactly two traits: --x and one --trait";
  if (choice.c.empty() && choice.c_kind != import::CovariateKind::unsaid)
    return "--categorical and --continuous tell how to take the covariate: give its column with --c";
  return std::nullopt;
}

// Reads the table and writes the data file and trov.options, with the warnings on standard error and
// what was written on standard output; or why not.
std::optional<std::string> import_table(const Request& request) {
  const std::string& table_name = request.table_name;
  import::Table table;
  if (auto why = import::read_table_file(table_name, table)) return why;
  const std::string shown_table = import::shown(table_name, std::string::npos);
  import::Cases cases;
  if (auto why = import::take_cases(table, request.choice, cases)) return shown_table + ", " + *why;

  const fs::path data =
      request.output.empty() ? import::default_data_file(table_name) : fs::path(request.output);
  const std::string shown_data = import::shown(data.string(), std::string::npos);
  if (auto why = import::data_file_fault(data, table_name))
    return shown_data + " cannot be the data file: " + *why + "; give another name with -o";
  if (!replaceable(data))
    return shown_data + " exists and was not written by trov-import: remove it, or give another name with -o";
  const bool traits = !cases.trait_names.empty();
  const fs::path traits_table = import::traits_table_file(data);
  const std::string shown_traits = import::shown(traits_table.string(), std::string::npos);
  if (traits) {
    if (auto why = import::data_file_fault(traits_table, table_name))
      return shown_traits + " cannot be the traits table: " + *why +
             "; give the data file another name with -o";
    if (!replaceable(traits_table))
      return shown_traits +
             " exists and was not written by trov-import: remove it, or give the data file "
             "another name with -o";
  }
  // trov.options beside the data file: read, and the import noted, before anything is written, so that a
  // fault there writes nothing
  const fs::path folder = data.has_parent_path() ? data.parent_path() : fs::path(".");
  const fs::path options_path = folder / kOptionsFile;
  Options options;
  if (auto why = import::read_options_file(options_path, options)) return *why + "; nothing written";
  std::error_code ec;
  const fs::path table_path(table_name);
  if (auto why = import::note_import(
          options, fs::relative(fs::absolute(table_path), fs::absolute(folder), ec).string(),
          data.filename().string(), cases))
    return *why + ": give the data file another name with -o; nothing written";

  if (table.encoding == "Windows-1252")
    std::fprintf(stderr, "trov-import: %s is not UTF-8: read as Windows-1252 (Latin-1)\n",
                 shown_table.c_str());
  if (!cases.few_values.empty())
    std::fprintf(
        stderr,
        "trov-import: warning: column '%s' holds only the whole numbers %s: taken as a continuous "
        "covariate; --categorical takes them as levels, --continuous as numbers without this warning\n",
        import::shown(cases.c_name).c_str(), numbers_text(cases.few_values).c_str());
  if (auto why = import::write_data_file(data, cases)) return why;
  if (traits)
    if (auto why = import::write_traits_table(traits_table, cases))
      return *why + " (the data file is written)";
  if (auto why = replace_file(options_path.string(), options_text(options)))
    return *why + " (the data file is written)";

  std::cout << shown_data << ": " << cases.y.size() << (cases.y.size() == 1 ? " case" : " cases") << " ("
            << import::columns_text(cases) << "); " << import::left_out_text(cases) << "\n";
  if (traits)
    std::cout << shown_traits << ": the same cases, traits table of the analysis of several traits\n";
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  std::optional<std::string> fault = read_arguments(argc, argv, request);
  if (!fault && request.help) {
    std::puts(kUsage);
    return 0;
  }
  if (!fault) fault = import_table(request);
  if (!fault) return 0;
  std::fprintf(stderr, "trov-import: %s\n", fault->c_str());
  return 2;
}
