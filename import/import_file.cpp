#include "import/import_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "common/file_identity.h"
#include "common/new_file.h"
#include "common/written_files.h"
#include "import/encoding.h"

namespace trov::import {

namespace fs = std::filesystem;

namespace {

constexpr off_t kLargestTable = off_t{256} << 20;  // far beyond the 10000 cases a run takes
constexpr std::size_t kLongestTitle = 200;         // as trov.options takes x_label and y_label
constexpr std::size_t kLongestLevels = 900;        // as trov.options takes import_levels

// The whole file, when it is a regular one of at most `most` bytes; or why not. Looked at before it is
// opened, and opened without waiting for a writer, in case it changes between the two.
std::optional<std::string> read_regular_file(const fs::path& file, off_t most, std::string& text) {
  const std::string name = shown(file.string(), std::string::npos);
  struct stat status;
  if (stat(file.c_str(), &status) != 0) return "cannot open " + name + ": " + std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return "cannot open " + name + ": it is a directory";
  if (!S_ISREG(status.st_mode)) return "cannot open " + name + ": not a regular file (a pipe or a device)";
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "cannot open " + name + ": " + std::strerror(errno);
  std::optional<std::string> why;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    why = "cannot open " + name + ": not a regular file (a pipe or a device)";
  else if (status.st_size > most)
    why = name + " is larger than " + std::to_string(most >> 20) + " MB";
  text.clear();
  for (char buffer[65536]; !why;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) why = "cannot read " + name + ": " + std::strerror(errno);
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (static_cast<off_t>(text.size()) > most)
      why = name + " is larger than " + std::to_string(most >> 20) + " MB";
  }
  close(fd);
  return why;
}

// The text cut at a character so that it holds at most `bytes` bytes, "..." marking the cut.
std::string shortened(std::string text, std::size_t bytes) {
  if (text.size() <= bytes) return text;
  std::size_t end = bytes > 3 ? bytes - 3 : 0;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.erase(end) + "...";
}

// The levels as import_levels records them: as long as fits its line, each level cut to its share.
std::vector<std::string> recorded_levels(const std::vector<std::string>& levels) {
  if (levels.empty()) return {};
  // the value holds each level with its quotes doubled, and `" "` between levels
  const std::size_t share = (kLongestLevels - 3 * (levels.size() - 1)) / levels.size();
  std::vector<std::string> recorded;
  for (const std::string& level : levels) {
    std::string cut = level;
    for (std::size_t bytes = share; cut.size() + std::count(cut.begin(), cut.end(), '"') > share; --bytes)
      cut = shortened(level, bytes);
    recorded.push_back(cut);
  }
  return recorded;
}

}  // namespace

std::optional<std::string> read_table_file(const fs::path& file, Table& table) {
  table = Table{};
  std::string bytes, text, encoding;
  if (auto why = read_regular_file(file, kLargestTable, bytes)) return why;
  const std::string name = shown(file.filename().string(), std::string::npos);
  if (auto why = decode_text(bytes, text, encoding)) return name + " " + *why;
  if (auto why = read_table(text, table)) return name + ", " + *why;
  table.encoding = encoding;
  return std::nullopt;
}

std::optional<std::string> read_options_file(const fs::path& file, Options& options) {
  std::error_code ec;
  if (fs::status(file, ec).type() == fs::file_type::not_found) return std::nullopt;
  std::string text;
  if (auto why = read_regular_file(file, kLargestTable, text)) return why;
  if (auto fault = parse_options(text, options))
    return shown(file.string(), std::string::npos) + ", line " + std::to_string(fault->line) + ": " +
           fault->reason;
  return std::nullopt;
}

fs::path default_data_file(const fs::path& table) {
  fs::path data = table;
  if (table.extension() == ".dat") return data.replace_filename(table.stem().string() + "_data.dat");
  return data.replace_extension(".dat");
}

std::optional<std::string> data_file_fault(const fs::path& data, const fs::path& table) {
  if (same_file(data, table)) return std::string("it is the table itself");
  struct Own {
    std::string_view name, role;
  };
  static constexpr std::array<Own, 5> kOwn = {{{"trov.in", "the parameter file of a run"},
                                               {"trov.out", "which a run writes"},
                                               {"trov.json", "which a run writes"},
                                               {kOptionsFile, "which the import writes"},
                                               {kWrittenRecord, "which the import writes"}}};
  const fs::path folder = data.has_parent_path() ? data.parent_path() : fs::path(".");
  const std::string name = data.filename().string();
  for (const Own& own : kOwn) {
    if (name == own.name || same_file(data, own.name) || same_file(data, folder / own.name))
      return "it is " + std::string(own.name) + ", " + std::string(own.role);
    if (own.role == kOwn.back().role && same_file(table, folder / own.name))
      return "the table is " + std::string(own.name) + " beside it, which the import writes";
  }
  if (name.starts_with("trov.json.tmp") || normalised(data).filename().string().starts_with("trov.json.tmp"))
    return std::string("its name is one of trov.json's temporary files (trov.json.tmp...)");
  return std::nullopt;
}

std::optional<std::string> write_data_file(const fs::path& file, const Cases& cases) {
  if (auto why = replace_file(file.string(), data_file_text(cases))) return why;
  record_written(file);
  return std::nullopt;
}

fs::path traits_table_file(const fs::path& data) {
  return data.parent_path() / (data.stem().string() + "_traits.csv");
}

std::optional<std::string> write_traits_table(const fs::path& file, const Cases& cases) {
  if (auto why = replace_file(file.string(), traits_table_text(cases))) return why;
  record_written(file);
  return std::nullopt;
}

std::optional<std::string> note_import(Options& options, const std::string& table_name,
                                       const std::string& data_name, const Cases& cases) {
  Options noted = options;
  noted.y_label = shortened(blanked(cases.y_name), kLongestTitle);
  noted.x_label = shortened(blanked(cases.x_name), kLongestTitle);
  noted.import = {blanked(name_as_utf8(table_name)), data_name, cases.left_out, cases.left_out_lines,
                  recorded_levels(cases.levels)};
  noted.traits = {};
  if (!cases.trait_names.empty())
    noted.traits = {traits_table_file(data_name).string(), cases.trait_names, cases.surface};
  Options back;
  if (const auto fault = parse_options(options_text(noted), back))
    return "trov.options cannot record the import (" + fault->reason + ")";
  if (!(back == noted)) return std::string("trov.options cannot record the import as it is");
  options = noted;
  return std::nullopt;
}

}  // namespace trov::import
