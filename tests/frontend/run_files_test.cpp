#include "frontend/run_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/written_files.h"

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
  // old.txt and the record of what trovwin wrote there
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), fs::directory_iterator()), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

  fs::current_path(home);
  fs::remove_all(dir);
}

TEST(run_files_test, the_results_go_under_the_output_stem_and_stale_copies_go) {
  std::vector<std::string> targets;
  for (const ResultCopy& copy : result_copies("out/run1.out")) targets.push_back(copy.target.string());
  EXPECT_EQ(targets, (std::vector<std::string>{
                         "out/run1.out", "out/run1.wmf", "out/run1.json", "out/run1.png", "out/run1.svg",
                         "out/run1.pdf", "out/run1_caption.txt", "out/run1_plot.csv", "out/run1_plot.R",
                         "out/run1_plot.py", "out/run1_traits.png", "out/run1_traits.svg",
                         "out/run1_traits.pdf", "out/run1_traits_caption.txt", "out/run1_traits_plot.csv",
                         "out/run1_traits_plot.R", "out/run1_traits_plot.py"}));
  EXPECT_EQ(result_copies("results").back().target, "results_traits_plot.py");

  const fs::path home = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / ("trovwin_stem_" + std::to_string(getpid()));
  fs::create_directories(dir);
  fs::current_path(dir);
  std::ofstream("trov.out") << "results\n";
  std::ofstream("trov.json") << "{}\n";
  std::ofstream("run1.png") << "a figure of an earlier run\n";
  EXPECT_EQ(copy_results("run1.out"), "");
  EXPECT_EQ(contents("run1.json"), "{}\n");
  EXPECT_FALSE(fs::exists("run1.png"));     // this run drew no figure
  EXPECT_EQ(copy_results("trov.txt"), "");  // trov.json is its own copy
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 6);  // and the record
  EXPECT_TRUE(replaceable("run1.json"));  // written by trovwin: the next run replaces it without asking
  fs::current_path(home);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace trov::front
