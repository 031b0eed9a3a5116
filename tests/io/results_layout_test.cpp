// Facts that readers of trov.out rely on, checked on every golden results file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> lines_of(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(results_layout_test, headings_and_tables_are_where_readers_look) {
  const char* source = std::getenv("TROV_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  const std::regex number_line(R"(^(\s*([-+0-9.E*]+|NaN|-?Infinity))+\s*$)");
  const std::regex points_line(R"(^ No\. of unique [^=]*= (\d+)$)");
  int files = 0;
  for (const auto& entry : fs::directory_iterator(fs::path(source) / "tests" / "cases")) {
    fs::path results = entry.path() / "expected.trov.out";
    if (!fs::exists(results)) continue;
    ++files;
    std::vector<std::string> lines = lines_of(results);
    SCOPED_TRACE(results.string());
    int grid_headings = 0;
    std::size_t grid_at = 0, table_at = lines.size();
    int points = -1;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      std::smatch m;
      if (std::regex_match(lines[i], m, points_line)) points = std::stoi(m[1]);
      if (lines[i].substr(0, 10).find("ln(lambd") != std::string::npos) ++grid_headings, grid_at = i;
      if (table_at == lines.size() && lines[i].rfind("         Y", 0) == 0) table_at = i;
    }
    EXPECT_EQ(grid_headings, 1);
    if (grid_at + 1 == lines.size()) continue;  // a run stopped before its first grid line
    EXPECT_TRUE(std::regex_match(lines[grid_at + 1], number_line)) << lines[grid_at + 1];
    EXPECT_LT(grid_at, table_at);
    if (table_at == lines.size()) continue;
    // the table runs to the end of the file: one line of numbers per point
    EXPECT_EQ(static_cast<int>(lines.size() - table_at - 1), points);
    for (std::size_t i = table_at + 1; i < lines.size(); ++i)
      EXPECT_TRUE(std::regex_match(lines[i], number_line)) << lines[i];
  }
  EXPECT_GT(files, 20);
}

}  // namespace
