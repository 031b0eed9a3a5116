#include "import/import_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/written_files.h"

namespace trov::import {

namespace fs = std::filesystem;

namespace {
constexpr std::uintmax_t kLargestTable = 256u << 20;  // far beyond the 10000 cases a run takes
}

std::optional<std::string> read_table_file(const fs::path& file, Table& table) {
  std::error_code ec;
  if (fs::is_directory(file, ec)) return "cannot open " + file.string() + ": it is a directory";
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot open " + file.string() + ": " + std::strerror(errno);
  if (fs::file_size(file, ec) > kLargestTable) return file.string() + " is larger than 256 MB";
  std::ostringstream text;
  text << in.rdbuf();
  if (auto why = read_table(text.str(), table)) return file.filename().string() + ", " + *why;
  return std::nullopt;
}

fs::path default_data_file(const fs::path& table) {
  fs::path data = table;
  if (table.extension() == ".dat") return data.replace_filename(table.stem().string() + "_data.dat");
  return data.replace_extension(".dat");
}

std::optional<std::string> write_data_file(const fs::path& file, const Cases& cases) {
  const std::string text = data_file_text(cases);
  const fs::path temporary = file.string() + ".new" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return "cannot write " + temporary.string() + ": " + std::strerror(errno);
    out << text;
    if (!out.flush()) {
      const std::string why = std::strerror(errno);
      out.close();
      std::remove(temporary.c_str());
      return "cannot write " + file.string() + ": " + why;
    }
  }
  std::error_code ec;
  fs::rename(temporary, file, ec);
  if (ec) {
    std::remove(temporary.c_str());
    return "cannot write " + file.string() + ": " + ec.message();
  }
  record_written(file);
  return std::nullopt;
}

void note_import(Options& options, const std::string& table_name, const std::string& data_name,
                 const Cases& cases) {
  options.y_label = cases.y_name;
  options.x_label = cases.x_name;
  options.import = {table_name, data_name, cases.left_out, cases.left_out_lines};
}

}  // namespace trov::import
