#include "frontend/run_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace trov::front {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(run_files_test, the_copy_replaces_the_named_file_whole_and_leaves_nothing_else) {
  const fs::path home = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("trovwin_copy_" + std::to_string(getpid()));
  fs::create_directories(dir / "sub");
  fs::current_path(dir);
  std::ofstream("trov.out") << "results\n";
  std::ofstream("sub/old.txt") << "an older and longer text\n";
  chmod("sub/old.txt", 0640);

  EXPECT_EQ(copy_results("sub/old.txt"), "");
  EXPECT_EQ(contents("sub/old.txt"), "results\n");
  EXPECT_EQ(fs::status("sub/old.txt").permissions() & fs::perms::all, fs::perms(0640));
  EXPECT_EQ(copy_results("./trov.out"), "");  // trov.out itself: no copy
  EXPECT_EQ(copy_results("nosuch/out.txt"), "cannot create a file in nosuch: No such file or directory");
  EXPECT_EQ(copy_results("sub"), "Is a directory");  // the temporary file goes again
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

  fs::current_path(home);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace trov::front
