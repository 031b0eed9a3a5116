// The files an import writes: only what trov40 reads back, never through a link, never over the files
// of a run.
#include "import/import_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/options_file.h"

namespace trov::import {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A folder of its own, the test's working directory while it lives.
struct Folder {
  fs::path old = fs::current_path(),
           path = fs::temp_directory_path() / ("trov_import_" + std::to_string(getpid()));
  Folder() {
    fs::remove_all(path);
    fs::create_directories(path / "sub");
    fs::current_path(path);
  }
  ~Folder() {
    fs::current_path(old);
    fs::remove_all(path);
  }
};

// Titles and levels with what a header may hold (line breaks, tabs, quotes, #, 300 bytes of two-byte
// characters) go into trov.options as text that trov40's reader reads back.
TEST(import_file_test, writes_options_that_trov40_reads_back) {
  Cases cases;
  cases.x_name = "mass\n(\xC2\xB5g)\t# \"dry\"";
  for (int k = 0; k < 150; ++k) cases.y_name += "\xC3\xA9";
  for (int k = 0; k < 20; ++k) cases.levels.push_back(std::string(60, '"') + std::to_string(k));
  cases.left_out = 2;
  cases.left_out_lines = {3, 9};
  Options options;
  options.criterion = Criterion::gcv;
  ASSERT_FALSE(note_import(options,
                           "ma\xDF"
                           "e.csv",
                           "plants.dat", cases));
  EXPECT_EQ(options.x_label, "mass (\xC2\xB5g) # \"dry\"");
  EXPECT_EQ(options.y_label.size(), 199u);  // 98 characters and "..." within 200 bytes
  EXPECT_TRUE(options.y_label.ends_with("\xC3\xA9..."));
  EXPECT_EQ(options.import.table,
            "ma\xC3\x9F"
            "e.csv");
  Options back;
  const auto fault = parse_options(options_text(options), back);
  ASSERT_FALSE(fault) << fault->line << ": " << fault->reason;
  EXPECT_EQ(back, options);
  EXPECT_EQ(back.import.levels.size(), 20u);
  EXPECT_EQ(back.criterion, Criterion::gcv);

  // several traits: the traits table beside the data file, wherever the name leads (trovwin's data file
  // may lie in another folder than trov.options)
  cases.trait_names = {"mass", "wing"};
  ASSERT_FALSE(note_import(options, "t.csv", "sub/plants.dat", cases));
  EXPECT_EQ(options.traits.file, "sub/plants_traits.csv");

  // a data file name trov.options cannot hold: refused, the options as they were
  const Options before = options;
  EXPECT_EQ(
      note_import(options, "t.csv",
                  "ma\xDF"
                  "e.dat",
                  cases)
          .value_or(""),
      "trov.options cannot record the import (a file name must be UTF-8 text without control characters)");
  EXPECT_EQ(options, before);
}

TEST(import_file_test, never_takes_the_table_or_a_run_file_as_the_data_file) {
  Folder folder;
  std::ofstream("t.csv") << "y,x\n1,2\n";
  fs::create_symlink("t.csv", "link.dat");
  fs::create_hard_link("t.csv", "hard.dat");
  std::ofstream("trov.out") << "results\n";
  fs::create_symlink("trov.out", "results.dat");
  for (const char* data : {"t.csv", "./link.dat", "hard.dat"})
    EXPECT_EQ(data_file_fault(data, "t.csv").value_or(""), "it is the table itself") << data;
  for (const char* data : {"trov.options", "sub/trov.options", "trov.in", "sub/trov.out", "trov.json",
                           ".trov-written", "sub/../results.dat"})
    EXPECT_TRUE(data_file_fault(data, "t.csv").value_or("").starts_with("it is ")) << data;
  EXPECT_EQ(data_file_fault("trov.json.tmp.abc", "t.csv").value_or(""),
            "its name is one of trov.json's temporary files (trov.json.tmp...)");
  EXPECT_FALSE(data_file_fault("sub/t.dat", "t.csv"));
  EXPECT_EQ(data_file_fault("t.dat", "trov.options").value_or(""),
            "the table is trov.options beside it, which the import writes");
}

// Links planted where the import writes are replaced, their targets kept; a pipe or a device given as
// the table is refused before it is opened.
TEST(import_file_test, writes_through_no_link_and_reads_no_pipe) {
  Folder folder;
  std::ofstream("precious.txt") << "precious\n";
  fs::create_symlink("precious.txt", "t.dat");
  fs::create_symlink("precious.txt", ".trov-written");
  Cases cases;
  cases.y = {1, 0};
  cases.x = {2, 3};
  ASSERT_FALSE(write_data_file("t.dat", cases));
  EXPECT_EQ(contents("precious.txt"), "precious\n");
  EXPECT_FALSE(fs::is_symlink("t.dat"));
  EXPECT_EQ(contents("t.dat"), "1 2\n0 3\n");
  EXPECT_FALSE(fs::is_symlink(".trov-written"));
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 4);  // no temporary left

  ASSERT_EQ(mkfifo("pipe.csv", 0600), 0);
  Table table;
  EXPECT_EQ(read_table_file("pipe.csv", table).value_or(""),
            "cannot open pipe.csv: not a regular file (a pipe or a device)");
  EXPECT_EQ(read_table_file("/dev/zero", table).value_or(""),
            "cannot open /dev/zero: not a regular file (a pipe or a device)");
}

}  // namespace
}  // namespace trov::import
